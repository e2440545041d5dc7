#include "net/packet_queue.hpp"

#include <algorithm>
#include <bit>

namespace vornix {

namespace {

std::size_t lowbit(std::size_t i) { return i & (~i + 1); }

}  // namespace

std::size_t PacketQueue::live_before(Slot slot) const {
  if (tree_.empty()) {
    std::size_t n = 0;
    for (Slot s = head_; s < slot; ++s) n += slots_[s].live;
    return n;
  }
  std::size_t n = 0;
  for (std::size_t i = slot; i > 0; i -= lowbit(i)) n += tree_[i];
  return n;
}

void PacketQueue::tree_add(Slot slot, int delta) {
  if (tree_.empty()) return;
  for (std::size_t i = std::size_t{slot} + 1; i < tree_.size(); i += lowbit(i)) {
    tree_[i] = static_cast<std::uint32_t>(static_cast<int>(tree_[i]) + delta);
  }
}

void PacketQueue::build_tree() {
  tree_.assign(slots_.size() + 1, 0);
  for (std::size_t i = 1; i < tree_.size(); ++i) {
    tree_[i] += slots_[i - 1].live;
    const std::size_t parent = i + lowbit(i);
    if (parent < tree_.size()) tree_[parent] += tree_[i];
  }
}

void PacketQueue::reset_if_empty() {
  if (live_ != 0) return;
  head_ = 0;
  if (slots_.capacity() > kTreeThreshold) {
    release();
    return;
  }
  slots_.clear();
  tree_.clear();
}

void PacketQueue::release() {
  slots_ = {};
  tree_ = {};
}

void PacketQueue::fit() {
  if (slots_.capacity() <= kTreeThreshold || slots_.capacity() / 4 < slots_.size()) return;
  slots_ = std::vector<Entry>(slots_.begin(), slots_.end());
  if (!tree_.empty()) tree_ = std::vector<std::uint32_t>(tree_.begin(), tree_.end());
}

PacketQueue::Slot PacketQueue::push_back_slow(const Ulid& id, std::uint32_t ref) {
  const Slot slot = static_cast<Slot>(slots_.size());
  if (live_ == 0) head_ = slot;
  slots_.push_back(Entry{id, ref, true});
  ++live_;
  if (!tree_.empty()) {
    // The new node covers (i - lowbit(i), i]: itself plus the sums of the
    // slots below it that it spans.
    const std::size_t i = slots_.size();
    std::size_t value = 1;
    for (std::size_t j = i - 1; j > i - lowbit(i); j -= lowbit(j)) value += tree_[j];
    tree_.push_back(static_cast<std::uint32_t>(value));
  } else if (slots_.size() > kTreeThreshold) {
    build_tree();
  }
  return slot;
}

void PacketQueue::erase_slow(Slot slot) {
  slots_[slot].live = false;
  --live_;
  tree_add(slot, -1);
  if (live_ == 0) {
    reset_if_empty();
    return;
  }
  if (slot == head_) {
    while (!slots_[head_].live) ++head_;
  }
  if (slots_.back().live) return;
  while (!slots_.back().live) {
    // Dead slots at the back carry nothing: drop them (the tree shrinks with them).
    slots_.pop_back();
    if (!tree_.empty()) tree_.pop_back();
  }
  fit();
}

PacketQueue::Slot PacketQueue::select(std::size_t index) const {
  if (tree_.empty()) {
    Slot s = head_;
    for (std::size_t k = 0; k < index; ++k) s = next(s);
    return s;
  }
  // Fenwick descent: the largest prefix holding at most `index` live entries.
  std::size_t pos = 0;
  std::size_t remaining = index + 1;
  for (std::size_t step = std::bit_floor(tree_.size() - 1); step > 0; step >>= 1) {
    if (pos + step < tree_.size() && tree_[pos + step] < remaining) {
      pos += step;
      remaining -= tree_[pos];
    }
  }
  return static_cast<Slot>(pos);
}

PacketQueue::Slot PacketQueue::next(Slot slot) const {
  Slot s = slot + 1;
  while (s < slots_.size() && !slots_[s].live) ++s;
  return s;
}

PacketQueue::Slot PacketQueue::insert_at(std::size_t index, const Ulid& id, std::uint32_t ref,
                                         bool& renumbered) {
  renumbered = false;
  if (index >= live_) return push_back(id, ref);
  // The live entry now at `index`; a dead slot just before it (the one a
  // packet left from, when undo puts it back) takes the new entry in place.
  const Slot at = select(index);
  if (at > 0 && !slots_[at - 1].live) {
    const Slot slot = at - 1;
    slots_[slot] = Entry{id, ref, true};
    ++live_;
    tree_add(slot, +1);
    if (slot < head_) head_ = slot;
    return slot;
  }
  renumbered = true;
  return rebuild_with(index, id, ref);
}

PacketQueue::Slot PacketQueue::rebuild_with(std::size_t index, const Ulid& id, std::uint32_t ref) {
  std::vector<Entry> fresh;
  fresh.reserve(live_ + 1);
  Slot placed = 0;
  std::size_t k = 0;
  for (Slot s = head_; s < slots_.size(); ++s) {
    if (!slots_[s].live) continue;
    if (k++ == index) {
      placed = static_cast<Slot>(fresh.size());
      fresh.push_back(Entry{id, ref, true});
    }
    fresh.push_back(slots_[s]);
  }
  slots_ = std::move(fresh);
  ++live_;
  head_ = 0;
  tree_ = {};
  if (slots_.size() > kTreeThreshold) build_tree();
  return placed;
}

void PacketQueue::compact() {
  std::erase_if(slots_, [](const Entry& e) { return !e.live; });
  head_ = 0;
  tree_ = {};
  fit();
  if (slots_.size() > kTreeThreshold) build_tree();
}

std::vector<Ulid> PacketQueue::to_vector() const {
  std::vector<Ulid> out;
  out.reserve(live_);
  for (const Entry& e : slots_) {
    if (e.live) out.push_back(e.id);
  }
  return out;
}

bool PacketQueue::consistent() const {
  std::size_t live = 0;
  for (const Entry& e : slots_) live += e.live;
  if (live != live_) return false;
  if (live_ == 0) return slots_.empty() && tree_.empty();
  if (head_ >= slots_.size() || !slots_[head_].live || !slots_.back().live) return false;
  for (Slot s = 0; s < head_; ++s) {
    if (slots_[s].live) return false;
  }
  if (tree_.empty()) return slots_.size() <= kTreeThreshold;
  if (tree_.size() != slots_.size() + 1) return false;
  std::size_t direct = 0;
  for (Slot s = 0; s <= slots_.size(); ++s) {
    if (s > 0) direct += slots_[s - 1].live;
    std::size_t summed = 0;
    for (std::size_t i = s; i > 0; i -= lowbit(i)) summed += tree_[i];
    if (direct != summed) return false;
  }
  return true;
}

}  // namespace vornix
