// SmallVector against a plain vector: random appends, removals, copies and
// moves, across the size where the elements leave their inline place. The
// elements own heap strings, so a lost or doubly freed one shows under the
// sanitizers.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "base/small_vector.hpp"

namespace vornix {
namespace {

using Small = SmallVector<std::string, 2>;

void expect_same(const Small& small, const std::vector<std::string>& model) {
  ASSERT_EQ(small.size(), model.size());
  EXPECT_TRUE(small == Small(model));
  for (std::size_t i = 0; i < model.size(); ++i) EXPECT_EQ(small[i], model[i]) << i;
}

TEST(SmallVector, RandomOperationsMatchAVector) {
  std::mt19937 rng(7);
  Small small;
  std::vector<std::string> model;
  const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  for (int step = 0; step < 3000; ++step) {
    const std::string text(static_cast<std::size_t>(20 + pick(20)),
                           static_cast<char>('a' + pick(26)));
    switch (pick(model.size() > 6 ? 7 : 5)) {
      case 0:
      case 1:
        small.emplace_back(text);
        model.push_back(text);
        break;
      case 2:
        // From an element of its own, which a growth must not pull away.
        if (!model.empty()) {
          small.push_back(small.front());
          model.push_back(model.front());
        }
        break;
      case 3: {
        Small copy = small;
        Small moved = std::move(copy);
        EXPECT_TRUE(copy.empty());
        small = moved;             // copy assignment over existing elements
        small = std::move(moved);  // move assignment, inline or from the heap
        break;
      }
      case 4:
        if (pick(8) == 0) {
          small.clear();
          model.clear();
        }
        break;
      default:
        small.pop_back();
        model.pop_back();
        break;
    }
    expect_same(small, model);
  }
}

}  // namespace
}  // namespace vornix
