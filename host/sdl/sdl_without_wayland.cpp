// The SDL window in a build without our Wayland code: SDL alone tells of a lost compositor.
#include "host/sdl/sdl_wayland.hpp"

namespace walkers {

void checkWaylandConnection(SDL_Window* /*window*/) {}

}  // namespace walkers
