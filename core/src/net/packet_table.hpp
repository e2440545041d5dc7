// PacketTable: the record of every live packet, by id.
//
// Every action that names a packet looks it up, and a hop looks up each
// packet it moves, so the table is an id index over dense records rather
// than a node-based map: a look-up reads one cell of the index and one
// record, and making or removing a packet allocates nothing once the table
// has grown. Records sit in fixed chunks, so a reference to one stays valid
// while others come and go; a freed slot is handed to the next packet.
//
// A record's slot is its handle: the table stores it in the record's
// `handle` member, and whoever keeps the handle (the packet queues, beside
// each id) reaches the record again without looking its id up.
//
//   PacketTable<Rec> packets;
//   Rec& rec = packets.insert(id);        // id must be absent
//   if (auto* p = packets.find(id)) use(p->id, p->rec);
//   packets.at_handle(rec.handle);        // the same entry
//   packets.erase(p);
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/fault.hpp"
#include "base/slot_chunks.hpp"
#include "net/ulid.hpp"
#include "net/ulid_index.hpp"

namespace vornix {

template <class Rec>
class PacketTable {
 public:
  struct Entry {
    Ulid id;
    Rec rec;
  };

  std::size_t size() const { return index_.size(); }

  // nullptr when no packet has the id.
  Entry* find(const Ulid& id) {
    const Index slot = index_.find(id, id_of());
    return slot == kNone ? nullptr : &slots_[slot];
  }
  const Entry* find(const Ulid& id) const {
    const Index slot = index_.find(id, id_of());
    return slot == kNone ? nullptr : &slots_[slot];
  }
  bool contains(const Ulid& id) const { return find(id) != nullptr; }
  // The entry of a live packet by its record's handle.
  Entry& at_handle(std::uint32_t handle) { return slots_[handle]; }

  // The record of a packet the caller knows to exist; a fault otherwise.
  Rec& at(const Ulid& id) {
    Entry* entry = find(id);
    if (entry == nullptr) internal_fault("Packet not found: " + id.to_string());
    return entry->rec;
  }

  // A fresh record for `id`, which must be absent.
  Rec& insert(const Ulid& id) {
    const Index slot = slots_.take();
    if (live_.size() < slots_.capacity()) live_.resize(slots_.capacity(), false);
    Entry& entry = slots_[slot];
    entry.id = id;
    entry.rec = Rec{};
    entry.rec.handle = slot;
    live_[slot] = true;
    index_.insert(id, slot);
    return entry.rec;
  }

  // Removes the entry `find` gave.
  void erase(Entry* entry) {
    const Index slot = index_.erase(entry->id, id_of());
    live_[slot] = false;
    slots_.give(slot);
  }

  // Calls f(id, rec) for every live packet, in slot order.
  template <class F>
  void for_each(F f) const {
    for (std::size_t slot = 0; slot < live_.size(); ++slot) {
      if (!live_[slot]) continue;
      const Entry& entry = slots_[static_cast<Index>(slot)];
      f(entry.id, entry.rec);
    }
  }

 private:
  using Index = UlidIndex::Value;
  static constexpr Index kNone = UlidIndex::kNone;
  auto id_of() const {
    return [this](Index slot) -> const Ulid& { return slots_[slot].id; };
  }

  SlotChunks<Entry, 8> slots_;
  std::vector<bool> live_;  // by slot
  UlidIndex index_;
};

}  // namespace vornix
