#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <thread>
#include <vector>

#include "base/wall_clock.hpp"

namespace vornix {
namespace {

std::int64_t clock_ms() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
}

// Every reading lies between the clock's own readings just before and just
// after it, across many millisecond boundaries (the first reads come before
// the counter's rate is known, the rest after), on two threads at once.
TEST(WallClock, FallsBetweenTheClocksReadingsAroundIt) {
  auto run = [](int& wrong, int& boundaries) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(80);
    std::int64_t last = 0;
    while (std::chrono::steady_clock::now() < end) {
      const std::int64_t before = clock_ms();
      const std::int64_t read = wall_clock_ms();
      const std::int64_t after = clock_ms();
      if (read < before || read > after) ++wrong;
      if (read != last) ++boundaries;
      last = read;
    }
  };
  std::vector<int> wrong(2, 0), boundaries(2, 0);
  std::thread other(run, std::ref(wrong[1]), std::ref(boundaries[1]));
  run(wrong[0], boundaries[0]);
  other.join();
  for (std::size_t t = 0; t < 2; ++t) {
    EXPECT_EQ(wrong[t], 0) << "thread " << t;
    EXPECT_GT(boundaries[t], 20) << "thread " << t;
  }
}

}  // namespace
}  // namespace vornix
