// Packet queues: where each packet sits, moving it, and keeping the
// worklists in step with every arrival and departure.
#include <utility>

#include "base/fault.hpp"
#include "net/state.hpp"

namespace vornix {

inline PacketQueue& NetSim::queue_for_push(const Loc& loc, EpochRec* owner) {
  std::unique_ptr<PacketQueue>* lazy = nullptr;
  if (loc.kind == Kind::InputPort) lazy = &in_ports_[loc.index].queue;
  if (loc.kind == Kind::Edge) lazy = &edges_[loc.index].queue;
  if (lazy != nullptr) {
    if (!*lazy) *lazy = std::make_unique<PacketQueue>();
    return **lazy;
  }
  PacketQueue* q = queue_of(loc, owner);
  if (q == nullptr) internal_fault("Packet location has no entry in self._packets_by_location");
  return *q;
}

inline void NetSim::after_arrival(const Loc& loc) {
  if (loc.kind == Kind::InputPort) queue_node(in_ports_[loc.index].node);
  if (loc.kind == Kind::Edge) queue_edge(loc.index);
}

inline void NetSim::push_into(const Ulid& id, PacketRec& rec, const Loc& loc, EpochRec* owner) {
  PacketQueue& q = queue_for_push(loc, owner);
  rec.slot = q.push_back(id, rec.handle);
  rec.loc = loc;
  if (loc.kind == Kind::OutputPort) ++owner->out_held;
  after_arrival(loc);
}

void NetSim::push_packet(const Ulid& id, PacketRec& rec, const Loc& loc) {
  push_into(id, rec, loc, epoch_of(loc));
}

void NetSim::insert_packet(const Ulid& id, PacketRec& rec, const Loc& loc, std::size_t index) {
  EpochRec* owner = epoch_of(loc);
  PacketQueue& q = queue_for_push(loc, owner);
  bool renumbered = false;
  rec.slot = q.insert_at(index, id, rec.handle, renumbered);
  rec.loc = loc;
  if (loc.kind == Kind::OutputPort) ++owner->out_held;
  if (renumbered) renumber(q);
  after_arrival(loc);
}

void NetSim::pop_packet(const PacketRec& rec) {
  EpochRec* owner = epoch_of(rec.loc);
  PacketQueue* q = queue_of(rec.loc, owner);
  if (q == nullptr) internal_fault("Packet location has no entry in self._packets_by_location.");
  pop_from(rec, *q, owner);
}

inline void NetSim::pop_from(const PacketRec& rec, PacketQueue& queue, EpochRec* owner) {
  if (rec.loc.kind == Kind::OutputPort) --owner->out_held;
  const std::size_t before = queue.size();
  queue.erase(rec.slot);
  after_removal(rec.loc, queue, before);
}

void NetSim::renumber(PacketQueue& queue) {
  for (PacketQueue::Slot s = queue.empty() ? queue.end_slot() : queue.front_slot();
       s < queue.end_slot(); s = queue.next(s)) {
    packets_.at_handle(queue.ref_at(s)).rec.slot = s;
  }
}

inline void NetSim::after_removal(const Loc& loc, PacketQueue& queue, std::size_t before) {
  if (queue.wants_compaction()) {
    queue.compact();
    renumber(queue);
  }
  if (loc.kind != Kind::InputPort) return;
  const InPortInfo& port = in_ports_[loc.index];
  queue_node(port.node);
  // The edges into a port that just regained room may move again.
  if (port.capacity != kUnbounded && before >= port.capacity && queue.size() < port.capacity) {
    const Index end = loc.index + 1 < in_ports_.size() ? in_ports_[loc.index + 1].edges_begin
                                                       : static_cast<Index>(edges_.size());
    for (Index e = port.edges_begin; e < end; ++e) {
      if (edges_[e].queue && !edges_[e].queue->empty()) queue_edge(e);
    }
  }
}

void NetSim::relocate(const Ulid& id, PacketRec& rec, const Loc& to) {
  pop_packet(rec);
  push_packet(id, rec, to);
}

void NetSim::move_recorded(const Ulid& id, PacketRec& rec, const Loc& to, EventList& events) {
  // Each end's epoch, if any, is found once: its queue, its public form and
  // its count of loaded packets all come from the one record.
  EpochRec* const from_owner = epoch_of(rec.loc);
  EpochRec* const to_owner = epoch_of(to);
  PacketQueue* from_queue = queue_of(rec.loc, from_owner);
  if (from_queue == nullptr || !from_queue->live(rec.slot)) {
    internal_fault("Packet should exist at from_location");
  }
  // Built straight into the event: nothing is built twice or moved. Both
  // locations read only what the move leaves as it is.
  const auto from_index = static_cast<std::uint64_t>(from_queue->index_of(rec.slot));
  emit<NetEvent::PacketMoved>(events, id, BuiltBy{[&] { return location_of(rec.loc, from_owner); }},
                              BuiltBy{[&] { return location_of(to, to_owner); }}, from_index);
  pop_from(rec, *from_queue, from_owner);
  push_into(id, rec, to, to_owner);
}

void NetSim::queue_edge(Index edge) {
  if (edges_[edge].queued) return;
  edges_[edge].queued = true;
  edge_work_.push_back(edge);
}

void NetSim::queue_node(Index node) {
  if (!known_node(node) || nodes_[node].queued == Work::Listed) return;
  // A parked node keeps its entry in ask_work_; its state says it is listed.
  nodes_[node].queued = Work::Listed;
  node_work_.push_back(node);
}

void NetSim::move_packet(const Ulid& packet_id, const PacketLocation& to) {
  auto packet = packets_.find(packet_id);
  if (packet == nullptr) internal_fault("Packet not found: " + packet_id.to_string());
  const std::optional<Loc> target = find_loc(to);
  if (!target) internal_fault("Packet location has no entry in self._packets_by_location");
  relocate(packet_id, packet->rec, *target);
}

}  // namespace vornix
