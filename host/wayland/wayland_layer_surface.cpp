// The layer surface of an output: anchored to every edge, on the background or overlay layer.
#include "host/wayland/wayland_layer_surface.hpp"

#include <wayland-client.h>

#include "host/wayland/wayland_display.hpp"
#include "layer_shell-client.h"

namespace walkers {
namespace {

constexpr int kFallbackRefreshMilliHz = 60'000;

WaylandLayerSurface& self(void* data) { return *static_cast<WaylandLayerSurface*>(data); }

constexpr zwlr_layer_surface_v1_listener layerListener = {
    [](void* data, zwlr_layer_surface_v1*, std::uint32_t serial, std::uint32_t width,
       std::uint32_t height) { self(data).onConfigure(serial, width, height); },
    [](void* data, zwlr_layer_surface_v1*) { self(data).onClosed(); },
};

}  // namespace

WaylandLayerSurface::WaylandLayerSurface(WaylandDisplay& display, const WaylandOutput& output,
                                         Layer layer, StopRequest& stop)
    : PaintedSurface(display, &stop), output_(output) {
  const bool overlay = layer == Layer::kOverlay;
  layerSurface_ = zwlr_layer_shell_v1_get_layer_surface(
      display.layerShell(), surface_, output.output,
      overlay ? ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY : ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND,
      "walkers");
  zwlr_layer_surface_v1_add_listener(layerSurface_, &layerListener, this);
  zwlr_layer_surface_v1_set_anchor(
      layerSurface_, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                         ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
  zwlr_layer_surface_v1_set_size(layerSurface_, 0, 0);  // the whole output
  // -1: the whole output, whatever space panels keep for themselves.
  zwlr_layer_surface_v1_set_exclusive_zone(layerSurface_, -1);
  zwlr_layer_surface_v1_set_keyboard_interactivity(
      layerSurface_, overlay ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                             : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE);
  wl_surface_commit(surface_);  // asks for the first configure
}

// The role goes before the surface, which the base class destroys.
WaylandLayerSurface::~WaylandLayerSurface() { zwlr_layer_surface_v1_destroy(layerSurface_); }

void WaylandLayerSurface::onConfigure(std::uint32_t serial, std::uint32_t width,
                                      std::uint32_t height) {
  zwlr_layer_surface_v1_ack_configure(layerSurface_, serial);
  const int scale = std::max(1, output_.scale);
  // Zero leaves the size to the client: the output's, which scale divides.
  logicalWidth_ = width > 0 ? static_cast<int>(width) : output_.width / scale;
  logicalHeight_ = height > 0 ? static_cast<int>(height) : output_.height / scale;
  outputChanged();
}

// The surface covers its output: the output's logical size is the surface's.
void WaylandLayerSurface::outputChanged() {
  if (logicalWidth_ <= 0 || logicalHeight_ <= 0) return;
  OutputPixels on = outputPixels(output_);
  on.logicalWidth = logicalWidth_;
  on.logicalHeight = logicalHeight_;
  showAt(logicalWidth_, logicalHeight_, on);
}

void WaylandLayerSurface::onClosed() {
  closed_ = true;
  events_.push_back({HostEvent::Kind::kEnd});
}

LoopClock::duration WaylandLayerSurface::framePeriod() const {
  const int milliHz = output_.refreshMilliHz > 0 ? output_.refreshMilliHz : kFallbackRefreshMilliHz;
  return std::chrono::duration_cast<LoopClock::duration>(std::chrono::seconds(1000)) / milliHz;
}

}  // namespace walkers
