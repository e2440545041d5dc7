#include "net/events.hpp"

#include <memory>

namespace vornix {

std::string_view to_string(RequestCreatedSource s) {
  switch (s) {
    case RequestCreatedSource::External: return "External";
    case RequestCreatedSource::OnStartup: return "OnStartup";
    case RequestCreatedSource::OnNoSalvoTriggered: return "OnNoSalvoTriggered";
  }
  // Only a cast can produce another value; the binding hands the text on, so
  // say plainly that it is not one of ours.
  return "Unknown";
}

}  // namespace vornix

namespace vornix {

namespace {

// Blocks of 1 to kPooledEvents events, kKept of each capacity at most: an
// action's list and a few held by the caller at once. Larger lists (a run
// step's) are rare enough for the heap.
constexpr std::size_t kPooledEvents = 4;
constexpr std::size_t kKept = 16;

// Plain data, so a thread reaches its cache without a first-use check; the
// Reaper, armed when the thread first keeps a block, frees what is kept
// when the thread ends.
struct BlockCache {
  void* blocks[kPooledEvents][kKept];
  std::size_t count[kPooledEvents];
  // How many to keep; none once the thread's cache is gone, for the lists
  // that static objects free after it.
  std::size_t limit;
  bool armed;
};

constinit thread_local BlockCache block_cache{{}, {}, kKept, false};

struct Reaper {
  ~Reaper() {
    BlockCache& cache = block_cache;
    for (std::size_t c = 0; c < kPooledEvents; ++c) {
      for (std::size_t i = 0; i < cache.count[c]; ++i) ::operator delete(cache.blocks[c][i]);
      cache.count[c] = 0;
    }
    cache.limit = 0;
  }
};

void arm_reaper() {
  thread_local Reaper reaper;
  (void)reaper;
  block_cache.armed = true;
}

}  // namespace

NetEvent* EventListAllocator::allocate(std::size_t n) {
  if (n - 1 < kPooledEvents) {
    BlockCache& cache = block_cache;
    if (std::size_t& count = cache.count[n - 1]; count != 0) {
      return static_cast<NetEvent*>(cache.blocks[n - 1][--count]);
    }
  }
  return std::allocator<NetEvent>().allocate(n);
}

void EventListAllocator::deallocate(NetEvent* p, std::size_t n) noexcept {
  if (n - 1 < kPooledEvents) {
    BlockCache& cache = block_cache;
    if (std::size_t& count = cache.count[n - 1]; count < cache.limit) {
      if (!cache.armed) arm_reaper();
      cache.blocks[n - 1][count++] = p;
      return;
    }
  }
  std::allocator<NetEvent>().deallocate(p, n);
}

namespace {

// Freed snapshot blocks, all of one size (the first size kept: a snapshot
// is always one epoch and its count). kKeptSnapshots covers the snapshots a
// host holds at once between two hops.
constexpr std::size_t kKeptSnapshots = 32;

struct SnapshotCache {
  void* blocks[kKeptSnapshots];
  std::size_t count;
  std::size_t bytes;  // the size kept; 0 until the first block is kept
  std::size_t limit;  // none once the thread's cache is gone
  bool armed;
};

constinit thread_local SnapshotCache snapshot_cache{{}, 0, 0, kKeptSnapshots, false};

struct SnapshotReaper {
  ~SnapshotReaper() {
    SnapshotCache& cache = snapshot_cache;
    for (std::size_t i = 0; i < cache.count; ++i) ::operator delete(cache.blocks[i]);
    cache.count = 0;
    cache.limit = 0;
  }
};

}  // namespace

void* take_snapshot_block(std::size_t bytes) {
  SnapshotCache& cache = snapshot_cache;
  if (bytes == cache.bytes && cache.count != 0) return cache.blocks[--cache.count];
  return ::operator new(bytes);
}

void give_snapshot_block(void* block, std::size_t bytes) noexcept {
  SnapshotCache& cache = snapshot_cache;
  if (cache.bytes == 0 && cache.limit != 0) cache.bytes = bytes;
  if (bytes == cache.bytes && cache.count < cache.limit) {
    if (!cache.armed) {
      thread_local SnapshotReaper reaper;
      (void)reaper;
      cache.armed = true;
    }
    cache.blocks[cache.count++] = block;
    return;
  }
  ::operator delete(block);
}

}  // namespace vornix
