#include "net/ulid.hpp"

#include <algorithm>
#include <bit>
#include <random>

#include "base/wall_clock.hpp"

namespace vornix {
namespace {

constexpr char kAlphabet[] = "0123456789ABCDEFGHJKMNPQRSTVWXYZ";

__extension__ typedef unsigned __int128 U128;

U128 to_u128(const Ulid& u) { return (static_cast<U128>(u.hi) << 64) | u.lo; }

constexpr std::uint8_t kNotADigit = 0x80;

// Digit value of every byte, lower-case letters as their upper-case ones:
// parsing is one load per byte instead of a walk along the alphabet.
constexpr std::array<std::uint8_t, 256> make_digit_table() {
  std::array<std::uint8_t, 256> table{};
  for (auto& d : table) d = kNotADigit;
  for (int i = 0; i < 32; ++i) {
    const auto c = static_cast<unsigned char>(kAlphabet[i]);
    table[c] = static_cast<std::uint8_t>(i);
    if (c >= 'A' && c <= 'Z')
      table[static_cast<std::size_t>(c - 'A' + 'a')] = static_cast<std::uint8_t>(i);
  }
  return table;
}
constexpr std::array<std::uint8_t, 256> kDigits = make_digit_table();

// xoshiro256**: a ULID takes 80 random bits, and a Mersenne twister spent
// more instructions on them than the rest of making the id. Seeded per thread
// from the system's random source; the state is never all zero.
class RandomBits {
 public:
  RandomBits() {
    std::random_device rd;
    for (std::uint64_t& word : s_) word = std::uint64_t{rd()} << 32 | rd();
    if ((s_[0] | s_[1] | s_[2] | s_[3]) == 0) s_[0] = 1;
  }
  std::uint64_t operator()() {
    const std::uint64_t result = std::rotl(s_[1] * 5, 7) * 9;
    const std::uint64_t t = s_[1] << 17;
    s_[2] ^= s_[0];
    s_[3] ^= s_[1];
    s_[1] ^= s_[2];
    s_[0] ^= s_[3];
    s_[2] ^= t;
    s_[3] = std::rotl(s_[3], 45);
    return result;
  }

 private:
  std::uint64_t s_[4];
};

RandomBits& thread_generator() {
  thread_local RandomBits gen;
  return gen;
}

}  // namespace

std::string_view to_string(UlidParseError e) {
  return e == UlidParseError::InvalidLength ? "invalid length" : "invalid character";
}

Ulid Ulid::generate() {
  const auto ms = static_cast<std::uint64_t>(wall_clock_ms()) & 0xFFFFFFFFFFFFULL;
  RandomBits& gen = thread_generator();
  const std::uint64_t r1 = gen();
  const std::uint64_t r2 = gen();
  return Ulid{(ms << 16) | (r1 & 0xFFFF), r2};
}

Result<Ulid, UlidParseError> Ulid::parse(std::string_view text) {
  if (text.size() != 26) return Unexpected{UlidParseError::InvalidLength};
  // 26 digits are 130 bits: digits 0-12 carry bits 129-65, digit 13 bits
  // 64-60 and digits 14-25 bits 59-0. Each half is gathered in a plain 64-bit
  // word; the bits above 127 fall off the top of the high one. A byte that is
  // no digit has the table's high bit set, which the OR of all bytes keeps.
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  std::uint8_t seen = 0;
  std::uint64_t high = 0;
  for (int i = 0; i < 13; ++i) {
    const std::uint8_t d = kDigits[p[i]];
    seen |= d;
    high = (high << 5) | d;
  }
  const std::uint8_t middle = kDigits[p[13]];
  seen |= middle;
  std::uint64_t low = 0;
  for (int i = 14; i < 26; ++i) {
    const std::uint8_t d = kDigits[p[i]];
    seen |= d;
    low = (low << 5) | d;
  }
  if (seen & kNotADigit) return Unexpected{UlidParseError::InvalidCharacter};
  return Ulid{(high << 1) | (middle >> 4), (static_cast<std::uint64_t>(middle & 15) << 60) | low};
}

void Ulid::write_text(char* out) const {
  // The mirror of parse: digits 0-12 from hi >> 1, digit 13 from the lowest
  // bit of hi and the top four of lo, digits 14-25 from the low 60 bits.
  std::uint64_t high = hi >> 1;
  for (int i = 12; i >= 0; --i) {
    out[i] = kAlphabet[high & 31];
    high >>= 5;
  }
  out[13] = kAlphabet[((hi & 1) << 4) | (lo >> 60)];
  std::uint64_t low = lo;
  for (int i = 25; i >= 14; --i) {
    out[i] = kAlphabet[low & 31];
    low >>= 5;
  }
}

std::array<char, 26> Ulid::text() const {
  std::array<char, 26> out;
  write_text(out.data());
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
