// Text helpers shared by the engine's messages and the binding's reprs.
#pragma once

#include <string>
#include <string_view>

namespace vornix {

// The quoted form of a UTF-8 string: the text between double quotes, with a
// backslash before '"' and '\', the escapes \t \r \n \0, and \u{h} (lower-case
// hex, no leading zeros) for every other control character, non-printable
// character or combining mark. Everything that crosses the Python boundary is
// valid UTF-8; a stray invalid byte is written as \u{fffd}.
std::string quoted_form(std::string_view text);

}  // namespace vornix
