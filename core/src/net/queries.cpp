// The public queries; none changes the state.
#include "net/state.hpp"

namespace vornix {

std::optional<Packet> NetSim::get_packet(const Ulid& id) const {
  auto it = packets_.find(id);
  if (it == nullptr) return std::nullopt;
  return Packet{id, location_of(it->rec.loc)};
}

const Epoch* NetSim::get_epoch(const Ulid& id) const {
  const EpochRec* rec = find_epoch(id);
  return rec == nullptr ? nullptr : &*rec->epoch;
}

std::uint64_t NetSim::packet_count_at(const PacketLocation& location) const {
  const std::optional<Loc> loc = find_loc(location);
  return loc ? count_at(*loc) : 0;
}

std::vector<Ulid> NetSim::get_packets_at_location(const PacketLocation& location) const {
  const std::optional<Loc> loc = find_loc(location);
  const PacketQueue* q = loc ? queue_of(*loc) : nullptr;
  return q ? q->to_vector() : std::vector<Ulid>{};
}

std::vector<Ulid> NetSim::get_startable_epochs() const {
  std::vector<Ulid> out;
  out.reserve(startable_.size());
  for (Index slot : startable_) out.push_back(slot_at(slot).id);
  return out;
}

}  // namespace vornix
