#include "net/ulid_index.hpp"

#include <utility>

namespace vornix {

void UlidIndex::grow() {
  std::vector<Cell> old = std::move(cells_);
  cells_.assign(old.empty() ? 16 : old.size() * 2, Cell{});
  mask_ = cells_.size() - 1;
  for (const Cell& c : old) {
    if (c.value == kNone) continue;
    std::size_t i = c.hash & mask_;
    while (cells_[i].value != kNone) i = (i + 1) & mask_;
    cells_[i] = c;
  }
}

void UlidIndex::insert(const Ulid& key, Value value) {
  // Kept at most half full: probe runs stay short.
  if ((size_ + 1) * 2 > cells_.size()) grow();
  const std::uint32_t h = hash(key);
  std::size_t i = h & mask_;
  while (cells_[i].value != kNone) i = (i + 1) & mask_;
  cells_[i] = Cell{value, h};
  ++size_;
}

void UlidIndex::remove_at(std::size_t i) {
  // Shift back every later cell of the run that may sit in the hole, so a
  // search never stops early at it.
  for (std::size_t j = (i + 1) & mask_; cells_[j].value != kNone; j = (j + 1) & mask_) {
    const std::size_t k = cells_[j].hash & mask_;
    const bool movable = i <= j ? (k <= i || k > j) : (k <= i && k > j);
    if (movable) {
      cells_[i] = cells_[j];
      i = j;
    }
  }
  cells_[i].value = kNone;
  --size_;
}

}  // namespace vornix
