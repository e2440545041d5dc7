// Ulid: the 128-bit identifier of packets and epochs.
//
// The high 48 bits are the wall-clock milliseconds at creation, the low 80
// random (a per-thread generator seeded from the OS random source). Text form:
// 26 Crockford base-32 characters, upper case. Debug form: "Ulid(n)" with the
// value in decimal.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/result.hpp"

namespace vornix {

enum class UlidParseError : std::uint8_t { InvalidLength, InvalidCharacter };

// "invalid length" / "invalid character".
std::string_view to_string(UlidParseError e);

struct Ulid {
  std::uint64_t hi = 0;  // bits 127..64
  std::uint64_t lo = 0;  // bits 63..0

  // A new identifier from the wall clock and the thread's generator.
  static Ulid generate();
  static constexpr Ulid from_parts(std::uint64_t hi, std::uint64_t lo) { return Ulid{hi, lo}; }
  // Parses 26 bytes of base-32 (lower case accepted). Length is checked first,
  // then the bytes. Bits above 127 are discarded.
  static Result<Ulid, UlidParseError> parse(std::string_view text);

  std::string to_string() const;  // 26 characters
  // The same 26 characters without an allocation, for callers that copy
  // them straight into another string type.
  std::array<char, 26> text() const;
  // The same 26 characters written to out[0..25].
  void write_text(char* out) const;
  std::string debug() const;  // "Ulid(5)"
  std::uint64_t timestamp_ms() const { return hi >> 16; }

  auto operator<=>(const Ulid&) const = default;
};

}  // namespace vornix

template <>
struct std::hash<vornix::Ulid> {
  std::size_t operator()(const vornix::Ulid& u) const noexcept {
    // The low 80 bits are random; mixing both halves keeps same-millisecond
    // identifiers apart and defends against hand-made values.
    std::uint64_t h = u.lo ^ (u.hi * 0x9E3779B97F4A7C15ULL);
    h ^= h >> 29;
    return static_cast<std::size_t>(h * 0xBF58476D1CE4E5B9ULL);
  }
};
