// Name comparison shared by interning and the look-ups: a short-name
// equality test without a library call, and the hash tag kept in index cells.
// Internal to the simulation state; nothing outside core/src/net includes it.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>

#include "graph/graph.hpp"

namespace vornix::net_detail {

using graph_detail::name_hash;

// Whether n bytes, sizeof(W) <= n <= 2 * sizeof(W), are equal: one word
// from each end of both texts, the two words overlapping when n is short.
template <class W>
[[gnu::always_inline]] inline bool same_ends(const char* p, const char* q, std::size_t n) {
  W p0, p1, q0, q1;
  std::memcpy(&p0, p, sizeof(W));
  std::memcpy(&q0, q, sizeof(W));
  std::memcpy(&p1, p + n - sizeof(W), sizeof(W));
  std::memcpy(&q1, q + n - sizeof(W), sizeof(W));
  return ((p0 ^ q0) | (p1 ^ q1)) == 0;
}

// Equality of two names without a library call for the short ones, which
// most names are: up to 16 bytes take two overlapping loads a side.
[[gnu::always_inline]] inline bool same_name(std::string_view a, std::string_view b) {
  const std::size_t n = a.size();
  if (n != b.size()) return false;
  const char* p = a.data();
  const char* q = b.data();
  if (n >= 8) return n > 16 ? std::memcmp(p, q, n) == 0 : same_ends<std::uint64_t>(p, q, n);
  if (n >= 4) return same_ends<std::uint32_t>(p, q, n);
  for (std::size_t k = 0; k < n; ++k) {
    if (p[k] != q[k]) return false;
  }
  return true;
}

// The high half of a hash, kept in a table cell so that a probe compares
// names only when the hashes agree.
inline std::uint32_t tag_of(std::uint64_t h) { return static_cast<std::uint32_t>(h >> 32); }

}  // namespace vornix::net_detail
