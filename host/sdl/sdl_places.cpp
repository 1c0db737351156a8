// SDL's way of drawing at a place: the own window.
#include <optional>
#include <span>

#include "host/core/places.hpp"
#include "host/core/runners.hpp"
#include "host/sdl/sdl_main_window.hpp"

namespace walkers {
namespace {

std::optional<int> ownWindow(const Options& options, StopRequest* stop) {
  SdlMainWindow w(options.fullscreen, stop);
  // The timer `t` runs as the user left it: the window is watched by its user.
  return runOneScreen(w, loopOptionsFor(options.cycle, false, false), options.seed);
}

constexpr PlaceEntry kEntries[] = {{Options::Place::kWindow, ownWindow}};

}  // namespace

std::span<const PlaceEntry> sdlPlaces() { return kEntries; }

}  // namespace walkers
