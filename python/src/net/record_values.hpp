// The binding's copies of the engine's runtime records.
//
// Packet, Salvo, OrphanedPacketInfo and Epoch objects keep identifiers as
// text: a Salvo built from Python takes the caller's text unchecked, and the
// text is parsed only when the record goes back to the engine. Conversions
// from the engine write the 26-character form, so they cannot fail; the way
// back parses every identifier in field order and raises ValueError
// "Invalid ULID: ..." (PyErrorAlreadySet) at the first bad one.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "net/records.hpp"

namespace vornix::py {

struct SalvoValue {
  std::string salvo_condition;
  std::vector<std::pair<std::string, std::string>> packets;  // (port name, packet id text)
};

struct OrphanValue {
  std::string packet_id;
  std::string from_port;
  std::string salvo_condition;
};

struct EpochValue {
  std::string id;
  std::string node_name;
  SalvoValue in_salvo;
  std::vector<SalvoValue> out_salvos;
  vornix::EpochState state = vornix::EpochState::Startable;
  std::vector<OrphanValue> orphaned_packets;
};

SalvoValue salvo_from_core(const vornix::Salvo& salvo);
vornix::Salvo salvo_to_core(const SalvoValue& salvo);

OrphanValue orphan_from_core(const vornix::OrphanedPacketInfo& orphan);
vornix::OrphanedPacketInfo orphan_to_core(const OrphanValue& orphan);

EpochValue epoch_from_core(const vornix::Epoch& epoch);
vornix::Epoch epoch_to_core(const EpochValue& epoch);

}  // namespace vornix::py
