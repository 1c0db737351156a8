// The SDL window in a build without Xlib: SDL's own X11 driver draws, so there is no Xlib side.
#include "host/sdl/sdl_x11.hpp"

namespace walkers {

struct SdlX11::State {};

SdlX11::SdlX11(std::unique_ptr<State> state) : state_(std::move(state)) {}
SdlX11::~SdlX11() = default;
std::unique_ptr<SdlX11> SdlX11::attach(SDL_Window* /*window*/) { return nullptr; }
// Never reached: attach makes none.
int SdlX11::connection() const { return -1; }
std::chrono::nanoseconds SdlX11::framePeriod() const { return {}; }
PixelMemory* SdlX11::pixelMemory() const { return nullptr; }
void SdlX11::present(const Canvas& /*canvas*/, const FramePlan& /*plan*/) {}

}  // namespace walkers
