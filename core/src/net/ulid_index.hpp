// UlidIndex: the index table keyed by identifiers, kept at most half full
// because epochs come and go on the hot path and their ids are looked up by
// every action that names one. The id itself lives in the record the value
// points at; callers pass `key_of(value)`.
#pragma once

#include <cstdint>
#include <functional>

#include "base/index_table.hpp"
#include "net/ulid.hpp"

namespace vornix {

class UlidIndex {
 public:
  using Value = IndexTable::Index;
  static constexpr Value kNone = IndexTable::kNone;

  std::size_t size() const { return table_.size(); }
  // kNone when absent. `key_of(value)` gives the key stored under a value.
  template <class KeyOf>
  Value find(const Ulid& key, const KeyOf& key_of) const {
    return table_.find(hash(key), [&](Value v) { return key_of(v) == key; });
  }
  // REQUIRES: `key` is absent.
  void insert(const Ulid& key, Value value) {
    if ((table_.size() + 1) * 2 > table_.capacity()) table_.grow();
    table_.insert_new(hash(key), value);
  }
  // Returns the value `key` had, kNone when absent.
  template <class KeyOf>
  Value erase(const Ulid& key, const KeyOf& key_of) {
    return table_.erase(hash(key), [&](Value v) { return key_of(v) == key; });
  }

 private:
  // Both halves of the id's hash folded into the 32 bits a cell keeps.
  static std::uint64_t hash(const Ulid& key) {
    const std::uint64_t h = std::hash<Ulid>{}(key);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
  }

  IndexTable table_;
};

}  // namespace vornix
