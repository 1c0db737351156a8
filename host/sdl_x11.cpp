// Xlib error handling for the SDL window: one line and status 1 when the display is lost.
#include "host/sdl_x11.hpp"

#include <SDL.h>
#include <SDL_syswm.h>

#include <cstdio>
#include <cstdlib>

namespace walkers {
namespace {

[[noreturn]] void lost(const char* why) {
  std::fflush(stdout);
  std::fprintf(stderr, "walkers: lost the display: %s\n", why);
  std::_Exit(1);
}

int onIoError(Display* display) {
  char why[160];
  std::snprintf(why, sizeof why, "the connection to \"%s\" was broken",
                DisplayString(display) ? DisplayString(display) : "");
  lost(why);
}

int onError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow || error->error_code == BadDrawable) {
    lost("the window was destroyed");
  }
  char text[96];
  XGetErrorText(display, error->error_code, text, sizeof text);
  char why[160];
  std::snprintf(why, sizeof why, "X error %s (request %d)", text, error->request_code);
  lost(why);
}

}  // namespace

int watchX11Connection(SDL_Window* window) {
  SDL_SysWMinfo system;
  SDL_VERSION(&system.version);
  if (SDL_GetWindowWMInfo(window, &system) != SDL_TRUE || system.subsystem != SDL_SYSWM_X11) {
    return -1;
  }
  XSetIOErrorHandler(onIoError);
  XSetErrorHandler(onError);
  return ConnectionNumber(system.info.x11.display);
}

}  // namespace walkers
