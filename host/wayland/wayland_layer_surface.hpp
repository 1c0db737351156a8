// The layer surface of an output: the desktop's background or the screensaver's cover there.
#pragma once

#include <chrono>
#include <cstdint>

#include "host/wayland/wayland_painted_surface.hpp"

struct zwlr_layer_surface_v1;

namespace walkers {

// A surface anchored to every edge of one output, on the background layer (a wallpaper: no
// keyboard) or the overlay layer (a screensaver: above everything, with the keyboard). It is
// `width()` x `height()` pixels: the size the compositor gives, times the output's scale, or at a
// fractional scale the output's own pixels through a viewport (see surfacePixels).
class WaylandLayerSurface : public PaintedSurface {
 public:
  enum class Layer { kBackground, kOverlay };

  WaylandLayerSurface(WaylandDisplay& display, const WaylandOutput& output, Layer layer,
                      StopRequest& stop);
  ~WaylandLayerSurface() override;
  WaylandLayerSurface(const WaylandLayerSurface&) = delete;
  WaylandLayerSurface& operator=(const WaylandLayerSurface&) = delete;

  const WaylandOutput& output() const { return output_; }
  // Whether the compositor took the surface away for good (its output is gone).
  bool closed() const { return closed_; }
  // The output's description changed: a new scale changes the size in pixels.
  void outputChanged();

  LoopClock::duration framePeriod() const override;
  // Unseen while a frame goes unanswered: the output is off, or a window covers the surface.
  Sight sight() override { return {false, false, frameUnansweredSince()}; }

  // Handlers called from the C listeners.
  void onConfigure(std::uint32_t serial, std::uint32_t width, std::uint32_t height);
  void onClosed();

 private:
  void scaleChanged() override { outputChanged(); }

  const WaylandOutput& output_;
  zwlr_layer_surface_v1* layerSurface_ = nullptr;
  int logicalWidth_ = 0;
  int logicalHeight_ = 0;
  bool closed_ = false;
};

}  // namespace walkers
