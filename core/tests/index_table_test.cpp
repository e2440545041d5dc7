// The shared index table against a set, with every key's home cell among the
// last few of the table, so probe runs wrap past its end and backward-shift
// deletion has to move entries across it.
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "base/index_table.hpp"

namespace vornix {
namespace {

TEST(IndexTable, WrappingRunsMatchASet) {
  std::mt19937_64 rng(11);
  IndexTable table;
  table.reserve(30);  // 64 cells, filled to at most 40
  // Key k (its own index) hashes to one of the cells 58..63, in any table size.
  const auto hash = [](std::uint32_t k) -> std::uint64_t { return (k << 6) | (58 + k % 6); };
  const auto same_as = [](std::uint32_t k) { return [k](std::uint32_t i) { return i == k; }; };
  std::set<std::uint32_t> model;
  for (int step = 0; step < 20000; ++step) {
    const auto k = static_cast<std::uint32_t>(rng() % 60);
    if (rng() % 2 == 0 && model.size() < 40) {
      const std::uint32_t had = table.insert(hash(k), k, same_as(k));
      EXPECT_EQ(had, model.contains(k) ? k : IndexTable::kNone);
      model.insert(k);
    } else {
      EXPECT_EQ(table.erase(hash(k), same_as(k)), model.erase(k) ? k : IndexTable::kNone);
    }
    ASSERT_EQ(table.size(), model.size());
    for (std::uint32_t j = 0; j < 60; ++j) {
      ASSERT_EQ(table.find(hash(j), same_as(j)), model.contains(j) ? j : IndexTable::kNone);
    }
  }
  EXPECT_EQ(table.capacity(), 64u);  // reserved once, never grown
}

}  // namespace
}  // namespace vornix
