// UlidIndex against std::unordered_map: random inserts and erases, with keys
// that share their high half (as identifiers made in one millisecond do), so
// probe runs form and backward-shift deletion has work to do.
#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <vector>

#include "net/ulid_index.hpp"

namespace vornix {
namespace {

TEST(UlidIndex, RandomInsertsAndErasesMatchAMap) {
  std::mt19937_64 rng(7);
  UlidIndex index;
  std::unordered_map<Ulid, UlidIndex::Value> model;
  std::vector<Ulid> keys;
  std::unordered_map<UlidIndex::Value, Ulid> stored;  // the records the values point at
  const auto key_of = [&](UlidIndex::Value v) -> const Ulid& { return stored.at(v); };
  for (UlidIndex::Value step = 0; step < 30000; ++step) {
    const bool insert = keys.empty() || rng() % 3 != 0;
    if (insert) {
      const Ulid key{42, rng() % 5000};
      if (model.contains(key)) continue;
      index.insert(key, step);
      stored.emplace(step, key);
      model.emplace(key, step);
      keys.push_back(key);
    } else {
      const std::size_t at = rng() % keys.size();
      const Ulid key = keys[at];
      keys[at] = keys.back();
      keys.pop_back();
      EXPECT_EQ(index.erase(key, key_of), model.at(key));
      model.erase(key);
      EXPECT_EQ(index.erase(key, key_of), UlidIndex::kNone);
    }
    if (step % 1000 == 0) {
      ASSERT_EQ(index.size(), model.size());
      for (const auto& [key, value] : model) ASSERT_EQ(index.find(key, key_of), value);
      EXPECT_EQ(index.find(Ulid{43, 0}, key_of), UlidIndex::kNone);
    }
  }
}

}  // namespace
}  // namespace vornix
