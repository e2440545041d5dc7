// Test support: whole-state inspection, so that tests can compare a sim
// with a reference model field by field. Each answer is built from the whole
// state; none is on a path an action takes.
#include "net/state.hpp"

namespace vornix {

std::unordered_set<Ulid> NetSim::startable_epochs() const {
  std::unordered_set<Ulid> out;
  for (Index slot : startable_) out.insert(slot_at(slot).id);
  return out;
}

std::vector<Packet> NetSim::packets() const {
  std::vector<Packet> out;
  out.reserve(packets_.size());
  packets_.for_each([&](const Ulid& id, const PacketRec& rec) {
    out.push_back(Packet{id, location_of(rec.loc)});
  });
  return out;
}

std::unordered_map<Ulid, Epoch> NetSim::epochs() const {
  std::unordered_map<Ulid, Epoch> out;
  for (Index slot = 0; slot < epoch_slots_.capacity(); ++slot) {
    if (slot_at(slot).live()) out.emplace(slot_at(slot).id, *slot_at(slot).epoch);
  }
  return out;
}

StringMap<std::vector<Ulid>> NetSim::epochs_by_node() const {
  StringMap<std::vector<Ulid>> out;
  for (const auto& [node, list] : epoch_lists_) {
    if (!list.keyed) continue;
    std::vector<Ulid>& ids = out[node_name_of(node)];
    for (const EpochList::Entry& e : list.entries) {
      if (e.live) ids.push_back(e.id);
    }
  }
  return out;
}

StringMap<bool> NetSim::request_tokens() const {
  StringMap<bool> out = stray_tokens_;
  for (const NodeInfo& n : nodes_) {
    if (n.token != 0) out.insert_or_assign(n.node->name, n.token == 2);
  }
  return out;
}

std::size_t NetSim::location_entry_count() const {
  std::size_t n = edges_.size() + in_ports_.size() + 1;
  for (Index slot = 0; slot < epoch_slots_.capacity(); ++slot) {
    if (slot_at(slot).live()) n += 1 + slot_at(slot).out.size();
  }
  return n;
}

std::size_t NetSim::room() const {
  std::size_t n = outside_.room();
  for (const InPortInfo& p : in_ports_) n += p.queue ? p.queue->room() : 0;
  for (const EdgeInfo& e : edges_) n += e.queue ? e.queue->room() : 0;
  for (Index slot = 0; slot < epoch_slots_.capacity(); ++slot) {
    const EpochRec& rec = slot_at(slot);
    if (!rec.live()) continue;  // a free slot's few entries wait for its next epoch
    n += rec.inside.room();
    for (const PacketQueue& q : rec.out) n += q.room();
  }
  for (const auto& [node, list] : epoch_lists_) n += list.entries.capacity();
  return n;
}

}  // namespace vornix
