// Checking the headless renderer's option values: canvas size, tick count and seed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace walkers::render {

inline constexpr int kMaxSide = 16384;
inline constexpr std::uint64_t kMaxTicks = 1'000'000'000'000ULL;

struct Size {
  int width;
  int height;
};

// Each parser gives the value, or a one-line reason naming the bad text.
template <class T>
using Parsed = std::variant<T, std::string>;

// `text` made safe to show in a one-line message: control characters (C0, DEL, C1, line and
// paragraph separators, direction overrides) become escapes such as \n, \x1b or \u202e, bytes
// that are not UTF-8 become \xNN, and after `limit` characters the rest is cut and "…" follows.
inline constexpr std::size_t kEchoLimit = 80;
std::string escapeForMessage(std::string_view text, std::size_t limit = std::string_view::npos);

Parsed<Size> parseSize(std::string_view text);            // "WxH", each side 1..16384
Parsed<std::uint64_t> parseTicks(std::string_view text);  // decimal 0..10^12
Parsed<std::uint64_t> parseSeed(std::string_view text);   // decimal 0..2^64-1

}  // namespace walkers::render
