// The wallpaper and screensaver on Wayland: a layer surface and a pattern on every output.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "host/core/loop.hpp"
#include "host/core/patterns.hpp"
#include "host/core/runners.hpp"
#include "host/wayland/wayland_display.hpp"
#include "host/wayland/wayland_layer_surface.hpp"

namespace walkers {

class StopRequest;

// Puts a layer surface on every output, as outputs come and go, each growing its own pattern at
// the output's size: as a wallpaper on the background layer, as a screensaver on the overlay
// layer (above everything, with the keyboard, which runScreens ends at the first key, button or
// pointer movement after InputGrace::kGrace). It never locks anything.
class WaylandOutputs : public Screens {
 public:
  enum class Mode { kWallpaper, kScreensaver };
  // Connects; throws WaylandUnreachable or WaylandError (see WaylandDisplay).
  WaylandOutputs(Mode mode, StopRequest& stop);
  ~WaylandOutputs() override;
  WaylandOutputs(const WaylandOutputs&) = delete;
  WaylandOutputs& operator=(const WaylandOutputs&) = delete;

  // A lost compositor ends the process.
  bool follow(Patterns& patterns) override;
  std::uint64_t inputs() override { return display_.inputs(); }
  void waitUntil(LoopClock::time_point deadline) override;

 private:
  void outputChanged(WaylandOutput& output);
  void outputRemoved(WaylandOutput& output);

  Mode mode_;
  StopRequest& stop_;
  WaylandDisplay display_;
  Patterns* patterns_ = nullptr;  // the runner's, while it runs (an output may go meanwhile)
  std::map<const WaylandOutput*, std::unique_ptr<WaylandLayerSurface>> surfaces_;
};

}  // namespace walkers
