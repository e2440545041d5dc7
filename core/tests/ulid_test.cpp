#include <gtest/gtest.h>

#include <cstdint>
#include <unordered_set>

#include "base/wall_clock.hpp"
#include "net/ulid.hpp"

namespace vornix {
namespace {

TEST(Ulid, TextRoundTripsAndIsUpperCase) {
  for (int i = 0; i < 100; ++i) {
    const Ulid id = Ulid::generate();
    const std::string text = id.to_string();
    ASSERT_EQ(text.size(), 26u);
    EXPECT_LE(text[0], '7');
    auto back = Ulid::parse(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, id);
  }
}

TEST(Ulid, TimestampIsTheWallClock) {
  const std::int64_t before = wall_clock_ms();
  const Ulid id = Ulid::generate();
  const std::int64_t after = wall_clock_ms();
  EXPECT_GE(static_cast<std::int64_t>(id.timestamp_ms()), before);
  EXPECT_LE(static_cast<std::int64_t>(id.timestamp_ms()), after);
}

TEST(Ulid, GeneratedIdsAreDistinct) {
  std::unordered_set<Ulid> seen;
  for (int i = 0; i < 10000; ++i) seen.insert(Ulid::generate());
  EXPECT_EQ(seen.size(), 10000u);
}

TEST(Ulid, ParseErrors) {
  struct Case {
    std::string text;
    std::optional<UlidParseError> error;
  };
  const Case cases[] = {
      {std::string(25, '0'), UlidParseError::InvalidLength},
      {std::string(27, '0'), UlidParseError::InvalidLength},
      {"", UlidParseError::InvalidLength},
      {"0000000000000000000000000U", UlidParseError::InvalidCharacter},
      {"0000000000000000000000000i", UlidParseError::InvalidCharacter},
      {"000000000000000000000000-0", UlidParseError::InvalidCharacter},
      // 26 two-byte characters are 52 bytes: a length error, not a character one.
      {[] {
         std::string s;
         for (int i = 0; i < 26; ++i) s += "\xc3\xa9";
         return s;
       }(),
       UlidParseError::InvalidLength},
      {"01arz3ndektsv4rrffq69g5fav", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = Ulid::parse(c.text);
    if (c.error) {
      ASSERT_FALSE(r);
      EXPECT_EQ(r.error(), *c.error);
    } else {
      ASSERT_TRUE(r);
    }
  }
  EXPECT_EQ(to_string(UlidParseError::InvalidLength), "invalid length");
  EXPECT_EQ(to_string(UlidParseError::InvalidCharacter), "invalid character");
}

// Values whose bits sit around the 64-bit boundary, which falls inside the
// fourteenth digit, read and written both ways.
TEST(Ulid, TextOfKnownValues) {
  struct Case {
    std::uint64_t hi, lo;
    const char* text;
  };
  const Case cases[] = {
      {1, 0, "0000000000000G000000000000"},
      {0, 1ULL << 63, "00000000000008000000000000"},
      {0, 15ULL << 60, "0000000000000F000000000000"},
      {1, 1ULL << 60, "0000000000000H000000000000"},
      {~0ULL, ~0ULL, "7ZZZZZZZZZZZZZZZZZZZZZZZZZ"},
      {0x0123456789ABCDEFULL, 0xFEDCBA9876543210ULL, "014D2PF2DBSQQZXQ5TK1V58CGG"},
  };
  for (const Case& c : cases) {
    const Ulid id = Ulid::from_parts(c.hi, c.lo);
    EXPECT_EQ(id.to_string(), c.text);
    const auto parsed = Ulid::parse(c.text);
    ASSERT_TRUE(parsed) << c.text;
    EXPECT_EQ(*parsed, id) << c.text;
  }
}

TEST(Ulid, LowerCaseParsesLikeUpperCaseAndHighDigitsWrap) {
  EXPECT_EQ(*Ulid::parse("01arz3ndektsv4rrffq69g5fav"), *Ulid::parse("01ARZ3NDEKTSV4RRFFQ69G5FAV"));
  // A first digit above 7 loses its two top bits: 8 (01000) wraps to 0.
  EXPECT_EQ(*Ulid::parse("80000000000000000000000001"), Ulid::from_parts(0, 1));
}

TEST(Ulid, DebugFormIsDecimal) {
  EXPECT_EQ(Ulid::from_parts(0, 5).debug(), "Ulid(5)");
  EXPECT_EQ(Ulid::from_parts(~0ULL, ~0ULL).debug(),
            "Ulid(340282366920938463463374607431768211455)");
  EXPECT_EQ(Ulid::from_parts(0, 5).to_string(), "00000000000000000000000005");
}

}  // namespace
}  // namespace vornix
