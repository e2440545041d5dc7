// The wall clock in milliseconds, read for every event and identifier.
//
// A read of the real-time clock costs some 25 ns even through the vDSO: as
// much as the rest of recording a small event. Its millisecond value changes
// only once a millisecond, so a read that the processor's time-stamp counter
// shows to fall short of the next millisecond boundary returns the
// millisecond read last: the value a full read would give.
//
// The boundary is kept in counter ticks, and can only fall early, never late:
// the counter is read before the clock, and the rate that turns the time left
// into ticks is measured against the raw monotonic clock and then lowered by
// more than NTP may slew the wall clock. A step of the wall clock (settimeofday,
// an NTP step) is seen at the next boundary, less than a millisecond later.
//
// The last reading is shared by all threads under a sequence count: a reader
// that sees it change meanwhile reads the clock itself. The shortcut is taken
// only on x86-64 Linux with an invariant counter that the kernel itself uses
// as its clock source; anywhere else every read goes to the clock.
#include "base/wall_clock.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>

#if defined(__x86_64__) && defined(__linux__) && defined(CLOCK_MONOTONIC_RAW)
#include <cpuid.h>
#include <x86intrin.h>
#define VORNIX_COUNTER_CLOCK 1
#endif

namespace vornix {

#ifndef VORNIX_COUNTER_CLOCK

std::int64_t wall_clock_ms() {
#ifdef CLOCK_REALTIME
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1'000'000;
#else
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
#endif
}

#else

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;

// Whether the counter runs at one rate on every core whatever the power
// state, and the kernel trusts it enough to keep time with it.
bool counter_is_trusted() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(0x80000007, &eax, &ebx, &ecx, &edx) == 0 || (edx & (1U << 8)) == 0) {
    return false;
  }
  std::FILE* f =
      std::fopen("/sys/devices/system/clocksource/clocksource0/current_clocksource", "r");
  if (f == nullptr) return false;
  char source[32] = {};
  const bool read = std::fgets(source, sizeof source, f) != nullptr;
  std::fclose(f);
  return read && std::strncmp(source, "tsc\n", 4) == 0;
}

std::int64_t raw_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_RAW, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// A reading of the raw monotonic clock between two counter readings.
struct Bracket {
  std::uint64_t before, after;
  std::int64_t ns;
};

Bracket bracket() {
  Bracket b{};
  b.before = __rdtsc();
  b.ns = raw_ns();
  b.after = __rdtsc();
  return b;
}

// Counter ticks per nanosecond of wall time, at least: measured between two
// readings at least 20 ms apart, from the fewest ticks that can lie between
// them (a thread descheduled meanwhile only makes the rate lower), then
// lowered by 0.2% (NTP slews the wall clock by at most 0.05%). Zero while
// not known, and for good where the counter is not trusted.
class TickRate {
 public:
  TickRate() : trusted_(counter_is_trusted()), first_(bracket()) {}

  double get() {
    const double known = rate_.load(std::memory_order_relaxed);
    if (known > 0 || !trusted_.load(std::memory_order_relaxed)) return known;
    // A thread that finds another measuring reads the clock meanwhile (and
    // so does a child forked while the lock was held).
    std::unique_lock<std::mutex> hold(lock_, std::try_to_lock);
    if (!hold.owns_lock()) return 0;
    const Bracket now = bracket();
    const std::int64_t ns = now.ns - first_.ns;
    if (ns < 20 * kNsPerMs) return 0;
    if (now.before <= first_.after) {  // not a counter that moves forward
      trusted_.store(false, std::memory_order_relaxed);
      return 0;
    }
    const std::uint64_t fewest = now.before - first_.after;
    const std::uint64_t most = now.after - first_.before;
    if (most - fewest > fewest / 1000) {  // a wide bracket: measure again
      first_ = now;
      return 0;
    }
    const double rate = static_cast<double>(fewest) / static_cast<double>(ns) * (1.0 - 2e-3);
    rate_.store(rate, std::memory_order_relaxed);
    return rate;
  }

 private:
  std::mutex lock_;
  std::atomic<bool> trusted_;
  Bracket first_;
  std::atomic<double> rate_{0};
};

TickRate& tick_rate() {
  static TickRate rate;
  return rate;
}

// The last reading: its millisecond, and the counter value before which that
// millisecond still holds. `seq` is odd while a writer fills them in.
struct alignas(64) LastReading {
  std::atomic<std::uint64_t> seq{0};
  std::atomic<std::int64_t> ms{0};
  std::atomic<std::uint64_t> until{0};
};
LastReading last;

[[gnu::noinline]] std::int64_t read_and_keep() {
  const std::uint64_t before = __rdtsc();
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const std::int64_t ms = static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / kNsPerMs;
  const double rate = tick_rate().get();
  if (rate <= 0) return ms;
  const std::int64_t left_ns = kNsPerMs - now.tv_nsec % kNsPerMs;
  const std::uint64_t until =
      before + static_cast<std::uint64_t>(static_cast<double>(left_ns) * rate);
  // One writer at a time; a thread that finds another writing skips keeping
  // its reading, which stays correct for itself.
  std::uint64_t seq = last.seq.load(std::memory_order_relaxed);
  if ((seq & 1) == 0 && last.seq.compare_exchange_strong(seq, seq + 1, std::memory_order_relaxed)) {
    std::atomic_thread_fence(std::memory_order_release);
    last.ms.store(ms, std::memory_order_relaxed);
    last.until.store(until, std::memory_order_relaxed);
    last.seq.store(seq + 2, std::memory_order_release);
  }
  return ms;
}

}  // namespace

std::int64_t wall_clock_ms() {
  const std::uint64_t seq = last.seq.load(std::memory_order_acquire);
  const std::int64_t ms = last.ms.load(std::memory_order_relaxed);
  const std::uint64_t until = last.until.load(std::memory_order_relaxed);
  std::atomic_thread_fence(std::memory_order_acquire);
  if ((seq & 1) == 0 && last.seq.load(std::memory_order_relaxed) == seq && __rdtsc() < until) {
    return ms;
  }
  return read_and_keep();
}

#endif

}  // namespace vornix
