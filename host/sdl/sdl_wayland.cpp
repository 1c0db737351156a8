// Asking SDL for the window's Wayland connection, and ending the program when it failed.
#include "host/sdl/sdl_wayland.hpp"

#include <SDL.h>
#include <SDL_syswm.h>
#include <wayland-client.h>

#include "host/wayland/wayland_display.hpp"

namespace walkers {

void checkWaylandConnection(SDL_Window* window) {
  SDL_SysWMinfo system;
  SDL_VERSION(&system.version);
  if (SDL_GetWindowWMInfo(window, &system) != SDL_TRUE || system.subsystem != SDL_SYSWM_WAYLAND) {
    return;
  }
  if (wl_display_get_error(system.info.wl.display) != 0) lostWayland(system.info.wl.display);
}

}  // namespace walkers
