// UlidIndex: an open-addressing map from an identifier to a dense index.
//
// Cells hold the key beside its value, so a look-up reads one cell (and its
// neighbours on a collision) and never the record the value points at.
// Linear probing with backward-shift deletion: no tombstones, so a long run
// of inserts and erases keeps probe runs as short as the load allows.
#pragma once

#include <cstdint>
#include <vector>

#include "net/ulid.hpp"

namespace vornix {

class UlidIndex {
 public:
  using Value = std::uint32_t;
  static constexpr Value kNone = 0xFFFFFFFFu;

  std::size_t size() const { return size_; }
  // kNone when absent.
  Value find(const Ulid& key) const {
    if (size_ == 0) return kNone;
    for (std::size_t i = home(key);; i = (i + 1) & mask_) {
      const Cell& c = cells_[i];
      if (c.value == kNone) return kNone;
      if (c.key == key) return c.value;
    }
  }
  // REQUIRES: `key` is absent.
  void insert(const Ulid& key, Value value);
  // Returns the value `key` had, kNone when absent.
  Value erase(const Ulid& key);

 private:
  struct Cell {
    Ulid key;
    Value value = kNone;
  };
  std::size_t home(const Ulid& key) const { return std::hash<Ulid>{}(key) & mask_; }
  void grow();

  std::vector<Cell> cells_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace vornix
