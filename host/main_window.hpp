// The main window `w`: an SDL window showing the form's canvas, driven by its timer `t` and keys.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "host/form.hpp"
#include "host/timer.hpp"

struct SDL_Window;
struct SDL_Surface;
union SDL_Event;

namespace walkers {

// Start-up failed (no display, no window, no surface); the message says why.
class StartupError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Counts kept while the window runs, for benchmarks and for anyone curious.
struct WindowStats {
  using Clock = std::chrono::steady_clock;
  std::uint64_t ticks = 0;
  std::uint64_t frames = 0;
  Clock::duration ticking{};     // time spent in t_Timer
  Clock::duration presenting{};  // time spent converting and sending frames
  std::uint64_t pixelsPresented = 0;
  std::uint64_t rectanglesPresented = 0;
  Clock::time_point firstFrame{};  // when the first frame was presented
  // From the handling of an Enter to the first frame presented after it.
  std::uint64_t clearsShown = 0;
  Clock::duration clearToFrameTotal{};
  Clock::duration clearToFrameMax{};
};

// The form `w`. Everything happens on the calling thread: run() sleeps in SDL's event wait until
// the next display frame or the next event, runs every tick of `t` that fell due before anything
// observes the pattern (a key, a resize, a frame), and presents the canvas at most once a frame
// and only when it changed.
class MainWindow : public Form {
 public:
  static constexpr int kClientWidth = 510;
  static constexpr int kClientHeight = 370;
  static constexpr const char* kCaption = "Form1";

  // Opens the window, shown, at a position the window system chooses. Refuses SDL's invisible
  // offscreen and dummy drivers unless SDL_VIDEODRIVER asked for one.
  MainWindow();
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Runs until Esc or the window is closed, and returns the exit status (0). An error raised by
  // a handler is shown in a message box and on stderr, and gives status 1.
  int run();

  const WindowStats& stats() const { return stats_; }

  Timer t{std::chrono::milliseconds(1)};

 private:
  enum class Next { kGoOn, kEnd };
  void runDueTicks();
  void waitForInput(std::chrono::milliseconds timeout);
  Next handle(const SDL_Event& event);
  void present(const std::vector<Rect>& changed);
  std::chrono::milliseconds untilNextFrame() const;

  SDL_Window* window_ = nullptr;
  int connection_ = -1;            // the X connection to sleep on, or -1 to let SDL wait
  SDL_Surface* source_ = nullptr;  // the canvas buffer as an SDL surface, remade on resize
  const void* sourcePixels_ = nullptr;
  WindowStats::Clock::duration framePeriod_{};
  WindowStats::Clock::time_point nextFrame_{};
  std::optional<WindowStats::Clock::time_point> clearedAt_;
  WindowStats stats_;
};

}  // namespace walkers
