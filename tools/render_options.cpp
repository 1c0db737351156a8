// Strict decimal parsing for the renderer's options, with messages that name the bad value.
#include "tools/render_options.hpp"

#include <charconv>

namespace walkers::render {
namespace {

// Plain decimal digits only (no sign, spaces or base prefix) that fit in 64 bits and stay <= max.
bool parseDecimal(std::string_view text, std::uint64_t max, std::uint64_t& value) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() && value <= max;
}

// "bad --<option> \"<text>\": <expected>", built by appending (GCC 12 misreports chained +).
std::string badValue(const char* option, std::string_view text, const char* expected) {
  std::string message = "bad --";
  message.append(option).append(" \"").append(text).append("\": ").append(expected);
  return message;
}

}  // namespace

Parsed<Size> parseSize(std::string_view text) {
  const auto cross = text.find('x');
  std::uint64_t width = 0;
  std::uint64_t height = 0;
  if (cross == std::string_view::npos || !parseDecimal(text.substr(0, cross), kMaxSide, width) ||
      !parseDecimal(text.substr(cross + 1), kMaxSide, height) || width == 0 || height == 0) {
    return badValue("size", text, "expected WxH with each side 1..16384, such as 510x370");
  }
  return Size{static_cast<int>(width), static_cast<int>(height)};
}

Parsed<std::uint64_t> parseTicks(std::string_view text) {
  std::uint64_t ticks = 0;
  if (!parseDecimal(text, kMaxTicks, ticks)) {
    return badValue("ticks", text, "expected a whole number 0..1000000000000");
  }
  return ticks;
}

Parsed<std::uint64_t> parseSeed(std::string_view text) {
  std::uint64_t seed = 0;
  if (!parseDecimal(text, UINT64_MAX, seed)) {
    return badValue("seed", text, "expected a decimal number 0..18446744073709551615");
  }
  return seed;
}

}  // namespace walkers::render
