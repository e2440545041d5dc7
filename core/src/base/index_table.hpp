// IndexTable: an open-addressing map from a key to a dense 32-bit index.
//
// A cell holds only the index and the low 32 bits of the key's hash: eight
// bytes, so the table of a large net stays small enough for the caches. The
// key itself lives in the record the index points at; callers pass
// `same(index)`, which a look-up asks only when the hash bits agree, and
// whose record it then reads anyway. A key's first cell is its hash masked to
// the table's size, and since those bits are in the cell, an entry can be
// moved without its key. Linear probing with backward-shift deletion: no
// tombstones, so a long run of inserts and erases keeps probe runs as short
// as the load allows.
//
// Names, ports, edges and epoch ids all go through this one type; the
// caller picks the hash and decides how full the table may get (`reserve`
// for a known count, `grow` for a table that fills as it goes).
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vornix {

class IndexTable {
 public:
  using Index = std::uint32_t;
  static constexpr Index kNone = 0xFFFFFFFFu;

  std::size_t size() const { return size_; }
  std::size_t capacity() const { return cells_.size(); }

  // Empties the table and sizes it for `n` entries at most two thirds full.
  void reserve(std::size_t n) {
    const std::size_t size = std::bit_ceil(std::max<std::size_t>(8, n + n / 2 + 1));
    cells_.assign(size, Cell{});
    mask_ = size - 1;
    size_ = 0;
  }
  // Doubles the cells (16 when there are none), keeping every entry.
  void grow() {
    std::vector<Cell> old = std::move(cells_);
    cells_.assign(old.empty() ? 16 : old.size() * 2, Cell{});
    mask_ = cells_.size() - 1;
    for (const Cell& c : old) {
      if (c.index != kNone) cells_[free_cell(c.tag)] = c;
    }
  }

  // The index stored under the key, kNone when absent.
  template <class Same>
  Index find(std::uint64_t h, const Same& same) const {
    if (size_ == 0) return kNone;
    const std::uint32_t tag = tag_of(h);
    for (std::size_t i = tag & mask_;; i = (i + 1) & mask_) {
      const Cell c = cells_[i];
      if (c.index == kNone) return kNone;
      if (c.tag == tag && same(c.index)) return c.index;
    }
  }
  // The first index on the key's probe whose hash bits agree, kNone when the
  // probe ends first; the caller compares the key (and looks again with
  // find when it differs).
  Index candidate(std::uint64_t h) const {
    if (size_ == 0) return kNone;
    const std::uint32_t tag = tag_of(h);
    for (std::size_t i = tag & mask_;; i = (i + 1) & mask_) {
      const Cell c = cells_[i];
      if (c.index == kNone || c.tag == tag) return c.index;
    }
  }
  // Fetches the key's first cell ahead of a look-up or insert.
  void prefetch(std::uint64_t h) const {
    if (!cells_.empty()) __builtin_prefetch(&cells_[tag_of(h) & mask_]);
  }

  // The index already stored under the key, or kNone after storing `index`.
  template <class Same>
  Index insert(std::uint64_t h, Index index, const Same& same) {
    if (size_ + 1 >= cells_.size()) grow();  // never full, so every probe ends
    const std::uint32_t tag = tag_of(h);
    for (std::size_t i = tag & mask_;; i = (i + 1) & mask_) {
      Cell& c = cells_[i];
      if (c.index == kNone) {
        c = Cell{index, tag};
        ++size_;
        return kNone;
      }
      if (c.tag == tag && same(c.index)) return c.index;
    }
  }
  // Stores `index` for a key the caller knows to be absent.
  void insert_new(std::uint64_t h, Index index) {
    if (size_ + 1 >= cells_.size()) grow();
    const std::uint32_t tag = tag_of(h);
    cells_[free_cell(tag)] = Cell{index, tag};
    ++size_;
  }
  // Returns the index the key had, kNone when absent.
  template <class Same>
  Index erase(std::uint64_t h, const Same& same) {
    if (size_ == 0) return kNone;
    const std::uint32_t tag = tag_of(h);
    std::size_t i = tag & mask_;
    while (true) {
      const Cell c = cells_[i];
      if (c.index == kNone) return kNone;
      if (c.tag == tag && same(c.index)) break;
      i = (i + 1) & mask_;
    }
    const Index index = cells_[i].index;
    // Shift back every later cell of the run that may sit in the hole, so a
    // search never stops early at it.
    for (std::size_t j = (i + 1) & mask_; cells_[j].index != kNone; j = (j + 1) & mask_) {
      const std::size_t home = cells_[j].tag & mask_;
      const bool movable = i <= j ? (home <= i || home > j) : (home <= i && home > j);
      if (movable) {
        cells_[i] = cells_[j];
        i = j;
      }
    }
    cells_[i].index = kNone;
    --size_;
    return index;
  }

 private:
  struct Cell {
    Index index = kNone;    // kNone = empty
    std::uint32_t tag = 0;  // the low half of the key's hash
  };
  static std::uint32_t tag_of(std::uint64_t h) { return static_cast<std::uint32_t>(h); }
  std::size_t free_cell(std::uint32_t tag) const {
    std::size_t i = tag & mask_;
    while (cells_[i].index != kNone) i = (i + 1) & mask_;
    return i;
  }

  std::vector<Cell> cells_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace vornix
