// Checking the headless renderer's option values: canvas size, tick count, seed and frame timing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

namespace walkers::render {

inline constexpr int kMaxSide = 16384;
inline constexpr std::uint64_t kMaxTicks = 1'000'000'000'000ULL;
// How long an animation frame may be shown, in ms: browsers slow down shorter frames.
inline constexpr int kMinFrameMs = 20;
inline constexpr int kMaxFrameMs = 60'000;

struct Size {
  int width;
  int height;
};

// Each parser gives the value, or a one-line reason naming the bad text.
template <class T>
using Parsed = std::variant<T, std::string>;

Parsed<Size> parseSize(std::string_view text);            // "WxH", each side 1..16384
Parsed<std::uint64_t> parseTicks(std::string_view text);  // decimal 0..10^12
Parsed<std::uint64_t> parseSeed(std::string_view text);   // decimal 0..2^64-1

// The time-lapse outputs' options.
Parsed<std::uint64_t> parseEvery(std::string_view text);  // decimal 1..10^12
Parsed<int> parseFrameMs(std::string_view text);          // decimal 20..60000
Parsed<int> parseQuality(std::string_view text);          // decimal 0..100

}  // namespace walkers::render
