// The binding's copies of the engine's runtime records.
//
// A Salvo built from Python keeps the caller's identifier text unchecked; the
// text is parsed only when the salvo goes back to the engine (ValueError
// "Invalid ULID: ...", PyErrorAlreadySet, at the first bad one in field
// order). OrphanedPacketInfo keeps text too.
//
// Epochs come only from the engine. An Epoch object, the response data that
// handed it out and the Salvo objects read from it share one unchanging copy
// of the engine epoch, and convert its fields only when they are read.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "net/records.hpp"

namespace vornix::py {

using SharedEpoch = std::shared_ptr<const vornix::Epoch>;

struct SalvoValue {
  std::string salvo_condition;
  std::vector<std::pair<std::string, std::string>> packets;  // (port name, packet id text)
};

// One salvo of a shared engine epoch, read in place.
struct EpochSalvo {
  SharedEpoch epoch;
  const vornix::Salvo* salvo;  // points into *epoch
};

// What a Salvo object holds: a salvo made in Python or one of an epoch.
using SalvoHeld = std::variant<SalvoValue, EpochSalvo>;

struct OrphanValue {
  std::string packet_id;
  std::string from_port;
  std::string salvo_condition;
};

SalvoValue salvo_from_core(const vornix::Salvo& salvo);
vornix::Salvo salvo_to_core(const SalvoValue& salvo);

OrphanValue orphan_from_core(const vornix::OrphanedPacketInfo& orphan);

}  // namespace vornix::py
