// UlidIndex: an open-addressing map from an identifier to a dense index.
//
// A cell holds only the value and 32 bits of the key's hash: eight bytes, so
// the table of a large net stays small enough for the caches. The key itself
// lives in the record the value points at; callers pass `key_of(value)`,
// which a look-up asks only when the hash bits agree, and whose record it
// then reads anyway. Linear probing with backward-shift deletion: no
// tombstones, so a long run of inserts and erases keeps probe runs as short
// as the load allows.
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
  // kNone when absent. `key_of(value)` gives the key stored under a value.
  template <class KeyOf>
  Value find(const Ulid& key, const KeyOf& key_of) const {
    if (size_ == 0) return kNone;
    const std::uint32_t h = hash(key);
    for (std::size_t i = h & mask_;; i = (i + 1) & mask_) {
      const Cell c = cells_[i];
      if (c.value == kNone) return kNone;
      if (c.hash == h && key_of(c.value) == key) return c.value;
    }
  }
  // REQUIRES: `key` is absent.
  void insert(const Ulid& key, Value value);
  // Returns the value `key` had, kNone when absent.
  template <class KeyOf>
  Value erase(const Ulid& key, const KeyOf& key_of) {
    if (size_ == 0) return kNone;
    const std::uint32_t h = hash(key);
    std::size_t i = h & mask_;
    while (true) {
      const Cell c = cells_[i];
      if (c.value == kNone) return kNone;
      if (c.hash == h && key_of(c.value) == key) break;
      i = (i + 1) & mask_;
    }
    const Value value = cells_[i].value;
    remove_at(i);
    return value;
  }

 private:
  struct Cell {
    Value value = kNone;
    std::uint32_t hash = 0;
  };
  static std::uint32_t hash(const Ulid& key) {
    const std::uint64_t h = std::hash<Ulid>{}(key);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }
  void remove_at(std::size_t i);
  void grow();

  std::vector<Cell> cells_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace vornix
