// The marks PSet leaves per tile of the canvas, and Point and PSet over pixels and their marks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/colour.hpp"

namespace walkers {

// A rectangle of pixels, right and bottom exclusive.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  bool operator==(const Rect&) const = default;
};

// Changes are tracked per square tile of this many pixels a side, so that presenting a frame
// converts and sends only the parts of the canvas that were painted since the last one. Each tile
// keeps which of its rows and which of its columns were painted, so a walker's short stroke
// through a tile is reported as the stroke, not as the whole tile.
inline constexpr int kTileShift = 4;
inline constexpr int kTileSide = 1 << kTileShift;
static_assert(kTileSide == 16, "a tile's marks are 16 row bits and 16 column bits");
using TileMarks = std::uint32_t;  // bit r: row r painted; bit 16 + c: column c painted

// The mark PSet leaves on its tile for pixel (x, y).
constexpr TileMarks paintMark(int x, int y) {
  const TileMarks row = TileMarks{1} << (y & (kTileSide - 1));
  const TileMarks column = TileMarks{1} << (kTileSide + (x & (kTileSide - 1)));
  return row | column;
}

// How many tiles cover a run of this many pixels.
constexpr int tilesFor(int pixels) { return (pixels + kTileSide - 1) >> kTileShift; }

// Point and PSet over a buffer of fixed size. Copied into a local, its size and pointers stay in
// registers through a loop of many calls; valid until the canvas it came from is resized.
class PixelView {
 public:
  PixelView() = default;
  PixelView(std::uint32_t* pixels, TileMarks* changedTiles, int width, int height, int stride,
            PixelOrder order)
      : pixels_(pixels),
        changedTiles_(changedTiles),
        width_(width),
        height_(height),
        stride_(stride),
        tileColumns_(tilesFor(width)),
        redHigh_(order == PixelOrder::kRedHigh) {}

  Colour Point(int x, int y) const {
    if (!inside(x, y)) return kOutside;
    const std::uint32_t stored = pixels_[index(x, y)];
    return static_cast<Colour>(redHigh_ ? swapRedBlue(stored) : stored);
  }

  void PSet(int x, int y, Colour colour) const {
    if (!inside(x, y)) return;
    const auto value = static_cast<std::uint32_t>(colour);
    pixels_[index(x, y)] = redHigh_ ? swapRedBlue(value) : value;
    changedTiles_[tile(x, y)] |= paintMark(x, y);
  }

  int tileColumns() const { return tileColumns_; }

 private:
  bool inside(int x, int y) const {
    return static_cast<unsigned>(x) < static_cast<unsigned>(width_) &&
           static_cast<unsigned>(y) < static_cast<unsigned>(height_);
  }
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(stride_) +
           static_cast<std::size_t>(x);
  }
  std::size_t tile(int x, int y) const {
    return static_cast<std::size_t>(y >> kTileShift) * static_cast<std::size_t>(tileColumns_) +
           static_cast<std::size_t>(x >> kTileShift);
  }

  std::uint32_t* pixels_ = nullptr;
  TileMarks* changedTiles_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
  int tileColumns_ = 0;
  bool redHigh_ = false;
};

}  // namespace walkers
