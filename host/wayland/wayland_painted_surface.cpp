// A surface showing a canvas: two shared-memory buffers, frames, and its pixels at any scale.
#include "host/wayland/wayland_painted_surface.hpp"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

#include "fractional_scale-client.h"
#include "host/core/seams.hpp"
#include "host/wayland/wayland_display.hpp"
#include "viewporter-client.h"

namespace walkers {
namespace {

// Past this many remembered rectangles the next commit damages the whole buffer. A frame of 501
// walkers changes a few hundred tiles; the frames of the second a covered surface waits before
// it rests add up to several thousand. Each is a request sent with the commit at once, 24 bytes,
// and libwayland-client drops the connection when the socket fills meanwhile: a thousand of
// them (24 KiB) leave room in a socket's buffer (about 200 KiB) for several outputs waking at
// once.
constexpr std::size_t kMaxRemembered = 1024;

PaintedSurface& painted(void* data) { return *static_cast<PaintedSurface*>(data); }

constexpr wl_callback_listener frameListener = {
    [](void* data, wl_callback*, std::uint32_t) { painted(data).onFrameDone(); },
};

constexpr wl_buffer_listener bufferListener = {
    [](void* data, wl_buffer* buffer) { painted(data).onRelease(buffer); },
};

constexpr wp_fractional_scale_v1_listener fractionalListener = {
    [](void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
      painted(data).onPreferredScale(scale);
    },
};

// The fractional scale protocol's denominator: 1.5 is 180.
constexpr int kScaleDenominator = 120;

// `length` logical pixels at `scale120`, rounded half up as the protocol asks.
int scaled(int length, int scale120) {
  const long long pixels =
      (static_cast<long long>(length) * scale120 + kScaleDenominator / 2) / kScaleDenominator;
  return static_cast<int>(std::max(1LL, pixels));
}

void rememberIn(std::vector<Rect>& list, bool& whole, const std::vector<Rect>& parts) {
  if (whole) return;
  list.insert(list.end(), parts.begin(), parts.end());
  if (list.size() > kMaxRemembered) {
    whole = true;
    list.clear();
  }
}

// Canvas colours (red in the low byte) as the XRGB8888 pixels every compositor takes.
void swapRedBlue(std::uint32_t* target, const std::uint32_t* source, int count) {
  for (int x = 0; x < count; ++x) {
    const Rgb colour = toRgb(source[x]);
    target[x] = static_cast<std::uint32_t>(colour.red) << 16 |
                static_cast<std::uint32_t>(colour.green) << 8 | colour.blue;
  }
}

}  // namespace

OutputPixels outputPixels(const WaylandOutput& output) {
  const bool turned = (output.transform & 1) != 0;  // 90 or 270 degrees, flipped or not
  return {turned ? output.height : output.width, turned ? output.width : output.height,
          output.logicalWidth, output.logicalHeight, output.scale};
}

SurfacePixels surfacePixels(int logicalWidth, int logicalHeight, const OutputPixels& output,
                            int preferred120, bool viewporter) {
  const int scale = std::max(1, output.scale);
  const SurfacePixels whole{logicalWidth * scale, logicalHeight * scale, scale, false};
  if (!viewporter) return whole;
  if (preferred120 > 0) {
    if (preferred120 % kScaleDenominator == 0) {
      const int exact = preferred120 / kScaleDenominator;
      return {logicalWidth * exact, logicalHeight * exact, exact, false};
    }
    return {scaled(logicalWidth, preferred120), scaled(logicalHeight, preferred120), 1, true};
  }
  // No exact scale was offered (sway 1.7 has none): an output whose logical size is not its mode
  // divided by the whole-number scale (within its rounding) has a fractional one, the mode over
  // the logical size, and its screen pixels are the mode's.
  if (output.modeWidth <= 0 || output.modeHeight <= 0 || output.logicalWidth <= 0 ||
      output.logicalHeight <= 0) {
    return whole;
  }
  const bool wholeScale = std::abs(output.modeWidth - output.logicalWidth * scale) < scale &&
                          std::abs(output.modeHeight - output.logicalHeight * scale) < scale;
  if (wholeScale) return whole;
  if (logicalWidth == output.logicalWidth && logicalHeight == output.logicalHeight) {
    return {output.modeWidth, output.modeHeight, 1, true};  // the whole output, as a wallpaper
  }
  const long long ratio120 =
      (static_cast<long long>(output.modeWidth) * kScaleDenominator + output.logicalWidth / 2) /
      output.logicalWidth;
  const int scale120 = static_cast<int>(std::clamp(ratio120, 1LL, 120LL * 64));
  return {scaled(logicalWidth, scale120), scaled(logicalHeight, scale120), 1, true};
}

PaintedSurface::PaintedSurface(WaylandDisplay& display, StopRequest* stop, std::int64_t maxPixels)
    : display_(display), stop_(stop), maxPixels_(maxPixels) {
  surface_ = wl_compositor_create_surface(display.compositor());
  if (display.viewporter()) viewport_ = wp_viewporter_get_viewport(display.viewporter(), surface_);
  if (display.fractionalScale()) {
    fractional_ =
        wp_fractional_scale_manager_v1_get_fractional_scale(display.fractionalScale(), surface_);
    wp_fractional_scale_v1_add_listener(fractional_, &fractionalListener, this);
  }
}

// The surface's extensions go before the surface (its role, the subclass's, went already).
PaintedSurface::~PaintedSurface() {
  if (frame_) wl_callback_destroy(frame_);
  dropBuffers();
  if (fractional_) wp_fractional_scale_v1_destroy(fractional_);
  if (viewport_) wp_viewport_destroy(viewport_);
  wl_surface_destroy(surface_);
}

void PaintedSurface::onPreferredScale(std::uint32_t scale120) {
  preferred120_ = static_cast<int>(std::min<std::uint32_t>(scale120, 120U * 64U));
  scaleChanged();
}

bool PaintedSurface::showAt(int logicalWidth, int logicalHeight, const OutputPixels& output) {
  const SurfacePixels pixels =
      surfacePixels(logicalWidth, logicalHeight, output, preferred120_, viewport_ != nullptr);
  // The same pixels, shown at a new scale, need a commit of their own.
  bool shownAnew = false;
  if (pixels.bufferScale != scale_) {
    scale_ = pixels.bufferScale;
    wl_surface_set_buffer_scale(surface_, scale_);
    shownAnew = true;
  }
  const int destinationWidth = pixels.viewport ? logicalWidth : 0;
  const int destinationHeight = pixels.viewport ? logicalHeight : 0;
  if (viewport_ && (pixels.viewport != viewportSet_ || destinationWidth != destinationWidth_ ||
                    destinationHeight != destinationHeight_)) {
    viewportSet_ = pixels.viewport;
    destinationWidth_ = destinationWidth;
    destinationHeight_ = destinationHeight;
    // -1 x -1 unsets the destination: the buffer scale alone sizes the surface.
    wp_viewport_set_destination(viewport_, pixels.viewport ? destinationWidth : -1,
                                pixels.viewport ? destinationHeight : -1);
    shownAnew = true;
  }
  if (shownAnew) events_.push_back(HostEvent::lost());
  return resizeTo(pixels.width, pixels.height) || shownAnew;
}

bool PaintedSurface::resizeTo(int width, int height) {
  const bool drawn = static_cast<std::int64_t>(width) * height <= maxPixels_;
  if (width == width_ && height == height_ && (buffers_[0].buffer || !drawn)) return false;
  width_ = width;
  height_ = height;
  // The compositor waits for a buffer of the new size: the next frame goes out at once, without
  // waiting for a callback the old picture may never get.
  if (frame_) wl_callback_destroy(frame_);
  frame_ = nullptr;
  dropBuffers();
  if (drawn) makeBuffers();
  events_.push_back({HostEvent::Kind::kResized, 0, width, height});
  events_.push_back(HostEvent::lost());
  return true;
}

void PaintedSurface::onFrameDone() {
  wl_callback_destroy(frame_);
  frame_ = nullptr;
  askAgain();
}

void PaintedSurface::onRelease(wl_buffer* buffer) {
  for (Buffer& held : buffers_) {
    if (held.buffer == buffer) held.busy = false;
  }
  askAgain();
}

// A frame that had to wait can go out now. The surface keeps what waited itself; one of those
// rectangles reported as lost has the loop present a frame even if nothing changed since.
void PaintedSurface::askAgain() {
  if (!deferred_ || frame_ || !hasFreeBuffer()) return;
  deferred_ = false;
  events_.push_back(damageWhole_ || damage_.empty() ? HostEvent::lost()
                                                    : HostEvent::lost(damage_.front()));
}

void PaintedSurface::commitBlack() {
  Buffer* buffer = freeBuffer();
  if (buffer) {
    wl_surface_attach(surface_, buffer->buffer, 0, 0);  // fresh shared memory: all zero, black
    wl_surface_damage_buffer(surface_, 0, 0, width_, height_);
    buffer->busy = true;
  }
  wl_surface_commit(surface_);
  display_.flush();
}

void PaintedSurface::makeBuffers() {
  const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  const std::size_t bytes = pixels * 4 * 2;
  tileColumns_ = tilesFor(width_);
  tileRows_ = tilesFor(height_);
  const int fd = ::memfd_create("walkers-frames", MFD_CLOEXEC);
  if (fd < 0) throw std::bad_alloc();
  if (::ftruncate(fd, static_cast<off_t>(bytes)) != 0) {
    ::close(fd);
    throw std::bad_alloc();
  }
  void* mapping = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (mapping == MAP_FAILED) {
    ::close(fd);
    throw std::bad_alloc();
  }
  mapping_ = mapping;
  mappingBytes_ = bytes;
  wl_shm_pool* pool = wl_shm_create_pool(display_.shm(), fd, static_cast<std::int32_t>(bytes));
  const auto format = display_.canvasOrder() ? WL_SHM_FORMAT_XBGR8888 : WL_SHM_FORMAT_XRGB8888;
  for (int k = 0; k < 2; ++k) {
    Buffer& buffer = buffers_[k];
    buffer.pixels = static_cast<std::uint32_t*>(mapping) + pixels * static_cast<std::size_t>(k);
    buffer.stale.assign(
        static_cast<std::size_t>(tileColumns_) * static_cast<std::size_t>(tileRows_), 1);
    buffer.buffer = wl_shm_pool_create_buffer(pool, static_cast<std::int32_t>(pixels * 4 * k),
                                              width_, height_, width_ * 4, format);
    wl_buffer_add_listener(buffer.buffer, &bufferListener, this);
  }
  wl_shm_pool_destroy(pool);
  ::close(fd);
}

void PaintedSurface::dropBuffers() {
  for (Buffer& buffer : buffers_) {
    if (buffer.buffer) wl_buffer_destroy(buffer.buffer);
    buffer = Buffer{};
  }
  if (mapping_) ::munmap(mapping_, mappingBytes_);
  mapping_ = nullptr;
  mappingBytes_ = 0;
  damage_.clear();
  damageWhole_ = true;
}

PaintedSurface::Buffer* PaintedSurface::freeBuffer() {
  for (Buffer& buffer : buffers_) {
    if (buffer.buffer && !buffer.busy) return &buffer;
  }
  return nullptr;
}

bool PaintedSurface::hasFreeBuffer() const {
  return std::any_of(std::begin(buffers_), std::end(buffers_),
                     [](const Buffer& buffer) { return buffer.buffer && !buffer.busy; });
}

void PaintedSurface::waitUntil(LoopClock::time_point deadline) {
  display_.wait(deadline, stop_ ? static_cast<int>(stop_->waitable()) : -1);
}

std::optional<HostEvent> PaintedSurface::nextEvent() {
  if (stop_ && stop_->requested()) return HostEvent{HostEvent::Kind::kEnd};
  if (events_.empty()) return std::nullopt;
  const HostEvent event = events_.front();
  events_.erase(events_.begin());
  return event;
}

void PaintedSurface::remember(const std::vector<Rect>& parts) {
  for (const Rect& part : parts) markStale(part);
  rememberIn(damage_, damageWhole_, parts);
}

void PaintedSurface::markStale(const Rect& part) {
  const int left = std::max(part.left, 0) >> kTileShift;
  const int top = std::max(part.top, 0) >> kTileShift;
  const int right = std::min(tilesFor(std::max(part.right, 0)), tileColumns_);
  const int bottom = std::min(tilesFor(std::max(part.bottom, 0)), tileRows_);
  for (Buffer& buffer : buffers_) {
    if (buffer.stale.empty()) continue;
    for (int row = top; row < bottom; ++row) {
      auto* flags = buffer.stale.data() + static_cast<std::size_t>(row) * tileColumns_;
      std::fill(flags + left, flags + std::max(left, right), std::uint8_t{1});
    }
  }
}

void PaintedSurface::present(const Canvas& canvas, const FramePlan& plan) {
  remember(plan.copy);
  remember(plan.black);
  Buffer* buffer = frame_ ? nullptr : freeBuffer();
  if (!buffer) {
    deferred_ = true;
    return;
  }
  if (!damageWhole_ && damage_.empty()) return;
  draw(*buffer, canvas);
  wl_surface_attach(surface_, buffer->buffer, 0, 0);
  if (damageWhole_) {
    wl_surface_damage_buffer(surface_, 0, 0, width_, height_);
  } else {
    for (const Rect& part : damage_) {
      wl_surface_damage_buffer(surface_, part.left, part.top, part.right - part.left,
                               part.bottom - part.top);
    }
  }
  damage_.clear();
  damageWhole_ = false;
  frame_ = wl_surface_frame(surface_);
  frameAskedAt_ = LoopClock::now();
  wl_callback_add_listener(frame_, &frameListener, this);
  wl_surface_commit(surface_);
  buffer->busy = true;
  display_.flush();
}

// Copies every stale tile into the buffer, a run of neighbouring tiles at a time.
void PaintedSurface::draw(Buffer& buffer, const Canvas& canvas) const {
  for (int row = 0; row < tileRows_; ++row) {
    auto* flags = buffer.stale.data() + static_cast<std::size_t>(row) * tileColumns_;
    for (int column = 0; column < tileColumns_;) {
      if (!flags[column]) {
        ++column;
        continue;
      }
      const int first = column;
      while (column < tileColumns_ && flags[column]) flags[column++] = 0;
      copy(buffer.pixels, canvas,
           Rect{first << kTileShift, row << kTileShift, column << kTileShift,
                (row + 1) << kTileShift});
    }
  }
}

// Copies `part` of the canvas into a buffer, blackening what lies beyond the canvas's stored
// pixels: a plan's copy rectangles are within them and its black ones beyond, and a buffer
// catching up on several plans takes both alike.
void PaintedSurface::copy(std::uint32_t* target, const Canvas& canvas, const Rect& part) const {
  const int left = std::max(part.left, 0);
  const int right = std::min(part.right, width_);
  const int top = std::max(part.top, 0);
  const int bottom = std::min(part.bottom, height_);
  if (left >= right) return;
  const int storedRight = std::clamp(canvas.storedWidth(), left, right);
  const int storedBottom = std::min(bottom, canvas.storedHeight());
  for (int y = top; y < bottom; ++y) {
    std::uint32_t* row = target + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    int end = left;
    if (y < storedBottom && storedRight > left) {
      const std::uint32_t* source = canvas.row(y) + left;
      if (display_.canvasOrder()) {
        std::memcpy(row + left, source, static_cast<std::size_t>(storedRight - left) * 4);
      } else {
        swapRedBlue(row + left, source, storedRight - left);
      }
      end = storedRight;
    }
    std::fill(row + end, row + right, 0U);
  }
}

}  // namespace walkers
