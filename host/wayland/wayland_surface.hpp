// One layer surface covering one Wayland output: a host for the loop of that output's pattern.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "engine/canvas.hpp"
#include "host/core/frame_plan.hpp"
#include "host/core/loop.hpp"
#include "host/unix/page_memory.hpp"

struct wl_surface;
struct wl_buffer;
struct wl_callback;
struct zwlr_layer_surface_v1;

namespace walkers {

class StopRequest;
class WaylandDisplay;
struct WaylandOutput;

// A surface anchored to every edge of one output, on the background layer (a wallpaper: no
// keyboard) or the overlay layer (a screensaver: above everything, with the keyboard). It is
// `width()` x `height()` pixels: the size the compositor gives, times the output's scale.
//
// Frames go through two shared-memory buffers: each frame plan is carried out in a buffer the
// compositor has released, together with the plans that buffer missed, and only the planned
// parts are damaged. A frame is drawn only after the compositor asked for the next one, so an
// output that is off or covered costs no drawing at all; what waited is then asked for again as
// an exposed area.
class WaylandSurface : public Host {
 public:
  enum class Layer { kBackground, kOverlay };

  WaylandSurface(WaylandDisplay& display, const WaylandOutput& output, Layer layer,
                 StopRequest& stop);
  ~WaylandSurface() override;
  WaylandSurface(const WaylandSurface&) = delete;
  WaylandSurface& operator=(const WaylandSurface&) = delete;

  const WaylandOutput& output() const { return output_; }
  // Whether the compositor gave the surface its size yet; until then it shows nothing.
  bool configured() const { return width_ > 0 && height_ > 0; }
  // Whether the compositor took the surface away for good (its output is gone).
  bool closed() const { return closed_; }
  int width() const { return width_; }
  int height() const { return height_; }
  // The output's description changed: a new scale changes the size in pixels.
  void outputChanged();

  void waitUntil(LoopClock::time_point deadline) override;
  std::optional<HostEvent> nextEvent() override;
  void present(const Canvas& canvas, const FramePlan& plan) override;
  LoopClock::duration framePeriod() const override;
  PixelMemory* pixelMemory() override { return &PageMemory::process(); }

  // Handlers called from the C listeners.
  void onConfigure(std::uint32_t serial, std::uint32_t width, std::uint32_t height);
  void onClosed();
  void onFrameDone();
  void onRelease(wl_buffer* buffer);

 private:
  struct Buffer {
    wl_buffer* buffer = nullptr;
    std::uint32_t* pixels = nullptr;
    bool busy = false;  // the compositor may still read it
    // A flag per 16-pixel tile that changed since the buffer was last drawn: the frames it
    // missed overlap, and each tile is copied once however many of them it was in.
    std::vector<std::uint8_t> stale;
  };

  void resizeTo(int width, int height);
  void makeBuffers();
  void dropBuffers();
  Buffer* freeBuffer();
  bool hasFreeBuffer() const;
  void remember(const std::vector<Rect>& parts);
  void askAgain();
  void markStale(const Rect& part);
  void draw(Buffer& buffer, const Canvas& canvas) const;
  void copy(std::uint32_t* target, const Canvas& canvas, const Rect& part) const;

  WaylandDisplay& display_;
  const WaylandOutput& output_;
  StopRequest& stop_;
  wl_surface* surface_ = nullptr;
  zwlr_layer_surface_v1* layerSurface_ = nullptr;
  wl_callback* frame_ = nullptr;  // the compositor has not asked for the next frame yet
  int logicalWidth_ = 0;
  int logicalHeight_ = 0;
  int scale_ = 1;
  int width_ = 0;
  int height_ = 0;
  int tileColumns_ = 0;
  int tileRows_ = 0;
  bool closed_ = false;
  std::vector<HostEvent> events_;
  // Two buffers in one shared mapping.
  void* mapping_ = nullptr;
  std::size_t mappingBytes_ = 0;
  Buffer buffers_[2];
  std::vector<Rect> damage_;  // changed since the last commit
  bool damageWhole_ = false;
  bool deferred_ = false;  // a frame waits for the compositor or a buffer
};

}  // namespace walkers
