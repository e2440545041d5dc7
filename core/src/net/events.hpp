// NetEvent, the change log, and the responses of actions.
//
// Every change the engine makes is one event, listed in the order the changes
// were made; undo reverses them from last to first. Events and responses hold
// copies (snapshots), never references into the state.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "net/errors.hpp"
#include "net/location.hpp"
#include "net/records.hpp"
#include "net/ulid.hpp"

namespace vornix {

enum class RequestCreatedSource : std::uint8_t {
  External = 0,
  OnStartup = 1,
  OnNoSalvoTriggered = 2
};

// "External", "OnStartup", "OnNoSalvoTriggered".
std::string_view to_string(RequestCreatedSource s);

// Milliseconds since the UNIX epoch, read when each event is built. (Kept in
// 64 bits: the wall clock stays far inside that range.)
using Timestamp = std::int64_t;

struct NetEvent {
  struct PacketCreated {
    Timestamp timestamp;
    Ulid packet_id;
  };
  struct PacketConsumed {
    Timestamp timestamp;
    Ulid packet_id;
    PacketLocation location;
  };
  struct PacketDestroyed {
    Timestamp timestamp;
    Ulid packet_id;
    PacketLocation location;
  };
  struct EpochCreated {
    Timestamp timestamp;
    Ulid epoch_id;
  };
  struct EpochStarted {
    Timestamp timestamp;
    Ulid epoch_id;
  };
  struct EpochFinished {
    Timestamp timestamp;
    Epoch epoch;
  };
  struct EpochCancelled {
    Timestamp timestamp;
    Epoch epoch;
  };
  struct PacketMoved {
    Timestamp timestamp;
    Ulid packet_id;
    PacketLocation from_location;
    PacketLocation to_location;
    std::uint64_t from_index;
  };
  struct InputSalvoTriggered {
    Timestamp timestamp;
    Ulid epoch_id;
    std::string salvo_condition;
  };
  struct OutputSalvoTriggered {
    Timestamp timestamp;
    Ulid epoch_id;
    std::string salvo_condition;
  };
  struct PacketOrphaned {
    Timestamp timestamp;
    Ulid packet_id;
    Ulid epoch_id;
    std::string node_name;
    std::string port_name;
    std::string salvo_condition;
  };
  struct RequestCreated {
    Timestamp timestamp;
    std::string node_name;
    std::string label;
    RequestCreatedSource source;
  };
  struct RequestCascadeResolved {
    Timestamp timestamp;
    std::vector<std::string> source_nodes;
    std::string label;
  };
  struct RequestEpochCreated {
    Timestamp timestamp;
    Ulid epoch_id;
    std::string node_name;
    std::string label;
  };

  std::variant<PacketCreated, PacketConsumed, PacketDestroyed, EpochCreated, EpochStarted,
               EpochFinished, EpochCancelled, PacketMoved, InputSalvoTriggered,
               OutputSalvoTriggered, PacketOrphaned, RequestCreated, RequestCascadeResolved,
               RequestEpochCreated>
      value;

  // The kind's name, e.g. "PacketMoved".
  std::string_view kind_name() const;
};

// Every kind's name, in the order of NetEvent::value's alternatives: the one
// place the names are written.
inline constexpr std::array<std::string_view, 14> kEventKindNames = {
    "PacketCreated",          "PacketConsumed",       "PacketDestroyed", "EpochCreated",
    "EpochStarted",           "EpochFinished",        "EpochCancelled",  "PacketMoved",
    "InputSalvoTriggered",    "OutputSalvoTriggered", "PacketOrphaned",  "RequestCreated",
    "RequestCascadeResolved", "RequestEpochCreated",
};
static_assert(kEventKindNames.size() == std::variant_size_v<decltype(NetEvent::value)>);

inline std::string_view NetEvent::kind_name() const { return kEventKindNames[value.index()]; }

// Hands a value to an initialization by its conversion, so the value is
// built straight into the member it initializes: neither moved nor first
// built empty and then replaced.
template <class Make>
struct BuiltBy {
  Make make;
  operator std::invoke_result_t<Make&>() { return make(); }
};
template <class Make>
BuiltBy(Make) -> BuiltBy<Make>;

// Appends an event of kind E stamped with the current wall clock, built in
// place (no event value is moved), and returns it; fields not given keep
// their defaults. E.g. emit<NetEvent::EpochStarted>(events, id).
template <class E, class... Fields>
E& emit(std::vector<NetEvent>& events, Fields&&... fields) {
  using Value = decltype(NetEvent::value);
  NetEvent& event = events.emplace_back(BuiltBy{[&] {
    return Value(std::in_place_type<E>, wall_clock_ms(), std::forward<Fields>(fields)...);
  }});
  return *std::get_if<E>(&event.value);
}

struct NetActionResponseData {
  struct StepResult {
    bool made_progress = false;
  };
  struct Packet {
    Ulid packet_id;
  };
  struct CreatedEpoch {
    Epoch epoch;
  };
  struct StartedEpoch {
    Epoch epoch;
  };
  struct FinishedEpoch {
    Epoch epoch;
  };
  struct CancelledEpoch {
    Epoch epoch;
    std::vector<Ulid> destroyed_packets;
  };
  struct Empty {};
  std::variant<StepResult, Packet, CreatedEpoch, StartedEpoch, FinishedEpoch, CancelledEpoch, Empty>
      value;
};

struct NetActionResponse {
  struct Success {
    NetActionResponseData data;
    std::vector<NetEvent> events;
  };
  struct Error {
    NetActionError error;
    // Empty for every refused action. A run step that fails while resolving
    // requests keeps the changes it already made; their events are kept here
    // so the change log stays complete and those changes can be undone.
    std::vector<NetEvent> events;
  };
  std::variant<Success, Error> value;

  bool ok() const { return value.index() == 0; }
  const Success& success() const { return std::get<Success>(value); }
  const Error& failure() const { return std::get<Error>(value); }
};

}  // namespace vornix
