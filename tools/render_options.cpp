// Checking the renderer's option values, with messages that name the bad value.
#include "tools/render_options.hpp"

#include "common/option_text.hpp"

namespace walkers::render {

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

Parsed<std::uint64_t> parseEvery(std::string_view text) {
  std::uint64_t every = 0;
  if (!parseDecimal(text, kMaxTicks, every) || every == 0) {
    return badValue("every", text, "expected a whole number of ticks 1..1000000000000");
  }
  return every;
}

Parsed<int> parseFrameMs(std::string_view text) {
  std::uint64_t ms = 0;
  if (!parseDecimal(text, kMaxFrameMs, ms) || ms < kMinFrameMs) {
    return badValue("frame-ms", text,
                    "expected a whole number of milliseconds 20..60000 (browsers slow down "
                    "shorter frames)");
  }
  return static_cast<int>(ms);
}

Parsed<int> parseQuality(std::string_view text) {
  std::uint64_t quality = 0;
  if (!parseDecimal(text, 100, quality)) {
    return badValue("quality", text, "expected a whole number 0..100");
  }
  return static_cast<int>(quality);
}

}  // namespace walkers::render
