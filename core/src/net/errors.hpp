// NetActionError and UndoError: the engine's refusals, returned as values.
//
// Both own copies of what their texts need and offer their text through
// to_string(): the engine's own lower-case wording. It ships because the C
// interface hands it to its callers as each refusal's text (and C++ callers
// may log it). The Python binding does not use it: it words its exceptions
// itself from the variant's fields.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "graph/elements.hpp"
#include "net/ulid.hpp"

namespace vornix {

struct NetActionError {
  struct PacketNotFound {
    Ulid packet_id;
  };
  struct EpochNotFound {
    Ulid epoch_id;
  };
  struct EpochNotRunning {
    Ulid epoch_id;
  };
  struct EpochNotStartable {
    Ulid epoch_id;
  };
  struct CannotFinishNonEmptyEpoch {
    Ulid epoch_id;
  };
  struct UnsentOutputSalvo {
    Ulid epoch_id;
    std::string port_name;
  };
  struct PacketNotInAnyNode {
    Ulid packet_id;
  };
  struct OutputPortNotFound {
    std::string port_name;
    Ulid epoch_id;
  };
  struct SalvoConditionNotFound {
    std::string condition_name;
    Ulid epoch_id;
  };
  struct MaxSalvosExceeded {
    std::string condition_name;
    Ulid epoch_id;
  };
  struct SalvoConditionNotMet {
    std::string condition_name;
    Ulid epoch_id;
  };
  struct OutputPortFull {
    std::string port_name;
    Ulid epoch_id;
  };
  struct NodeNotFound {
    std::string node_name;
  };
  struct PacketNotAtInputPort {
    Ulid packet_id;
    std::string port_name;
    std::string node_name;
  };
  struct InputPortNotFound {
    std::string port_name;
    std::string node_name;
  };
  struct InputPortFull {
    std::string port_name;
    std::string node_name;
  };
  struct CannotMovePacketFromRunningEpoch {
    Ulid packet_id;
    Ulid epoch_id;
  };
  struct CannotMovePacketIntoRunningEpoch {
    Ulid packet_id;
    Ulid epoch_id;
  };
  struct EdgeNotFound {
    Edge edge;
  };
  struct RequestCycleDetected {
    std::string node_name;
  };  // never raised: keeps the set complete
  struct RequestUnconnectedPort {
    std::string node_name;
    std::string port_name;
  };
  struct RequestNodeNotFound {
    std::string node_name;
  };

  std::variant<PacketNotFound, EpochNotFound, EpochNotRunning, EpochNotStartable,
               CannotFinishNonEmptyEpoch, UnsentOutputSalvo, PacketNotInAnyNode, OutputPortNotFound,
               SalvoConditionNotFound, MaxSalvosExceeded, SalvoConditionNotMet, OutputPortFull,
               NodeNotFound, PacketNotAtInputPort, InputPortNotFound, InputPortFull,
               CannotMovePacketFromRunningEpoch, CannotMovePacketIntoRunningEpoch, EdgeNotFound,
               RequestCycleDetected, RequestUnconnectedPort, RequestNodeNotFound>
      value;

  // The engine text, e.g. "epoch not found: 01ARZ3NDEKTSV4RRFFQ69G5FAV".
  std::string to_string() const;
};

struct UndoError {
  enum class Kind : std::uint8_t { StateMismatch = 0, NotFound = 1, NotUndoable = 2, Internal = 3 };
  Kind kind = Kind::Internal;
  std::string message;

  static UndoError state_mismatch(std::string m) { return {Kind::StateMismatch, std::move(m)}; }
  static UndoError not_found(std::string m) { return {Kind::NotFound, std::move(m)}; }

  // e.g. "state mismatch: packet ... already exists".
  std::string to_string() const;
};

}  // namespace vornix
