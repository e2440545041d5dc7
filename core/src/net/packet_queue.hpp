// PacketQueue: the packets at one location, in arrival order.
//
// Entries live in slots numbered in arrival order; removing a packet only
// marks its slot dead, so the others keep their order and their slots. The
// position of a packet (its from_index) is the number of live slots before
// its own: a count over the slots while the queue is short, a Fenwick tree
// over them once it is long, so taking a packet from anywhere costs
// O(log n). Dead slots are dropped when they outnumber the live ones
// (compact), which renumbers the slots: the owner then updates the slot it
// keeps per packet. An emptied queue forgets its slots at once.
//
// The room a queue keeps follows what it holds, not the most it ever held:
// every location of a network may see a burst pass, and room kept for each
// burst at each location would grow with the network's history. A queue
// that empties keeps room for a short queue only; one that shrinks to a
// quarter of its room gives the rest back (amortized O(1) per removal).
#pragma once

#include <cstdint>
#include <vector>

#include "net/ulid.hpp"

namespace vornix {

class PacketQueue {
 public:
  using Slot = std::uint32_t;

  std::size_t size() const { return live_; }
  bool empty() const { return live_ == 0; }

  // Appends `id` last, with `ref`, the owner's handle for the packet's
  // record (kept beside the id, so that whoever walks the queue reaches the
  // record without looking the id up); returns its slot. The usual short
  // queue is handled here, inline: a packet hop pushes and erases once each.
  Slot push_back(const Ulid& id, std::uint32_t ref) {
    if (!tree_.empty() || slots_.size() >= kTreeThreshold) return push_back_slow(id, ref);
    const Slot slot = static_cast<Slot>(slots_.size());
    if (live_ == 0) head_ = slot;
    slots_.push_back(Entry{id, ref, true});
    ++live_;
    return slot;
  }
  // Inserts `id` so that it is at position `index` (clamped to size()).
  // Returns its slot; sets `renumbered` when every slot changed.
  Slot insert_at(std::size_t index, const Ulid& id, std::uint32_t ref, bool& renumbered);
  // REQUIRES: `slot` is live.
  void erase(Slot slot) {
    if (live_ == 1) {  // the last one: the queue forgets its slots
      live_ = 0;
      head_ = 0;
      if (slots_.capacity() > kTreeThreshold) {
        release();
        return;
      }
      slots_.clear();
      tree_.clear();
      return;
    }
    erase_slow(slot);
  }
  // The position of the live entry at `slot` in arrival order.
  std::size_t index_of(Slot slot) const { return slot == head_ ? 0 : live_before(slot); }
  bool live(Slot slot) const { return slot < slots_.size() && slots_[slot].live; }
  const Ulid& id_at(Slot slot) const { return slots_[slot].id; }
  std::uint32_t ref_at(Slot slot) const { return slots_[slot].ref; }

  // REQUIRES: !empty().
  Slot front_slot() const { return head_; }
  const Ulid& front() const { return slots_[head_].id; }
  // The slot of the live entry after `slot` (or end_slot()).
  Slot next(Slot slot) const;
  Slot end_slot() const { return static_cast<Slot>(slots_.size()); }

  // Whether dead slots outnumber live ones enough to be worth dropping.
  bool wants_compaction() const {
    const std::size_t dead = slots_.size() - live_;
    return dead > kTreeThreshold && dead > live_;
  }
  // Drops the dead slots; live entries keep their order at slots 0..size()-1.
  void compact();

  std::vector<Ulid> to_vector() const;
  // The entries the queue has room for (for tests of the rule above).
  std::size_t room() const { return slots_.capacity(); }
  // Recounts everything from the slots; false when the counts, the head or
  // the tree disagree with them. For invariant checks.
  bool consistent() const;

 private:
  struct Entry {
    Ulid id;
    std::uint32_t ref;
    bool live;
  };
  // Below this many slots, positions are counted directly and no tree is kept.
  static constexpr std::size_t kTreeThreshold = 64;

  Slot push_back_slow(const Ulid& id, std::uint32_t ref);
  void erase_slow(Slot slot);
  std::size_t live_before(Slot slot) const;
  // The slot of the live entry at position `index` (< size()).
  Slot select(std::size_t index) const;
  void tree_add(Slot slot, int delta);
  void build_tree();
  void reset_if_empty();
  // Gives back all room; the queue is empty.
  void release();
  // Gives back the room beyond what the slots need, once it is most of it.
  void fit();
  // Rebuilds the slots with `id` inserted at `index`.
  Slot rebuild_with(std::size_t index, const Ulid& id, std::uint32_t ref);

  std::size_t live_ = 0;  // first: an emptiness check reads only the queue's first word
  std::vector<Entry> slots_;
  std::vector<std::uint32_t> tree_;  // Fenwick tree over the live flags, 1-based; empty when short
  Slot head_ = 0;                    // first live slot (slots before it are dead)
};

}  // namespace vornix
