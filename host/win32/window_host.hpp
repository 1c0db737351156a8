// The windows walkers makes on Windows: the main window, a screen saver's cover, the preview.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "host/core/loop.hpp"
#include "host/core/seams.hpp"
#include "host/win32/input_watch.hpp"
#include "host/win32/pixel_pages.hpp"

namespace walkers {

// One window and its messages, as a Host. Every window of a thread is served by whichever host
// the loop asks for events: messages are dispatched to their own window's host and queued there.
// Frames are painted straight from the canvas's pages with SetDIBitsToDevice, only the planned
// rectangles; WM_PAINT repaints what the system lost from the canvas as it is.
class WindowHost : public Host {
 public:
  enum class Kind {
    kMain,     // "Form1": keys go to the form, F11 toggles fullscreen, closing ends
    kCover,    // a screen saver's topmost window over `area`, ended by input through `watch`
    kPreview,  // a child covering `parent`'s client area as it changes, no input, ended with
               // the parent
  };
  // What window to make: its kind and what that kind needs.
  struct Setup {
    Kind kind = Kind::kMain;
    bool fullscreen = false;      // kMain
    RECT area{};                  // kCover, in screen coordinates
    InputWatch* watch = nullptr;  // kCover
    HWND parent = nullptr;        // kPreview
  };

  // Throws std::runtime_error, with the system's reason, when the window cannot be made.
  explicit WindowHost(const Setup& setup);
  ~WindowHost() override;
  WindowHost(const WindowHost&) = delete;
  WindowHost& operator=(const WindowHost&) = delete;

  HWND handle() const { return window_; }
  int width() const override;
  int height() const override;

  void waitUntil(LoopClock::time_point deadline) override { waitForInput(0, nullptr, deadline); }
  std::optional<HostEvent> nextEvent() override;
  void present(const Canvas& canvas, const FramePlan& plan) override;
  LoopClock::duration framePeriod() const override;
  PixelMemory* pixelMemory() override { return &pages_; }

 private:
  static LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  LRESULT handle(HWND window, UINT message, WPARAM w, LPARAM l);
  void forget();
  void followParent();
  bool coverInput(UINT message, WPARAM w, LPARAM l);
  void paint();
  void toggleFullscreen();
  void blit(HDC dc, const Canvas& canvas, const RECT& part) const;

  Setup setup_;
  HWND window_ = nullptr;
  PixelPages pages_;
  std::deque<HostEvent> events_;
  const Canvas* shown_ = nullptr;  // the canvas of the last frame, for WM_PAINT
  bool ended_ = false;
  bool fullscreen_ = false;
  WINDOWPLACEMENT normal_{};  // the window before fullscreen
  SIZE parentSize_{};         // kPreview: the parent's client size the child last took
};

// What keeps a window from holding walkers' child (the preview's, --window-id's): it does not
// exist, or it passes IsWindow but is no place to draw, the desktop or a message-only window.
enum class ParentFault { kNone, kMissing, kDesktop, kMessageOnly };
ParentFault parentFault(HWND window);
// The line refusing `fault` for the window numbered `number`, ending in `use` ("to preview in
// (/p)"): "no window N to preview in (/p)", "window N is the desktop, not a window to ...".
std::string parentFaultLine(ParentFault fault, std::uint64_t number, const std::string& use);

}  // namespace walkers
