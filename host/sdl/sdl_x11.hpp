// The SDL window's Xlib side: its connection, frames drawn straight to X, one line when it is lost.
#pragma once

#include <chrono>
#include <memory>

#include "host/core/frame_plan.hpp"

struct SDL_Window;

namespace walkers {

// When SDL shows the window through X11, frames skip SDL's window surface (which converts every
// frame and waits for the server after each) and go to the window through X11Painter, as on
// foreign windows; the window is drawn on any TrueColor visual of 15 to 32 bits. From then on a
// broken X connection or an X error (such as another program destroying the window) prints one
// line, "walkers: lost the display: ...", and ends the program with status 1.
class SdlX11 {
 public:
  // Null when `window` is not shown through X11. Throws X11Error, one line, when its visual
  // cannot be drawn on.
  static std::unique_ptr<SdlX11> attach(SDL_Window* window);
  ~SdlX11();
  SdlX11(const SdlX11&) = delete;
  SdlX11& operator=(const SdlX11&) = delete;

  // The connection's descriptor, to sleep on.
  int connection() const;
  // How often the window's monitor refreshes.
  std::chrono::nanoseconds framePeriod() const;
  // Memory for a canvas that frames are sent from as it stands, or null (see X11Target's).
  PixelMemory* pixelMemory() const;
  void present(const Canvas& canvas, const FramePlan& plan);

  struct State;  // the Xlib side, kept out of this header

 private:
  explicit SdlX11(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace walkers
