// The wallpaper and screensaver on Wayland: a layer surface and a pattern on every output.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>

#include "host/core/loop.hpp"
#include "host/core/patterns.hpp"
#include "host/wayland/wayland_display.hpp"
#include "host/wayland/wayland_surface.hpp"

namespace walkers {

class StopRequest;

// Puts a surface on every output, as outputs come and go, each growing its own pattern at the
// output's size. As a wallpaper (the background layer) it runs until a stop signal; as a
// screensaver (the overlay layer, above everything, with the keyboard) it also ends at the first
// key, button or pointer movement after InputGrace::kGrace. It never locks anything.
class WaylandHost {
 public:
  enum class Mode { kWallpaper, kScreensaver };
  // Connects; throws WaylandUnreachable or WaylandError (see WaylandDisplay).
  WaylandHost(Mode mode, StopRequest& stop);
  ~WaylandHost();
  WaylandHost(const WaylandHost&) = delete;
  WaylandHost& operator=(const WaylandHost&) = delete;

  // Runs until the end and returns the exit status (0). A lost compositor ends the process.
  int run(const LoopOptions& options, std::optional<std::uint64_t> firstSeed);

 private:
  void outputChanged(WaylandOutput& output);
  void outputRemoved(WaylandOutput& output);

  Mode mode_;
  StopRequest& stop_;
  WaylandDisplay display_;
  std::unique_ptr<Patterns> patterns_;
  std::map<const WaylandOutput*, std::unique_ptr<WaylandSurface>> surfaces_;
};

}  // namespace walkers
