// The real-time clock, as events and identifiers read it.
#pragma once

#include <cstdint>

namespace vornix {

// Milliseconds since the UNIX epoch from the real-time clock (truncated to
// the millisecond).
std::int64_t wall_clock_ms();

}  // namespace vornix
