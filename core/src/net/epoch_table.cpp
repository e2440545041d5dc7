// The epoch table: live epochs in dense slots, indexed by id, listed by
// node and, when startable, in the startable set.
//
// Invariant: a slot is live exactly when its record has a list, and then
// every way of reaching the epoch leads to that one slot and back: the id
// index maps its id to the slot, its node's list holds a live entry with
// its id at list_pos, and it sits at startable_pos in startable_ exactly
// when its state is Startable. Every function here leaves that true; a
// freed slot keeps its queues' storage for the next epoch.
#include <algorithm>
#include <memory>
#include <vector>

#include "base/fault.hpp"
#include "net/state.hpp"

namespace vornix {

NetSim::EpochRec& NetSim::new_slot(const Ulid& id) {
  const Index slot = epoch_slots_.take();
  epoch_index_.insert(id, slot);
  EpochRec& rec = slot_at(slot);
  rec.id = id;  // the index reads the id from here
  rec.slot = slot;
  rec.out_held = 0;
  rec.startable_pos = kNone;
  return rec;
}

void NetSim::add_startable(EpochRec& rec) {
  if (rec.startable_pos != kNone) return;
  rec.startable_pos = static_cast<Index>(startable_.size());
  startable_.push_back(rec.slot);
}

// Apart from add_startable, whose list may grow: taking an epoch off the
// set, as every start does, makes no call and saves no registers.
void NetSim::remove_startable(EpochRec& rec) {
  if (rec.startable_pos == kNone) return;
  // Unordered: the last one takes the freed place.
  const Index moved = startable_.back();
  startable_[rec.startable_pos] = moved;
  slot_at(moved).startable_pos = rec.startable_pos;
  startable_.pop_back();
  rec.startable_pos = kNone;
}

NetSim::EpochRec& NetSim::add_epoch(Epoch epoch, Index node) {
  EpochRec& rec = new_slot(epoch.id);
  epoch.state = EpochState::Startable;
  rec.epoch.assign(std::move(epoch));
  rec.node = node;
  rec.out.resize(out_count(node));
  list_epoch(rec);
  set_startable(rec, true);
  return rec;
}

// Opening and dropping are the table's work per fired salvo: both are
// compiled with the table's parts (slot, index, lists) inlined into them,
// which spares a call per part (2% of a packet hop).
[[gnu::flatten]] NetSim::EpochRec& NetSim::open_epoch(const Ulid& id, Index node) {
  EpochRec& rec = new_slot(id);
  // Assigned field by field: the slot's lists keep their storage.
  Epoch& epoch = rec.epoch.renew();
  epoch.id = id;
  epoch.node_name = shared_node_name(node);
  epoch.in_salvo.salvo_condition = Name();
  epoch.in_salvo.packets.clear();
  epoch.out_salvos.clear();
  epoch.state = EpochState::Startable;
  epoch.orphaned_packets.clear();
  rec.node = node;
  rec.out.resize(out_count(node));
  list_epoch(rec);
  set_startable(rec, true);
  return rec;
}

void NetSim::restore_epoch(const Epoch& epoch) {
  const Index node = node_index_or_foreign(epoch.node_name);
  EpochRec& rec = new_slot(epoch.id);
  rec.epoch.assign(epoch);
  rec.node = node;
  rec.out.resize(out_count(node));
  list_epoch(rec);
  set_startable(rec, epoch.state == EpochState::Startable);
}

[[gnu::flatten]] void NetSim::drop_epoch(EpochRec& rec) {
  unlist_epoch(rec);
  set_startable(rec, false);
  const Index slot = epoch_index_.erase(rec.id, slot_id());
  if (slot == kNone) internal_fault("epoch missing from the index");
  // The queues are empty here and keep their storage for the slot's next
  // epoch; the epoch stays for the caller to take and is overwritten on
  // reuse. A null list marks the slot free.
  rec.list = nullptr;
  epoch_slots_.give(slot);
}

void NetSim::list_epoch(EpochRec& rec) {
  EpochList& list = epoch_lists_[rec.node];
  rec.list = &list;
  rec.list_pos = static_cast<std::uint32_t>(list.entries.size());
  list.entries.push_back(EpochList::Entry{rec.id, true});
  ++list.live;
  list.keyed = true;
}

void NetSim::unlist_epoch(const EpochRec& rec) {
  if (rec.list == nullptr) internal_fault("epoch missing from its node's list");
  EpochList& list = *rec.list;
  list.entries[rec.list_pos].live = false;
  --list.live;
  while (!list.entries.empty() && !list.entries.back().live) list.entries.pop_back();
  const std::size_t dead = list.entries.size() - list.live;
  if (dead > 32 && dead > list.live) {
    std::erase_if(list.entries, [](const EpochList::Entry& e) { return !e.live; });
    for (std::size_t i = 0; i < list.entries.size(); ++i) {
      find_epoch(list.entries[i].id)->list_pos = static_cast<std::uint32_t>(i);
    }
  }
  // A node may have many epochs at once and then few: the room follows,
  // as a packet queue's does, so that every node does not keep room for
  // the most epochs it ever had.
  std::vector<EpochList::Entry>& entries = list.entries;
  if (entries.capacity() > 32 && entries.capacity() / 4 >= entries.size()) {
    entries = std::vector<EpochList::Entry>(entries.begin(), entries.end());
  }
}

}  // namespace vornix
