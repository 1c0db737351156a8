// Colour values as the canvas holds them, their components, and the order pixels are stored in.
#pragma once

#include <cstdint>

namespace walkers {

// A colour value: red + 256 * green + 65536 * blue, each component 0..255. Black is 0.
using Colour = std::int32_t;

inline constexpr Colour kBlack = 0;
inline constexpr Colour kOutside = -1;  // what Point answers off the drawing area

constexpr Colour rgb(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }

// A colour's components, three bytes in that order (as 8-bit RGB pictures hold them).
struct Rgb {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
};
static_assert(sizeof(Rgb) == 3);

// The components of a colour value: the one place that takes one apart.
constexpr Rgb toRgb(std::uint32_t colour) {
  return {static_cast<std::uint8_t>(colour & 0xff), static_cast<std::uint8_t>(colour >> 8 & 0xff),
          static_cast<std::uint8_t>(colour >> 16 & 0xff)};
}

// How a canvas stores a colour. kRedLow stores the colour value itself (red + 256 green + 65536
// blue); kRedHigh swaps red and blue (blue + 256 green + 65536 red), the pixel of most 24-bit
// screens, so that a host can show the stored pixels without converting them. Point answers the
// colour value either way; what the rows hold is in the canvas's order.
enum class PixelOrder { kRedLow, kRedHigh };

// A colour value with red and blue swapped: kRedLow to kRedHigh and back.
constexpr std::uint32_t swapRedBlue(std::uint32_t value) {
  return (value & 0xff) << 16 | (value & 0xff00) | (value >> 16 & 0xff);
}

}  // namespace walkers
