#include "base/text.hpp"

#include <array>
#include <cstdint>

namespace vornix {
namespace {

struct Range {
  char32_t lo, hi;
};

// Combining marks: these would attach to the quote or the previous character
// when printed, so they are escaped to keep the text unambiguous.
constexpr std::array<Range, 12> kCombining{{
    {0x0300, 0x036F},
    {0x0483, 0x0489},
    {0x0591, 0x05BD},
    {0x0610, 0x061A},
    {0x064B, 0x065F},
    {0x0E31, 0x0E3A},
    {0x1AB0, 0x1AFF},
    {0x1DC0, 0x1DFF},
    {0x20D0, 0x20FF},
    {0x302A, 0x302F},
    {0x3099, 0x309A},
    {0xFE20, 0xFE2F},
}};

// Characters that print nothing visible: format controls, separators other
// than the plain blank, private use, noncharacters.
constexpr std::array<Range, 14> kNonPrintable{{
    {0x00AD, 0x00AD},
    {0x034F, 0x034F},
    {0x061C, 0x061C},
    {0x115F, 0x1160},
    {0x180B, 0x180F},
    {0x2000, 0x200F},
    {0x2028, 0x202F},
    {0x205F, 0x206F},
    {0x3000, 0x3000},
    {0xE000, 0xF8FF},
    {0xFE00, 0xFE0F},
    {0xFEFF, 0xFEFF},
    {0xFFF0, 0xFFFB},
    {0xE0000, 0xE0FFF},
}};

bool in(char32_t c, const auto& ranges) {
  for (const Range& r : ranges) {
    if (c >= r.lo && c <= r.hi) return true;
  }
  return false;
}

bool needs_escape(char32_t c) {
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return true;
  if ((c & 0xFFFE) == 0xFFFE) return true;  // noncharacters U+xxFFFE, U+xxFFFF
  if (c >= 0xF0000) return true;            // supplementary private use planes
  return in(c, kCombining) || in(c, kNonPrintable);
}

// Decodes one UTF-8 sequence starting at text[i]; advances i. Invalid input
// yields U+FFFD and consumes one byte.
char32_t decode(std::string_view text, std::size_t& i) {
  auto byte = [&](std::size_t k) { return static_cast<std::uint8_t>(text[k]); };
  const std::uint8_t b0 = byte(i);
  int len = 0;
  char32_t c = 0;
  if (b0 < 0x80) {
    ++i;
    return b0;
  } else if ((b0 & 0xE0) == 0xC0) {
    len = 2;
    c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3;
    c = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4;
    c = b0 & 0x07;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + static_cast<std::size_t>(len) > text.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < len; ++k) {
    const std::uint8_t b = byte(i + static_cast<std::size_t>(k));
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (b & 0x3F);
  }
  i += static_cast<std::size_t>(len);
  return c;
}

void append_hex_escape(std::string& out, char32_t c) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u{";
  bool started = false;
  for (int shift = 20; shift >= 0; shift -= 4) {
    const unsigned digit = (static_cast<unsigned>(c) >> shift) & 0xF;
    if (digit != 0 || started || shift == 0) {
      out += kHex[digit];
      started = true;
    }
  }
  out += '}';
}

}  // namespace

std::string quoted_form(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t start = i;
    const char32_t c = decode(text, i);
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      case 0: out += "\\0"; continue;
      default: break;
    }
    if (needs_escape(c)) {
      append_hex_escape(out, c);
    } else if (c == 0xFFFD && i - start == 1 && static_cast<unsigned char>(text[start]) >= 0x80) {
      append_hex_escape(out, c);  // an invalid byte, not a real U+FFFD
    } else {
      out.append(text.substr(start, i - start));
    }
  }
  out += '"';
  return out;
}

}  // namespace vornix
