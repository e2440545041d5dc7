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

// Freed blocks kept per thread for the next ones: event lists of 1 to
// kPooledEvents events, kKept of each capacity at most (an action's list and
// a few held by the caller at once; a run step's larger lists are rare enough
// for the heap), and epoch snapshots, kKeptSnapshots of them (those a host
// holds at once between two hops), all of one size: the first size kept,
// since a snapshot is always one epoch and its count.
constexpr std::size_t kPooledEvents = 4;
constexpr std::size_t kKept = 16;
constexpr std::size_t kKeptSnapshots = 32;

// Plain data, so a thread reaches its cache without a first-use check; the
// Reaper, armed when the thread first keeps a block, frees what is kept
// when the thread ends.
struct BlockCache {
  void* blocks[kPooledEvents][kKept];
  std::size_t count[kPooledEvents];
  void* snapshots[kKeptSnapshots];
  std::size_t snapshot_count;
  std::size_t snapshot_bytes;  // the size kept; 0 until the first snapshot is kept
  // Whether blocks may be kept: set when the thread first keeps one (and its
  // Reaper is armed), cleared for good once the Reaper has run, so that the
  // blocks that static objects free after it go to the heap.
  bool open;
  bool closed;
};

constinit thread_local BlockCache block_cache{{}, {}, {}, 0, 0, false, false};

// The calling thread's cache. In a shared library (the C interface, the
// Python extension) each use of a thread's variable may become a call to
// find it, and GCC makes that call again at every use rather than keep the
// address; passed through an empty asm, the address is a value it keeps.
BlockCache& this_thread() noexcept {
  BlockCache* cache = &block_cache;
  asm("" : "+r"(cache));
  return *cache;
}

struct Reaper {
  ~Reaper() {
    BlockCache& cache = this_thread();
    for (std::size_t c = 0; c < kPooledEvents; ++c) {
      for (std::size_t i = 0; i < cache.count[c]; ++i) ::operator delete(cache.blocks[c][i]);
      cache.count[c] = 0;
    }
    for (std::size_t i = 0; i < cache.snapshot_count; ++i) ::operator delete(cache.snapshots[i]);
    cache.snapshot_count = 0;
    cache.open = false;
    cache.closed = true;
  }
};

// What keep does not do inline: opens the cache on the thread's first keep,
// and gives a block it has no room for to the heap.
[[gnu::noinline]] void keep_or_free(BlockCache& cache, void** shelf, std::size_t& count,
                                    std::size_t most, void* block) noexcept {
  if (!cache.open && !cache.closed) {
    thread_local Reaper reaper;
    (void)reaper;
    cache.open = true;
  }
  if (cache.open && count < most) {
    shelf[count++] = block;
    return;
  }
  ::operator delete(block);
}

// Puts `block` on `shelf` (one of `cache`'s) when it has room under `most`,
// and frees it otherwise. The cache comes from the caller: in a shared
// library each look-up of a thread's own variable is a call. The usual case
// is a store, with no call, so a caller needs no registers saved for it.
inline void keep(BlockCache& cache, void** shelf, std::size_t& count, std::size_t most,
                 void* block) noexcept {
  if (cache.open && count < most) {
    shelf[count++] = block;
    return;
  }
  keep_or_free(cache, shelf, count, most, block);
}

}  // namespace

NetEvent* EventListAllocator::allocate(std::size_t n) {
  if (n - 1 < kPooledEvents) {
    BlockCache& cache = this_thread();
    if (std::size_t& count = cache.count[n - 1]; count != 0) {
      return static_cast<NetEvent*>(cache.blocks[n - 1][--count]);
    }
  }
  return std::allocator<NetEvent>().allocate(n);
}

void EventListAllocator::deallocate(NetEvent* p, std::size_t n) noexcept {
  if (n - 1 < kPooledEvents) {
    BlockCache& cache = this_thread();
    keep(cache, cache.blocks[n - 1], cache.count[n - 1], kKept, p);
    return;
  }
  std::allocator<NetEvent>().deallocate(p, n);
}

void* take_snapshot_block(std::size_t bytes) {
  BlockCache& cache = this_thread();
  if (bytes == cache.snapshot_bytes && cache.snapshot_count != 0) {
    return cache.snapshots[--cache.snapshot_count];
  }
  return ::operator new(bytes);
}

void give_snapshot_block(void* block, std::size_t bytes) noexcept {
  BlockCache& cache = this_thread();
  if (cache.snapshot_bytes == 0) cache.snapshot_bytes = bytes;
  if (bytes != cache.snapshot_bytes) {
    ::operator delete(block);
    return;
  }
  keep(cache, cache.snapshots, cache.snapshot_count, kKeptSnapshots, block);
}

}  // namespace vornix
