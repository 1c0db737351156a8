// Clearing and resizing the pixel surface.
#include "host/canvas.hpp"

#include <algorithm>

namespace walkers {

void Canvas::Cls() {
  std::fill(pixels_.begin(), pixels_.end(), static_cast<std::uint32_t>(kBlack));
  changed_ = true;
}

void Canvas::resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == width_ && height == height_) return;
  std::vector<std::uint32_t> next(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                                  static_cast<std::uint32_t>(kBlack));
  const auto oldRow = [this](int y) {
    return pixels_.begin() + static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(width_);
  };
  const int keepWidth = std::min(width, width_);
  const int keepHeight = std::min(height, height_);
  for (int y = 0; y < keepHeight; ++y) {
    const auto from = oldRow(y);
    std::copy(from, from + keepWidth,
              next.begin() + static_cast<std::ptrdiff_t>(y) * static_cast<std::ptrdiff_t>(width));
  }
  pixels_ = std::move(next);
  width_ = width;
  height_ = height;
  view_ = PixelView(pixels_.data(), width_, height_);
  changed_ = true;
}

Canvas& Canvas::operator=(const Canvas& other) {
  if (this == &other) return *this;
  width_ = other.width_;
  height_ = other.height_;
  pixels_ = other.pixels_;
  view_ = PixelView(pixels_.data(), width_, height_);
  changed_ = other.changed_;
  return *this;
}

}  // namespace walkers
