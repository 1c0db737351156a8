// Conversion of canvas colours into the pixels of a TrueColor X visual of 15 to 32 bits.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdint>

#include "engine/canvas.hpp"

namespace walkers {

// The byte order an image's 32-bit pixels have when they are this machine's own words.
inline constexpr int kNativeByteOrder =
    std::endian::native == std::endian::little ? LSBFirst : MSBFirst;

// How one visual lays out red, green and blue in a pixel, worked out once from its masks.
class PixelLayout {
 public:
  PixelLayout() = default;
  // depth is the visual's depth: bits of a 32-bit pixel outside the three masks are alpha there
  // and are set, so that a compositor shows the picture opaque.
  PixelLayout(unsigned long redMask, unsigned long greenMask, unsigned long blueMask, int depth)
      : red_(channel(redMask)), green_(channel(greenMask)), blue_(channel(blueMask)) {
    const std::uint64_t depthBits = depth >= 32 ? 0xffffffffULL : (1ULL << depth) - 1;
    opaque_ = static_cast<std::uint32_t>(
        depthBits & ~static_cast<std::uint64_t>(redMask | greenMask | blueMask));
    eightBit_ = red_.bits == 8 && green_.bits == 8 && blue_.bits == 8;
  }

  // The pixel for a colour value (red + 256 green + 65536 blue).
  std::uint32_t pixel(std::uint32_t colour) const {
    if (eightBit_) return eightBitPixel(colour, red_.shift, green_.shift, blue_.shift, opaque_);
    const Rgb c = toRgb(colour);
    return red_.place(c.red) | green_.place(c.green) | blue_.place(c.blue) | opaque_;
  }

  std::uint32_t black() const { return opaque_; }

  // Whether a pixel of this layout is the kRedHigh value of its colour, bit for bit: 8 bits each
  // of red, green and blue from the top of the low 24 bits, and no alpha bits to set.
  bool isRedHighValue() const {
    return eightBit_ && red_.shift == 16 && green_.shift == 8 && blue_.shift == 0 && opaque_ == 0;
  }

  // Writes colours[0..count) as pixels (x, y)..(x + count - 1, y) of a ZPixmap image of this
  // layout. Whole 32-bit pixels in the machine's own byte order are stored directly; any other
  // format goes through the image's own pixel writer.
  void convertRow(const std::uint32_t* colours, int count, XImage& image, int x, int y) const {
    if (image.bits_per_pixel == 32 && image.byte_order == kNativeByteOrder) {
      auto* out = reinterpret_cast<std::uint32_t*>(image.data + y * image.bytes_per_line) + x;
      if (eightBit_) {
        // Shifts held in locals: the stores cannot change them, so the loop vectorises.
        const int red = red_.shift;
        const int green = green_.shift;
        const int blue = blue_.shift;
        const std::uint32_t opaque = opaque_;
        if (red == 16 && green == 8 && blue == 0) {  // nearly every screen: red and blue swap
          for (int i = 0; i < count; ++i) {
            const Rgb c = toRgb(colours[i]);
            out[i] = std::uint32_t{c.red} << 16 | std::uint32_t{c.green} << 8 | c.blue | opaque;
          }
          return;
        }
        for (int i = 0; i < count; ++i)
          out[i] = eightBitPixel(colours[i], red, green, blue, opaque);
      } else {
        for (int i = 0; i < count; ++i) out[i] = pixel(colours[i]);
      }
      return;
    }
    for (int i = 0; i < count; ++i) XPutPixel(&image, x + i, y, pixel(colours[i]));
  }

 private:
  struct Channel {
    int shift = 0;
    int bits = 0;
    // An 8-bit component scaled to this channel's width and moved into place.
    std::uint32_t place(std::uint32_t component) const {
      if (bits == 0) return 0;
      const std::uint32_t top = (1U << bits) - 1;
      return ((component * top + 127) / 255) << shift;
    }
  };

  static Channel channel(unsigned long mask) {
    const auto bits = static_cast<std::uint32_t>(mask);
    if (bits == 0) return {};
    return {std::countr_zero(bits), std::popcount(bits)};
  }

  static std::uint32_t eightBitPixel(std::uint32_t colour, int red, int green, int blue,
                                     std::uint32_t opaque) {
    const Rgb c = toRgb(colour);
    return std::uint32_t{c.red} << red | std::uint32_t{c.green} << green |
           std::uint32_t{c.blue} << blue | opaque;
  }

  Channel red_;
  Channel green_;
  Channel blue_;
  std::uint32_t opaque_ = 0;
  bool eightBit_ = false;
};

}  // namespace walkers
