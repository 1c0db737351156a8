// Clearing, resizing and change tracking of the drawing surface.
#include "engine/canvas.hpp"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace walkers {
namespace {

[[noreturn]] void outOfMemory(int width, int height) {
  const double bytes = static_cast<double>(width) * static_cast<double>(height) * 4;
  const bool large = bytes >= (1 << 30);
  char message[96];
  std::snprintf(message, sizeof message, "not enough memory for a %dx%d canvas (%.1f %s)", width,
                height, bytes / (large ? 1 << 30 : 1 << 20), large ? "GiB" : "MiB");
  throw OutOfMemoryError(message);
}

}  // namespace

void Canvas::Cls() {
  pixels_.clear();
  std::fill(paintedTiles_.begin(), paintedTiles_.end(), std::uint8_t{0});
  std::fill(changedTiles_.begin(), changedTiles_.end(), TileMarks{0});
  markChanged();
}

void Canvas::resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  notePaint();
  if (!growStore(width, height)) {
    outOfMemory(std::min(width, maxStoredSide_), std::min(height, maxStoredSide_));
  }
  setArea(width, height);
}

std::optional<std::string> Canvas::resizeKeepingStore(int width, int height) {
  try {
    resize(width, height);
    return std::nullopt;
  } catch (const OutOfMemoryError& error) {  // the marks were noted, and the store is as it was
    setArea(std::max(width, 0), std::max(height, 0));
    return error.what();
  }
}

bool Canvas::growStore(int width, int height) {
  const int columns = std::max(storedColumns_, std::min(width, maxStoredSide_));
  const int rows = std::max(storedRows_, std::min(height, maxStoredSide_));
  if (columns == storedColumns_ && rows == storedRows_) return true;
  // A larger store: only the tiles that may hold paint move over. The rest of it reads as zero
  // already, and its pages stay untouched (a store grown after Cls costs nothing more).
  PixelStore next;
  try {
    next = PixelStore(static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows), memory_);
  } catch (const std::bad_alloc&) {
    return false;
  }
  copyPaintedTiles(next, columns);
  std::vector<std::uint8_t> painted(static_cast<std::size_t>(tilesFor(columns)) *
                                    static_cast<std::size_t>(tilesFor(rows)));
  const auto oldTileColumns = static_cast<std::size_t>(tilesFor(storedColumns_));
  for (std::size_t band = 0; oldTileColumns != 0 && band < paintedTiles_.size() / oldTileColumns;
       ++band) {
    std::copy_n(paintedTiles_.begin() + static_cast<std::ptrdiff_t>(band * oldTileColumns),
                oldTileColumns,
                painted.begin() + static_cast<std::ptrdiff_t>(band * tilesFor(columns)));
  }
  pixels_ = std::move(next);
  paintedTiles_ = std::move(painted);
  storedColumns_ = columns;
  storedRows_ = rows;
  return true;
}

void Canvas::copyPaintedTiles(PixelStore& to, int columns) const {
  const int tileColumns = tilesFor(storedColumns_);
  for (int band = 0; band < tilesFor(storedRows_); ++band) {
    const std::uint8_t* painted =
        paintedTiles_.data() + static_cast<std::ptrdiff_t>(band) * tileColumns;
    for (int first = 0; first < tileColumns;) {
      if (!painted[first]) {
        ++first;
        continue;
      }
      int end = first;
      while (end < tileColumns && painted[end]) ++end;
      const int left = first * kTileSide;
      const auto count = static_cast<std::size_t>(std::min(end * kTileSide, storedColumns_) - left);
      for (int y = band * kTileSide; y < std::min((band + 1) * kTileSide, storedRows_); ++y) {
        std::memcpy(to.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(columns) +
                        static_cast<std::size_t>(left),
                    row(y) + left, count * sizeof(std::uint32_t));
      }
      first = end;
    }
  }
}

void Canvas::notePaint() {
  const int columns = view_.tileColumns();
  const auto storeColumns = static_cast<std::size_t>(tilesFor(storedColumns_));
  for (std::size_t i = 0; columns != 0 && i < changedTiles_.size(); ++i) {
    if (changedTiles_[i]) {
      const auto column = i % static_cast<std::size_t>(columns);
      const auto band = i / static_cast<std::size_t>(columns);
      paintedTiles_[band * storeColumns + column] = 1;
    }
  }
}

void Canvas::keepPixelsIn(PixelMemory* memory) {
  const PixelOrder order = memory ? memory->order() : PixelOrder::kRedLow;
  PixelStore next;
  try {
    next = PixelStore(pixels_.size(), memory, true);
  } catch (const std::bad_alloc&) {
    outOfMemory(storedColumns_, storedRows_);
  }
  if (next.size() != pixels_.size()) return;
  // The new store reads as zero already: only painted pixels are written, so that the pages of a
  // store never painted stay untouched.
  const std::uint32_t* from = pixels_.data();
  std::uint32_t* to = next.data();
  for (std::size_t i = 0; i < pixels_.size(); ++i) {
    if (from[i] != 0) to[i] = order == order_ ? from[i] : swapRedBlue(from[i]);
  }
  pixels_ = std::move(next);
  memory_ = memory;
  order_ = order;
  rebindView();
}

void Canvas::setArea(int width, int height) {
  width_ = width;
  height_ = height;
  changedTiles_.assign(static_cast<std::size_t>(tilesFor(storedWidth())) *
                           static_cast<std::size_t>(tilesFor(storedHeight())),
                       TileMarks{0});
  allChanged_ = true;
  rebindView();
}

Canvas& Canvas::operator=(const Canvas& other) {
  if (this == &other) return *this;
  PixelStore copy(other.pixels_.size());
  if (copy.size() != 0) {
    std::memcpy(copy.data(), other.pixels_.data(), copy.size() * sizeof(std::uint32_t));
  }
  pixels_ = std::move(copy);
  width_ = other.width_;
  height_ = other.height_;
  maxStoredSide_ = other.maxStoredSide_;
  memory_ = nullptr;  // a copy keeps its pixels in the canvas's own memory, in the same order
  order_ = other.order_;
  storedColumns_ = other.storedColumns_;
  storedRows_ = other.storedRows_;
  changedTiles_ = other.changedTiles_;
  allChanged_ = other.allChanged_;
  paintedTiles_ = other.paintedTiles_;
  rebindView();
  return *this;
}

void Canvas::markChanged() { allChanged_ = true; }

std::vector<Rect> Canvas::takeChanged() {
  std::vector<Rect> changed;
  const int columns = view_.tileColumns();
  const bool all = std::exchange(allChanged_, false);
  if (columns == 0) return changed;
  const int rows = static_cast<int>(changedTiles_.size()) / columns;
  const int right = storedWidth();
  const int bottom = storedHeight();
  const auto storeColumns = static_cast<std::ptrdiff_t>(tilesFor(storedColumns_));
  for (int row = 0; row < rows; ++row) {
    TileMarks* tiles = changedTiles_.data() + static_cast<std::ptrdiff_t>(row) * columns;
    std::uint8_t* painted = paintedTiles_.data() + row * storeColumns;
    if (all) {  // the whole row of tiles, as if every one were marked whole
      for (int column = 0; column < columns; ++column) {
        painted[column] |= static_cast<std::uint8_t>(tiles[column] != 0);
        tiles[column] = 0;
      }
      changed.push_back({0, row * kTileSide, right, std::min((row + 1) * kTileSide, bottom)});
      continue;
    }
    for (int column = 0; column < columns;) {
      if (!tiles[column]) {
        // Most tiles are clean: look at eight at a time, which the compiler does in one go.
        constexpr int kBlock = 8;
        while (column + kBlock <= columns) {
          TileMarks any = 0;
          for (int k = 0; k < kBlock; ++k) any |= tiles[column + k];
          if (any) break;
          column += kBlock;
        }
        while (column < columns && !tiles[column]) ++column;
        continue;
      }
      // A run of changed tiles: from the first painted column of its first tile to the last
      // painted column of its last, over every row painted in any of them.
      const int first = column;
      const TileMarks firstMarks = tiles[first];
      TileMarks lastMarks = 0;
      TileMarks rowsPainted = 0;
      while (column < columns && tiles[column]) {
        lastMarks = tiles[column];
        rowsPainted |= lastMarks;
        painted[column] = 1;
        tiles[column++] = 0;
      }
      const auto rowBits = static_cast<std::uint16_t>(rowsPainted);
      const auto firstColumns = static_cast<std::uint16_t>(firstMarks >> kTileSide);
      const auto lastColumns = static_cast<std::uint16_t>(lastMarks >> kTileSide);
      const int top = row * kTileSide + std::countr_zero(rowBits);
      changed.push_back({first * kTileSide + std::countr_zero(firstColumns), top,
                         std::min(column * kTileSide - std::countl_zero(lastColumns), right),
                         std::min((row + 1) * kTileSide - std::countl_zero(rowBits), bottom)});
    }
  }
  return changed;
}

}  // namespace walkers
