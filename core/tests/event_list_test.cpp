// Event lists reuse the blocks that freed lists leave behind. Two live lists
// must never share a block, whichever thread made or freed them: lists of
// random sizes are made on one thread and freed on another (and the other
// way round), and every list must still hold what was written into it.
#include <gtest/gtest.h>

#include <random>
#include <thread>
#include <vector>

#include "net/events.hpp"

namespace vornix {
namespace {

EventList numbered(std::uint64_t first, std::size_t n) {
  EventList list;
  list.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    list.push_back(NetEvent{NetEvent::PacketCreated{0, Ulid::from_parts(0, first + i)}});
  }
  return list;
}

bool holds(const EventList& list, std::uint64_t first) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    const auto* e = std::get_if<NetEvent::PacketCreated>(&list[i].value);
    if (e == nullptr || !(e->packet_id == Ulid::from_parts(0, first + i))) return false;
  }
  return true;
}

TEST(EventList, ReusedBlocksAreNeverShared) {
  std::mt19937 rng(11);
  std::vector<std::pair<EventList, std::uint64_t>> live;
  std::uint64_t next = 0;
  for (int round = 0; round < 20; ++round) {
    // This thread makes lists and frees some; another frees the rest and
    // makes its own, which come back here.
    for (int i = 0; i < 50; ++i) {
      const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 6)(rng);
      live.emplace_back(numbered(next, n), next);
      next += n;
      if (rng() % 3 == 0) live.erase(live.begin() + static_cast<long>(rng() % live.size()));
    }
    std::vector<std::pair<EventList, std::uint64_t>> handed;
    for (std::size_t i = live.size(); i-- > 0;) {
      if (rng() % 2 == 0) {
        handed.push_back(std::move(live[i]));
        live.erase(live.begin() + static_cast<long>(i));
      }
    }
    std::thread other([&] {
      handed.clear();
      for (std::size_t n = 1; n <= 6; ++n) handed.emplace_back(numbered(1u << 20, n), 1u << 20);
    });
    other.join();
    for (auto& entry : handed) live.push_back(std::move(entry));
    for (const auto& [list, first] : live) ASSERT_TRUE(holds(list, first));
  }
}

}  // namespace
}  // namespace vornix
