// Clearing, resizing and change tracking of the pixel surface.
#include "engine/canvas.hpp"

#include <algorithm>
#include <cstdio>
#include <new>

namespace walkers {

void Canvas::Cls() {
  std::fill(pixels_.begin(), pixels_.end(), static_cast<std::uint32_t>(kBlack));
  markChanged();
}

namespace {

[[noreturn]] void outOfMemory(int width, int height) {
  const double gib = static_cast<double>(width) * static_cast<double>(height) * 4 / (1 << 30);
  char message[96];
  std::snprintf(message, sizeof message, "not enough memory for a %dx%d canvas (%.1f GiB)", width,
                height, gib);
  throw OutOfMemoryError(message);
}

}  // namespace

void Canvas::resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  std::vector<std::uint32_t> next;
  try {
    next.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                static_cast<std::uint32_t>(kBlack));
  } catch (const std::bad_alloc&) {
    outOfMemory(width, height);
  }
  const auto row = [](std::vector<std::uint32_t>& pixels, int rowWidth, int y) {
    return pixels.begin() + static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(rowWidth);
  };
  const int keepWidth = std::min(width, width_);
  for (int y = 0; y < std::min(height, height_); ++y) {
    std::copy_n(row(pixels_, width_, y), keepWidth, row(next, width, y));
  }
  pixels_ = std::move(next);
  width_ = width;
  height_ = height;
  storedColumns_ = width;
  storedRows_ = height;
  changedTiles_.assign(
      static_cast<std::size_t>(tilesFor(width)) * static_cast<std::size_t>(tilesFor(height)), 1);
  rebindView();
}

Canvas& Canvas::operator=(const Canvas& other) {
  if (this == &other) return *this;
  width_ = other.width_;
  height_ = other.height_;
  storedColumns_ = other.storedColumns_;
  storedRows_ = other.storedRows_;
  pixels_ = other.pixels_;
  changedTiles_ = other.changedTiles_;
  rebindView();
  return *this;
}

void Canvas::markChanged() { std::fill(changedTiles_.begin(), changedTiles_.end(), 1); }

std::vector<Rect> Canvas::takeChanged() {
  std::vector<Rect> changed;
  const int columns = view_.tileColumns();
  if (columns == 0) return changed;
  const int rows = static_cast<int>(changedTiles_.size()) / columns;
  for (int row = 0; row < rows; ++row) {
    std::uint8_t* tiles = changedTiles_.data() + static_cast<std::ptrdiff_t>(row) * columns;
    for (int column = 0; column < columns;) {
      if (!tiles[column]) {
        ++column;
        continue;
      }
      const int first = column;
      while (column < columns && tiles[column]) tiles[column++] = 0;
      changed.push_back({first * kTileSide, row * kTileSide, std::min(column * kTileSide, width_),
                         std::min((row + 1) * kTileSide, height_)});
    }
  }
  return changed;
}

}  // namespace walkers
