// The pixel surface the walkers paint on and read back: ScaleWidth/ScaleHeight/Point/PSet/Cls.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace walkers {

// A colour value: red + 256 * green + 65536 * blue, each component 0..255. Black is 0.
using Colour = std::int32_t;

inline constexpr Colour kBlack = 0;
inline constexpr Colour kOutside = -1;  // what Point answers off the drawing area

constexpr Colour rgb(int red, int green, int blue) { return red + 256 * green + 65536 * blue; }

// Point and PSet over a buffer of fixed size. Copied into a local, its size and buffer pointer
// stay in registers through a loop of many calls; valid until the canvas it came from is resized.
class PixelView {
 public:
  PixelView() = default;
  PixelView(std::uint32_t* pixels, int width, int height)
      : pixels_(pixels), width_(width), height_(height) {}

  Colour Point(int x, int y) const {
    return inside(x, y) ? static_cast<Colour>(pixels_[index(x, y)]) : kOutside;
  }

  // Returns whether the pixel lay inside the area (and so was set).
  bool PSet(int x, int y, Colour colour) const {
    if (!inside(x, y)) return false;
    pixels_[index(x, y)] = static_cast<std::uint32_t>(colour);
    return true;
  }

 private:
  bool inside(int x, int y) const {
    return static_cast<unsigned>(x) < static_cast<unsigned>(width_) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(height_);
  }
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
           static_cast<std::size_t>(x);
  }

  std::uint32_t* pixels_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// The drawing area: width x height colour values in one contiguous row-major buffer, black when
// cleared. Reads and writes outside the area are not errors: Point answers -1, PSet does nothing.
class Canvas {
 public:
  Canvas() = default;
  Canvas(int width, int height) { resize(width, height); }
  Canvas(const Canvas& other) { *this = other; }
  Canvas& operator=(const Canvas& other);
  Canvas(Canvas&&) noexcept = default;  // the buffer, and so the view, moves along
  Canvas& operator=(Canvas&&) noexcept = default;

  int width() const { return width_; }
  int height() const { return height_; }
  float ScaleWidth() const { return static_cast<float>(width_); }
  float ScaleHeight() const { return static_cast<float>(height_); }

  Colour Point(int x, int y) const { return view_.Point(x, y); }
  void PSet(int x, int y, Colour colour) {
    if (view_.PSet(x, y, colour)) changed_ = true;
  }

  // Sets every pixel to the background colour.
  void Cls();

  // Changes the size; pixels where the old and new areas overlap keep their colour, the rest are
  // black. Negative sizes count as 0.
  void resize(int width, int height);

  // Point and PSet for a tight loop. Writes through the view are not noticed by takeChanged();
  // the writer calls markChanged() once it is done.
  PixelView view() { return view_; }
  void markChanged() { changed_ = true; }

  // The pixels, row after row, for presentation and for writing images.
  std::span<const std::uint32_t> pixels() const { return pixels_; }

  // True when a pixel may have changed since the last call; clears the mark.
  bool takeChanged() {
    const bool was = changed_;
    changed_ = false;
    return was;
  }

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint32_t> pixels_;
  PixelView view_;
  bool changed_ = true;
};

}  // namespace walkers
