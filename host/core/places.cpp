// The table of platforms for places: the only file that knows which platforms this build has.
#include "host/core/places.hpp"

#include <stdexcept>

namespace walkers {
namespace {

using Platform = std::span<const PlaceEntry> (*)();

constexpr Platform kPlatforms[] = {
#if WALKERS_WAYLAND
    waylandPlaces,
#endif
#if WALKERS_X11
    x11Places,
#endif
#if WALKERS_SDL
    sdlPlaces,
#endif
#if WALKERS_WIN32
    win32Places,
#endif
    nullptr,
};

}  // namespace

int runAtPlace(const Options& options, StopRequest* stop) {
  for (const Platform platform : kPlatforms) {
    if (!platform) break;
    for (const PlaceEntry& entry : platform()) {
      if (entry.place != options.place) continue;
      if (const auto status = entry.run(options, stop)) return *status;
    }
  }
  throw std::runtime_error("this build of walkers cannot draw there");
}

}  // namespace walkers
