// The pixel surface the walkers paint on and read back: ScaleWidth/ScaleHeight/Point/PSet/Cls.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "engine/change_tiles.hpp"
#include "engine/colour.hpp"
#include "engine/pixel_memory.hpp"

namespace walkers {

// The longest side of the canvas that has pixels behind it (the largest displays sold are 7680
// wide); a larger window shows black beyond it.
inline constexpr int kMaxStoredSide = 8192;

// The pixels for a canvas could not be allocated; the message says how many, for instance "not
// enough memory for a 16384x16384 canvas (1.0 GiB)".
class OutOfMemoryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The drawing area: width x height colour values, black when cleared. Reads and writes outside
// the area are not errors: Point answers -1, PSet does nothing.
//
// The pixels live in one row-major store at least as large as the biggest area seen since the
// canvas was made, up to maxStoredSide a side. Shrinking the area hides pixels without losing
// them: they show and read back again when it grows, until Cls clears them with the rest. An area
// wider or taller than the store is black beyond it, and Point answers -1 there.
class Canvas {
 public:
  Canvas() = default;
  explicit Canvas(int width, int height, int maxStoredSide = kMaxStoredSide)
      : maxStoredSide_(maxStoredSide) {
    resize(width, height);
  }
  Canvas(const Canvas& other) { *this = other; }
  Canvas& operator=(const Canvas& other);
  Canvas(Canvas&&) noexcept = default;  // the buffers, and so the view, move along
  Canvas& operator=(Canvas&&) noexcept = default;

  int width() const { return width_; }
  int height() const { return height_; }
  float ScaleWidth() const { return static_cast<float>(width_); }
  float ScaleHeight() const { return static_cast<float>(height_); }

  Colour Point(int x, int y) const { return view_.Point(x, y); }
  void PSet(int x, int y, Colour colour) { view_.PSet(x, y, colour); }

  // Sets every pixel to the background colour.
  void Cls();

  // Changes the size of the drawing area. Pixels keep their colour through any sequence of
  // resizes (those outside the area are hidden, not lost); pixels never painted are black.
  // Negative sizes count as 0. Throws OutOfMemoryError if a larger store cannot be had.
  void resize(int width, int height);
  // Like resize, but when a larger store cannot be had the canvas keeps the one it has: the area
  // takes the new size and is black beyond the store. Answers why then (OutOfMemoryError's words).
  std::optional<std::string> resizeKeepingStore(int width, int height);

  // Point and PSet for a tight loop, with the same effects as the canvas's own.
  PixelView view() { return view_; }

  // Moves the pixels into memory from `memory` (back to the canvas's own when null) and stores
  // them in its order from then on; a store that grows later grows there too, or in the canvas's
  // own memory, in the same order, when `memory` has none to give then. When it has none to give
  // now, nothing changes. Throws OutOfMemoryError.
  void keepPixelsIn(PixelMemory* memory);
  PixelOrder order() const { return order_; }

  // The stored part of the drawing area: columns 0..storedWidth()-1 of rows 0..storedHeight()-1.
  // A side is stored up to kMaxStoredSide pixels; the drawing area beyond that is black, and
  // Point answers -1 there.
  int storedWidth() const { return std::min(width_, storedColumns_); }
  int storedHeight() const { return std::min(height_, storedRows_); }
  // Pixel (x, y) of the stored part is row(y)[x], in order(); rows are stride() values apart.
  const std::uint32_t* row(int y) const {
    return pixels_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride());
  }
  int stride() const { return storedColumns_; }

  // Writes row y of the drawing area to out[0..width()): each stored pixel as convert(value), the
  // value in order(), and convert(kBlack) beyond the stored part.
  template <typename Pixel, typename Convert>
  void copyRow(int y, Pixel* out, Convert convert) const {
    int x = 0;
    if (y < storedHeight()) {
      const std::uint32_t* in = row(y);
      for (const int stored = storedWidth(); x < stored; ++x) out[x] = convert(in[x]);
    }
    std::fill(out + x, out + width_, convert(static_cast<std::uint32_t>(kBlack)));
  }

  // All stored pixels, rows stride() apart (including any kept beyond the drawing area).
  std::span<const std::uint32_t> pixels() const { return {pixels_.data(), pixels_.size()}; }

  // Marks the whole area as changed (for instance when the screen lost the picture).
  void markChanged();

  // Rectangles covering every pixel changed since the last call (none if nothing changed), in
  // rows of tiles from the top, one per run of neighbouring changed tiles, trimmed to the rows and
  // columns painted in it; clears the marks.
  std::vector<Rect> takeChanged();

 private:
  int width_ = 0;
  int height_ = 0;
  int maxStoredSide_ = kMaxStoredSide;
  int storedColumns_ = 0;
  int storedRows_ = 0;
  PixelMemory* memory_ = nullptr;  // where the store comes from; the canvas's own if null
  PixelOrder order_ = PixelOrder::kRedLow;
  PixelStore pixels_;                    // storedRows_ rows of storedColumns_
  std::vector<TileMarks> changedTiles_;  // over the stored part of the area; PSet's marks only
  bool allChanged_ = true;               // the whole area counts as changed, marks or not
  // Over the whole store, storedColumns_ by storedRows_ in tiles: 1 where a tile may hold paint
  // (marked since the last Cls), so that a store that grows copies those tiles alone and the
  // pages of the new one that would only hold black are never touched.
  std::vector<std::uint8_t> paintedTiles_;
  PixelView view_;  // always over pixels_ and changedTiles_; see rebindView()

  bool growStore(int width, int height);  // false if the memory cannot be had
  void setArea(int width, int height);
  void notePaint();  // records the tiles PSet marked so far in paintedTiles_
  void copyPaintedTiles(PixelStore& to, int columns) const;

  void rebindView() {
    view_ = PixelView(pixels_.data(), changedTiles_.data(), storedWidth(), storedHeight(),
                      storedColumns_, order_);
  }
};

}  // namespace walkers
