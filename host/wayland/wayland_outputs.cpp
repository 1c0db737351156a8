// Following Wayland outputs with one surface and one pattern each, and ending the screensaver.
#include "host/wayland/wayland_outputs.hpp"

#include "host/core/seams.hpp"

namespace walkers {

WaylandOutputs::WaylandOutputs(Mode mode, StopRequest& stop)
    : mode_(mode), stop_(stop), display_(mode == Mode::kScreensaver) {
  display_.setCallbacks({[this](WaylandOutput& output) { outputChanged(output); },
                         [this](WaylandOutput& output) { outputRemoved(output); },
                         {}});
  for (const auto& output : display_.outputs()) {
    if (output->ready) outputChanged(*output);
  }
}

// The runner's patterns, which draw on the surfaces, ended with its run, before this.
WaylandOutputs::~WaylandOutputs() = default;

void WaylandOutputs::outputChanged(WaylandOutput& output) {
  const auto found = surfaces_.find(&output);
  if (found != surfaces_.end()) {
    found->second->outputChanged();
    return;
  }
  const auto layer = mode_ == Mode::kScreensaver ? WaylandLayerSurface::Layer::kOverlay
                                                 : WaylandLayerSurface::Layer::kBackground;
  surfaces_.emplace(&output, std::make_unique<WaylandLayerSurface>(display_, output, layer, stop_));
}

void WaylandOutputs::outputRemoved(WaylandOutput& output) {
  const auto found = surfaces_.find(&output);
  if (found == surfaces_.end()) return;
  if (patterns_) patterns_->drop(*found->second);
  surfaces_.erase(found);
}

bool WaylandOutputs::follow(Patterns& patterns) {
  patterns_ = &patterns;
  // A surface gets its pattern once the compositor has given it a size; one it closed goes.
  std::erase_if(surfaces_, [&](auto& entry) {
    WaylandLayerSurface& surface = *entry.second;
    if (surface.closed()) patterns.drop(surface);
    if (surface.configured() && !surface.closed() && !patterns.has(surface)) patterns.add(surface);
    return surface.closed();
  });
  return true;
}

void WaylandOutputs::waitUntil(LoopClock::time_point deadline) {
  display_.wait(deadline, static_cast<int>(stop_.waitable()));
}

}  // namespace walkers
