// The SDL window on X11: its display and window from SDL, checked and drawn with plain Xlib.
#include "host/sdl/sdl_x11.hpp"

#include <SDL.h>
#include <SDL_syswm.h>

#include <utility>

#include "host/x11/x11_errors.hpp"
#include "host/x11/x11_image.hpp"
#include "host/x11/x11_refresh.hpp"
#include "host/x11/x11_window.hpp"

namespace walkers {

struct SdlX11::State {
  Display* display = nullptr;
  std::unique_ptr<X11SharedPixels> shared;  // the canvas's segments, when the window suits them
  std::unique_ptr<X11Painter> painter;
  std::chrono::nanoseconds framePeriod{};
};

SdlX11::SdlX11(std::unique_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<SdlX11> SdlX11::attach(SDL_Window* window) {
  SDL_SysWMinfo system;
  SDL_VERSION(&system.version);
  if (SDL_GetWindowWMInfo(window, &system) != SDL_TRUE || system.subsystem != SDL_SYSWM_X11) {
    return nullptr;
  }
  Display* display = system.info.x11.display;
  const Window id = system.info.x11.window;
  routeXErrors(id);
  // SDL picks a DirectColor visual where there is one, and fills its colour map with ramps.
  const X11Window checked =
      checkWindow(display, id, "the window is gone", 0, {"the display", true});
  auto state = std::make_unique<State>();
  state->display = display;
  if (X11SharedPixels::suits(display, checked)) {
    state->shared = std::make_unique<X11SharedPixels>(display);
  }
  state->painter = std::make_unique<X11Painter>(display, checked, state->shared.get());
  state->framePeriod = refreshPeriod(display, id, checked.width, checked.height);
  return std::unique_ptr<SdlX11>(new SdlX11(std::move(state)));
}

SdlX11::~SdlX11() = default;

int SdlX11::connection() const { return ConnectionNumber(state_->display); }
std::chrono::nanoseconds SdlX11::framePeriod() const { return state_->framePeriod; }
PixelMemory* SdlX11::pixelMemory() const { return state_->shared.get(); }

void SdlX11::present(const Canvas& canvas, const FramePlan& plan) {
  state_->painter->present(canvas, plan);
}

}  // namespace walkers
