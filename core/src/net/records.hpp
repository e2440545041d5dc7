// The runtime records of a simulation: packets, epochs, salvos, requests.
// Plain values; events and responses carry full copies of them.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "base/small_vector.hpp"
#include "net/location.hpp"
#include "net/ulid.hpp"

namespace vornix {

struct Packet {
  Ulid id;
  PacketLocation location;
  bool operator==(const Packet&) const = default;
};

enum class EpochState : std::uint8_t { Startable = 0, Running = 1, Finished = 2 };

// The condition name used for the input salvo of an epoch made by a request.
inline constexpr std::string_view kRequestSalvoCondition = "__request__";

// Salvos and an epoch's list of them keep their usual few entries in place, so
// the copies that responses and events carry allocate nothing for them.
struct Salvo {
  std::string salvo_condition;
  SmallVector<std::pair<std::string, Ulid>, 2> packets;  // (port name, packet id), in order
  bool operator==(const Salvo&) const = default;
};

struct OrphanedPacketInfo {
  Ulid packet_id;
  std::string from_port;
  std::string salvo_condition;
  bool operator==(const OrphanedPacketInfo&) const = default;
};

struct Epoch {
  Ulid id;
  std::string node_name;
  Salvo in_salvo;
  SmallVector<Salvo, 1> out_salvos;
  EpochState state = EpochState::Startable;
  std::vector<OrphanedPacketInfo> orphaned_packets;
  bool operator==(const Epoch&) const = default;
};

struct PendingRequest {
  std::string node_name;
  std::string label;
  bool operator==(const PendingRequest&) const = default;
};

}  // namespace vornix
