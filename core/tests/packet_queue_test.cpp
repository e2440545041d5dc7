// PacketQueue against a plain vector: random appends, removals from anywhere
// and insertions at any position, across the size where the queue switches
// from counting to its tree, with the room it keeps.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "net/packet_queue.hpp"

namespace vornix {
namespace {

// A ref that differs with the id, to tell whether each id kept its own.
std::uint32_t ref_of(const Ulid& id) { return static_cast<std::uint32_t>(id.lo * 7 + 3); }

TEST(PacketQueue, RandomOperationsMatchAVector) {
  for (const unsigned seed : {1u, 2u, 3u}) {
    std::mt19937 rng(seed);
    PacketQueue queue;
    std::vector<Ulid> model;
    std::vector<PacketQueue::Slot> slots;  // slot of model[i]
    std::uint64_t next_id = 1;
    const auto pick = [&](std::size_t n) {
      return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    const auto resync = [&] {
      slots.clear();
      for (auto s = queue.empty() ? queue.end_slot() : queue.front_slot(); s < queue.end_slot();
           s = queue.next(s)) {
        slots.push_back(s);
      }
    };
    for (int step = 0; step < 4000; ++step) {
      // Grow towards a few hundred entries, then drain, then grow again.
      const bool grow = (step / 1000) % 2 == 0;
      const std::size_t op = pick(10);
      if (model.empty() || (grow ? op < 6 : op < 2)) {
        const Ulid id = Ulid::from_parts(0, next_id++);
        if (op % 2 == 0 || model.empty()) {
          slots.push_back(queue.push_back(id, ref_of(id)));
          model.push_back(id);
        } else {
          const std::size_t index = pick(model.size() + 1);
          bool renumbered = false;
          const auto slot = queue.insert_at(index, id, ref_of(id), renumbered);
          model.insert(model.begin() + static_cast<std::ptrdiff_t>(index), id);
          resync();
          ASSERT_EQ(slots[index], slot);
        }
      } else {
        // Mostly from the front, as edges and ports are used; else anywhere.
        const std::size_t index = pick(3) == 0 ? pick(model.size()) : 0;
        ASSERT_EQ(queue.index_of(slots[index]), index);
        ASSERT_EQ(queue.id_at(slots[index]), model[index]);
        // The ref travels with its id through inserts, rebuilds and compaction.
        ASSERT_EQ(queue.ref_at(slots[index]), ref_of(model[index]));
        queue.erase(slots[index]);
        model.erase(model.begin() + static_cast<std::ptrdiff_t>(index));
        slots.erase(slots.begin() + static_cast<std::ptrdiff_t>(index));
        if (queue.wants_compaction()) {
          queue.compact();
          resync();
        }
      }
      ASSERT_EQ(queue.size(), model.size());
      // Room follows the size: a drained queue gives back what it held.
      ASSERT_LE(queue.room(), 4 * queue.size() + 128);
      if (step % 50 == 0) {
        ASSERT_TRUE(queue.consistent());
        ASSERT_EQ(queue.to_vector(), model);
      }
    }
  }
}

// A queue that held many and drains, from the front as an edge does or from
// the back as undo does, keeps room for what is left, not for the most it held.
TEST(PacketQueue, RoomFollowsTheSizeAsItDrains) {
  for (const bool from_front : {true, false}) {
    for (const std::size_t left : {0u, 10u}) {
      PacketQueue queue;
      std::vector<PacketQueue::Slot> slots;
      for (std::uint64_t i = 0; i < 1000; ++i)
        slots.push_back(queue.push_back(Ulid::from_parts(0, i), 0));
      ASSERT_GE(queue.room(), 1000u);
      while (queue.size() > left) {
        if (from_front) {
          queue.erase(queue.front_slot());
          if (queue.wants_compaction()) queue.compact();
        } else {
          queue.erase(slots.back());
          slots.pop_back();
        }
      }
      EXPECT_TRUE(queue.consistent());
      EXPECT_LE(queue.room(), 4 * left + 128) << from_front << " " << left;
    }
  }
}

}  // namespace
}  // namespace vornix
