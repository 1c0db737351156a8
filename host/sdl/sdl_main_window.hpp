// The main window `w` through SDL: the form's canvas on SDL's window surface, a host the loop
// drives.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include "engine/form.hpp"
#include "host/core/loop.hpp"
#include "host/unix/page_memory.hpp"

struct SDL_Window;
struct SDL_Surface;

namespace walkers {

class StopRequest;

// Start-up failed (no display, no window, no surface); the message says why.
class StartupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The form's window through SDL alone, for a build that has no window of its own for the
// system (neither X11 nor Wayland). Keys go to the loop as character codes (F11, which has none,
// toggles fullscreen here); the window sleeps in SDL's own wait, which a stop signal ends by the
// next deadline. Frames are blitted onto SDL's window surface.
class SdlMainWindow : public Host {
 public:
  static constexpr int kClientWidth = kFormWidth;
  static constexpr int kClientHeight = kFormHeight;
  static constexpr const char* kCaption = "Form1";
  // Larger windows are not drawn (a frame would take gigabytes, or seconds); they keep the
  // window's background, and the loop goes on.
  static constexpr std::int64_t kMaxSurfacePixels = std::int64_t{1} << 25;

  // Opens the window, shown, at a position the window system chooses. Refuses SDL's invisible
  // offscreen and dummy drivers unless SDL_VIDEODRIVER asked for one. `stop` may be null.
  explicit SdlMainWindow(bool fullscreen = false, StopRequest* stop = nullptr);
  ~SdlMainWindow() override;
  SdlMainWindow(const SdlMainWindow&) = delete;
  SdlMainWindow& operator=(const SdlMainWindow&) = delete;

  // The client area as the window opened.
  int width() const override { return width_; }
  int height() const override { return height_; }

  void waitUntil(LoopClock::time_point deadline) override;
  std::optional<HostEvent> nextEvent() override;
  void present(const Canvas& canvas, const FramePlan& plan) override;
  LoopClock::duration framePeriod() const override { return framePeriod_; }
  PixelMemory* pixelMemory() override { return &PageMemory::process(); }

 private:
  void toggleFullscreen();

  SDL_Window* window_ = nullptr;
  StopRequest* stop_ = nullptr;
  bool pumped_ = false;  // events were read from the window system since the last wait
  int width_ = 0;
  int height_ = 0;
  SDL_Surface* source_ = nullptr;  // the canvas's stored part as an SDL surface
  const void* sourcePixels_ = nullptr;
  LoopClock::duration framePeriod_{};
};

}  // namespace walkers
