// The web page's host: queued events, and each frame plan carried out on an RGBA picture.
#include "host/web/web_host.hpp"

#include <algorithm>
#include <cstddef>

namespace walkers {
namespace {

// A canvas value is red + 256 green + 65536 blue: in WebAssembly's little-endian memory the bytes
// red, green, blue, 0. With the top byte set they are an opaque RGBA pixel.
constexpr std::uint32_t kOpaque = 0xff000000U;

}  // namespace

std::optional<HostEvent> WebHost::nextEvent() {
  if (events_.empty()) return std::nullopt;
  const HostEvent event = events_.front();
  events_.pop_front();
  return event;
}

void WebHost::present(const Canvas& canvas, const FramePlan& plan) {
  const bool reshaped = canvas.width() != width_ || canvas.height() != height_;
  if (reshaped) reshape(canvas.width(), canvas.height());
  for (const Rect& part : plan.copy) {
    for (int y = part.top; y < part.bottom; ++y) {
      const std::uint32_t* from = canvas.row(y);
      std::uint32_t* to = picture_.data() + static_cast<std::ptrdiff_t>(y) * width_;
      for (int x = part.left; x < part.right; ++x) to[x] = from[x] | kOpaque;
    }
  }
  for (const Rect& part : plan.black) fill(part);
  if (reshaped) return;  // all of it is listed already
  for (const auto* parts : {&plan.copy, &plan.black}) {
    for (const Rect& part : *parts) {
      changed_.insert(changed_.end(), {part.left, part.top, part.right, part.bottom});
    }
  }
}

void WebHost::fill(const Rect& area) {
  for (int y = area.top; y < area.bottom; ++y) {
    std::uint32_t* row = picture_.data() + static_cast<std::ptrdiff_t>(y) * width_;
    std::fill(row + area.left, row + area.right, kOpaque);
  }
}

// A new size: all black, and all of it to be put on the page.
void WebHost::reshape(int width, int height) {
  width_ = width;
  height_ = height;
  picture_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kOpaque);
  changed_.assign({0, 0, width, height});
}

}  // namespace walkers
