// A Wayland surface showing a canvas: two shared-memory buffers, frames, and one canvas pixel per
// screen pixel at any output scale. Its role (a layer surface, a window) is a subclass's.
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
struct wp_viewport;
struct wp_fractional_scale_v1;

namespace walkers {

class StopRequest;
class WaylandDisplay;
struct WaylandOutput;

// How a surface of a logical size is drawn: a buffer of `width` x `height` pixels, shown either at
// the whole-number `bufferScale` or, with `viewport`, stretched (by the compositor's viewporter)
// to the logical size, which then holds exactly one buffer pixel per screen pixel.
struct SurfacePixels {
  int width = 0;
  int height = 0;
  int bufferScale = 1;
  bool viewport = false;
  bool operator==(const SurfacePixels&) const = default;
};

// What the pixels of a surface depend on of the output it is on: its current mode, turned as the
// output is; its size in logical pixels (0 while unknown); and its wl_output scale.
struct OutputPixels {
  int modeWidth = 0;
  int modeHeight = 0;
  int logicalWidth = 0;
  int logicalHeight = 0;
  int scale = 1;
  bool operator==(const OutputPixels&) const = default;
};

// An output's description as OutputPixels: the mode turned a quarter for odd transforms.
OutputPixels outputPixels(const WaylandOutput& output);

// The pixels for a surface of `logicalWidth` x `logicalHeight` on `output`, one per screen pixel
// where the compositor lets them be. `preferred120` is the scale wp_fractional_scale_v1 asked for
// in 120ths (0 if none came); `viewporter` whether the compositor offers wp_viewporter.
// Whole-number scales keep the buffer scale (logical size times scale); a fractional one uses a
// viewport: a buffer of the logical size times the preferred scale, rounded, or else times the
// output's mode over its logical size (a surface of the output's own logical size: the mode);
// without a viewporter, or with the output's logical size unknown, the buffer scale as ever (the
// compositor then shrinks the picture).
SurfacePixels surfacePixels(int logicalWidth, int logicalHeight, const OutputPixels& output,
                            int preferred120, bool viewporter);

// A surface showing a canvas; what it is to the compositor (a layer surface, a window) is the
// subclass's role, which gives it its logical size and output through showAt(): the canvas has
// the surface's size in screen pixels (see surfacePixels), through a viewport (wp_viewporter) and
// the compositor's preferred scale (wp_fractional_scale_v1) where they are offered.
//
// Frames go through two shared-memory buffers: each frame plan is carried out in a buffer the
// compositor has released, together with the plans that buffer missed, and only the planned
// parts are damaged. A frame is drawn only after the compositor asked for the next one, so a
// surface that is off or covered costs no drawing at all; what waited is then asked for again as
// a lost area.
class PaintedSurface : public Host {
 public:
  ~PaintedSurface() override;
  PaintedSurface(const PaintedSurface&) = delete;
  PaintedSurface& operator=(const PaintedSurface&) = delete;

  // Whether the compositor gave the surface its size yet; until then it shows nothing.
  bool configured() const { return width_ > 0 && height_ > 0; }
  int width() const override { return width_; }
  int height() const override { return height_; }

  void waitUntil(LoopClock::time_point deadline) override;
  std::optional<HostEvent> nextEvent() override;
  void present(const Canvas& canvas, const FramePlan& plan) override;
  PixelMemory* pixelMemory() override { return &PageMemory::process(); }

  // Handlers called from the C listeners.
  void onFrameDone();
  void onRelease(wl_buffer* buffer);
  void onPreferredScale(std::uint32_t scale120);

 protected:
  // A fresh wl_surface on `display`, with a viewport and a fractional scale where the compositor
  // offers them; `stop` may be null. Surfaces of more than `maxPixels` keep no buffers and show
  // nothing until they are smaller again.
  PaintedSurface(WaylandDisplay& display, StopRequest* stop,
                 std::int64_t maxPixels = std::int64_t{1} << 62);
  // The surface is `logicalWidth` x `logicalHeight` in the compositor, on `output`: its buffer
  // scale and viewport set for surfacePixels, and resized to its pixels. Answers whether anything
  // changed, which the next frame then commits.
  bool showAt(int logicalWidth, int logicalHeight, const OutputPixels& output);
  // The compositor prefers another scale: the role calls showAt() again.
  virtual void scaleChanged() = 0;
  // Whether the compositor said which scale it prefers (a fractional scale manager that did not
  // yet: false).
  bool preferredScaleKnown() const { return !fractional_ || preferred120_ > 0; }
  // Since when the frame last committed has waited for the compositor's answer; nothing when
  // none waits. A compositor answers only while it shows the surface.
  std::optional<LoopClock::time_point> frameUnansweredSince() const {
    return frame_ ? std::optional(frameAskedAt_) : std::nullopt;
  }
  // Shows a black buffer before any canvas: a window is mapped, and so put on an output, only
  // once it has one.
  void commitBlack();

  WaylandDisplay& display_;
  wl_surface* surface_ = nullptr;
  std::vector<HostEvent> events_;

 private:
  struct Buffer {
    wl_buffer* buffer = nullptr;
    std::uint32_t* pixels = nullptr;
    bool busy = false;  // the compositor may still read it
    // A flag per 16-pixel tile that changed since the buffer was last drawn: the frames it
    // missed overlap, and each tile is copied once however many of them it was in.
    std::vector<std::uint8_t> stale;
  };

  // The surface is now `width` x `height` pixels: buffers of that size, and the loop told.
  // Answers whether the size changed (or the buffers came back).
  bool resizeTo(int width, int height);
  void makeBuffers();
  void dropBuffers();
  Buffer* freeBuffer();
  bool hasFreeBuffer() const;
  void remember(const std::vector<Rect>& parts);
  void askAgain();
  void markStale(const Rect& part);
  void draw(Buffer& buffer, const Canvas& canvas) const;
  void copy(std::uint32_t* target, const Canvas& canvas, const Rect& part) const;

  StopRequest* stop_ = nullptr;
  std::int64_t maxPixels_ = 0;
  wp_viewport* viewport_ = nullptr;               // with a viewporter
  wp_fractional_scale_v1* fractional_ = nullptr;  // with a fractional scale manager
  int preferred120_ = 0;                          // its last preferred scale, in 120ths
  int scale_ = 1;                                 // the buffer scale set on the surface
  bool viewportSet_ = false;  // a viewport destination is set: the logical size below
  int destinationWidth_ = 0;
  int destinationHeight_ = 0;
  wl_callback* frame_ = nullptr;          // the compositor has not asked for the next frame yet
  LoopClock::time_point frameAskedAt_{};  // when frame_ was asked for
  int width_ = 0;
  int height_ = 0;
  int tileColumns_ = 0;
  int tileRows_ = 0;
  // Two buffers in one shared mapping.
  void* mapping_ = nullptr;
  std::size_t mappingBytes_ = 0;
  Buffer buffers_[2];
  std::vector<Rect> damage_;  // changed since the last commit
  bool damageWhole_ = false;
  bool deferred_ = false;  // a frame waits for the compositor or a buffer
};

}  // namespace walkers
