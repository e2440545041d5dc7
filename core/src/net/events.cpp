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

}  // namespace vornix
