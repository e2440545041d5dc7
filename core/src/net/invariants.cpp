// Test support: the invariant checks. They walk the whole state, so only
// tests call them (after every step of the randomized runs).
#include <string>
#include <unordered_map>
#include <vector>

#include "base/fault.hpp"
#include "net/state.hpp"

namespace vornix {

void NetSim::check_invariants() const {
  const auto fail = [](const std::string& what) { internal_fault("invariant broken: " + what); };
  packets_.for_each([&](const Ulid& id, const PacketRec& rec) {
    const PacketQueue* q = queue_of(rec.loc);
    if (q == nullptr || !q->live(rec.slot) || !(q->id_at(rec.slot) == id)) {
      fail("packet " + id.to_string() + " missing from its location");
    }
  });
  std::size_t held = 0;
  const auto check_queue = [&](const PacketQueue* q, const Loc& loc) {
    if (q == nullptr) return;
    if (!q->consistent()) fail("queue order, counts and tree disagree");
    held += q->size();
    for (PacketQueue::Slot s = q->empty() ? q->end_slot() : q->front_slot(); s < q->end_slot();
         s = q->next(s)) {
      auto it = packets_.find(q->id_at(s));
      if (it == nullptr || !(it->rec.loc == loc) || it->rec.slot != s ||
          it->rec.handle != q->ref_at(s)) {
        fail("a queue holds a stray id " + q->id_at(s).to_string());
      }
    }
  };
  check_queue(&outside_, Loc{});
  for (Index i = 0; i < in_ports_.size(); ++i) {
    check_queue(in_ports_[i].queue.get(), Loc{Kind::InputPort, i, {}});
  }
  for (Index i = 0; i < edges_.size(); ++i)
    check_queue(edges_[i].queue.get(), Loc{Kind::Edge, i, {}});
  std::size_t startable = 0;
  std::size_t live_slots = 0;
  std::unordered_map<Index, std::size_t> listed;
  for (Index slot = 0; slot < epoch_slots_.capacity(); ++slot) {
    const EpochRec& rec = slot_at(slot);
    if (!rec.live()) continue;
    ++live_slots;
    const Ulid& id = rec.id;
    if (epoch_slot(id) != slot) fail("epoch stored under another id");
    if (rec.slot != slot) fail("epoch record names another slot");
    check_queue(&rec.inside, Loc{Kind::Node, 0, id});
    if (rec.out.size() != out_count(rec.node)) fail("epoch output ports out of step");
    std::size_t out_held = 0;
    for (Index p = 0; p < rec.out.size(); ++p) {
      check_queue(&rec.out[p], Loc{Kind::OutputPort, p, id});
      out_held += rec.out[p].size();
    }
    if (out_held != rec.out_held) fail("epoch output count out of step");
    if (node_name_of(rec.node) != rec.epoch->node_name) fail("epoch under the wrong node");
    const bool indexed = rec.startable_pos != kNone && rec.startable_pos < startable_.size() &&
                         startable_[rec.startable_pos] == slot;
    if (rec.epoch->state == EpochState::Startable) {
      ++startable;
      if (!indexed) fail("startable epoch not indexed");
    } else if (rec.startable_pos != kNone) {
      fail("epoch indexed as startable");
    }
    auto list = epoch_lists_.find(rec.node);
    if (list == epoch_lists_.end() || rec.list != &list->second ||
        rec.list_pos >= list->second.entries.size() || !list->second.entries[rec.list_pos].live ||
        !(list->second.entries[rec.list_pos].id == id) || !list->second.keyed) {
      fail("epoch missing from its node's list");
    }
    ++listed[rec.node];
  }
  if (held != packets_.size()) fail("a packet is held by two locations");
  if (startable != startable_.size()) fail("startable set out of step");
  if (live_slots != epoch_index_.size()) fail("epoch index out of step");
  for (const auto& [node, list] : epoch_lists_) {
    std::size_t live = 0;
    for (const EpochList::Entry& e : list.entries) live += e.live;
    if (live != list.live || live != listed[node]) fail("epoch list counts out of step");
  }

  std::vector<bool> edge_listed(edges_.size()), node_listed(nodes_.size());
  std::vector<bool> ask_listed(nodes_.size());
  for (Index e : edge_work_) {
    if (edge_listed[e] || !edges_[e].queued) fail("edge worklist out of step");
    edge_listed[e] = true;
  }
  for (Index n : node_work_) {
    if (node_listed[n] || nodes_[n].queued != Work::Listed) fail("node worklist out of step");
    node_listed[n] = true;
  }
  for (Index n : ask_work_) {
    if (ask_listed[n] || !nodes_[n].on_ask_list) fail("ask worklist out of step");
    ask_listed[n] = true;
  }
  for (Index e = 0; e < edges_.size(); ++e) {
    if (edges_[e].queued != edge_listed[e]) fail("edge worklist flag out of step");
    if (!edge_listed[e] && edge_can_move(edges_[e])) fail("a movable edge is not on the worklist");
  }
  for (Index n = 0; n < nodes_.size(); ++n) {
    const NodeInfo& info = nodes_[n];
    if ((info.queued == Work::Listed) != node_listed[n]) fail("node worklist flag out of step");
    if (info.on_ask_list != ask_listed[n]) fail("ask worklist flag out of step");
    if (info.queued == Work::Parked && !info.on_ask_list)
      fail("a parked node is not on the ask list");
    if (node_listed[n] || !has_waiting_packets(n)) continue;
    if (first_holding_input_condition(n).has_value())
      fail("a node that can fire is not on the worklist");
    if (info.no_salvo && info.token == 2 && info.queued != Work::Parked) {
      fail("a node that can ask is on no worklist");
    }
  }
}

}  // namespace vornix
