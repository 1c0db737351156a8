// Option values as text, for both programs: one strict decimal parser, and bad values echoed
// safely in one-line messages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace walkers {

// Plain decimal digits only (no sign, spaces or base prefix) that fit in 64 bits and stay <= max.
bool parseDecimal(std::string_view text, std::uint64_t max, std::uint64_t& value);

// A window as people and programs write it: hex with 0x (or 0X), or decimal, within 1..max (0 is
// no window). No sign, spaces or anything after the digits.
bool parseWindowNumber(std::string_view text, std::uint64_t max, std::uint64_t& value);

// `text` made safe to show in a one-line message: control characters (C0, DEL, C1, line and
// paragraph separators, direction overrides) become escapes such as \n, \x1b or \u202e, bytes
// that are not UTF-8 become \xNN, and after `limit` characters the rest is cut and "…" follows.
inline constexpr std::size_t kEchoLimit = 80;
std::string escapeForMessage(std::string_view text, std::size_t limit = std::string_view::npos);

// "bad --<option> \"<text>\": <expected>", the text escaped and cut at kEchoLimit.
std::string badValue(std::string_view option, std::string_view text, std::string_view expected);

}  // namespace walkers
