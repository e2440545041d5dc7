#include "net/ulid.hpp"

#include <algorithm>
#include <chrono>
#include <random>

namespace vornix {
namespace {

constexpr char kAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";

__extension__ typedef unsigned __int128 U128;

U128 to_u128(const Ulid& u) { return (static_cast<U128>(u.hi) << 64) | u.lo; }
Ulid from_u128(U128 v) {
  return Ulid{static_cast<std::uint64_t>(v >> 64), static_cast<std::uint64_t>(v)};
}

constexpr std::int8_t kNotADigit = -1;

// Digit value of every byte, lower-case letters as their upper-case ones:
// parsing is one load per byte instead of a walk along the alphabet.
constexpr std::array<std::int8_t, 256> make_digit_table() {
  std::array<std::int8_t, 256> table{};
  for (auto& d : table) d = kNotADigit;
  for (int i = 0; i < 32; ++i) {
    const auto c = static_cast<unsigned char>(kAlphabet[i]);
    table[c] = static_cast<std::int8_t>(i);
    if (c >= 'A' && c <= 'Z') table[c - 'A' + 'a'] = static_cast<std::int8_t>(i);
  }
  return table;
}
constexpr std::array<std::int8_t, 256> kDigits = make_digit_table();

std::mt19937_64& thread_generator() {
  thread_local std::mt19937_64 gen = [] {
    std::random_device rd;
    std::seed_seq seq{rd(), rd(), rd(), rd(), rd(), rd(), rd(), rd()};
    return std::mt19937_64(seq);
  }();
  return gen;
}

}  // namespace

std::string_view to_string(UlidParseError e) {
  return e == UlidParseError::InvalidLength ? "invalid length" : "invalid character";
}

std::int64_t wall_clock_ms() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

Ulid Ulid::generate() {
  const auto ms = static_cast<std::uint64_t>(wall_clock_ms()) & 0xFFFFFFFFFFFFULL;
  std::mt19937_64& gen = thread_generator();
  const std::uint64_t r1 = gen();
  const std::uint64_t r2 = gen();
  return Ulid{(ms << 16) | (r1 & 0xFFFF), r2};
}

Result<Ulid, UlidParseError> Ulid::parse(std::string_view text) {
  if (text.size() != 26) return Unexpected{UlidParseError::InvalidLength};
  U128 v = 0;
  for (char ch : text) {
    const std::int8_t d = kDigits[static_cast<unsigned char>(ch)];
    if (d == kNotADigit) return Unexpected{UlidParseError::InvalidCharacter};
    v = (v << 5) | static_cast<U128>(d);  // the top two bits of digit 0 fall off
  }
  return from_u128(v);
}

std::array<char, 26> Ulid::text() const {
  std::array<char, 26> out{};
  U128 v = to_u128(*this);
  for (int i = 25; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kAlphabet[static_cast<unsigned>(v & 31)];
    v >>= 5;
  }
  return out;
}

std::string Ulid::to_string() const {
  const auto t = text();
  return std::string(t.data(), t.size());
}

std::string Ulid::debug() const {
  U128 v = to_u128(*this);
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  } while (v != 0);
  std::reverse(digits.begin(), digits.end());
  return "Ulid(" + digits + ")";
}

}  // namespace vornix
