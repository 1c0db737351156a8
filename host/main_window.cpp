// The SDL side of the main window: start-up checks, the event loop, keys and presentation.
#include "host/main_window.hpp"

#include <SDL.h>
#include <SDL_syswm.h>
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace walkers {
namespace {

using Clock = WindowStats::Clock;

constexpr int kFallbackRefreshHz = 60;

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// One line describing why no window system is reachable.
std::string missingDisplay() {
  if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
    return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
  }
  const char* display = isSet("DISPLAY") ? std::getenv("DISPLAY") : std::getenv("WAYLAND_DISPLAY");
  return std::string("cannot connect to display \"") + display + "\"";
}

[[noreturn]] void startupFailed(const std::string& why) {
  throw StartupError("cannot open a window: " + why);
}

[[noreturn]] void drawingFailed() {
  throw std::runtime_error(std::string("cannot draw the window: ") + SDL_GetError());
}

// The character code a key press stands for, as the form's KeyPress sees it: Return and keypad
// Enter are 13, Escape 27, Backspace 8, Tab 9, Ctrl with a letter its control code; printable
// keys their character. Keys with no character give nothing.
std::optional<std::int16_t> keyAscii(const SDL_Keysym& key) {
  const SDL_Keycode sym = key.sym;
  switch (sym) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return kKeyEnter;
    case SDLK_ESCAPE:
      return kKeyEscape;
    case SDLK_BACKSPACE:
      return std::int16_t{8};
    case SDLK_TAB:
      return std::int16_t{9};
    default:
      break;
  }
  const bool letter = sym >= SDLK_a && sym <= SDLK_z;
  if ((key.mod & KMOD_CTRL) != 0) {
    if (letter) return static_cast<std::int16_t>(sym - SDLK_a + 1);
    if (sym == SDLK_LEFTBRACKET) return kKeyEscape;
    return std::nullopt;
  }
  if (sym < 32 || sym > 126) return std::nullopt;
  if (letter && (key.mod & (KMOD_SHIFT | KMOD_CAPS)) != 0) {
    return static_cast<std::int16_t>(sym - 'a' + 'A');
  }
  return static_cast<std::int16_t>(sym);
}

}  // namespace

MainWindow::MainWindow() : Form(kClientWidth, kClientHeight) {
  // SDL would quietly fall back to an invisible offscreen driver when no window system answers;
  // unless the user asked for a driver, only a real display will do.
  const bool driverAsked = isSet("SDL_VIDEODRIVER");
  if (!driverAsked) {
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) startupFailed(missingDisplay());
    if (!isSet("WAYLAND_DISPLAY")) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  }
  // The plain window surface: shared-memory blits, far cheaper here than a GL context.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");  // a toy has no business blocking it
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    startupFailed(driverAsked ? std::string(SDL_GetError()) : missingDisplay());
  }
  const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
  if (!driverAsked && (driver == "offscreen" || driver == "dummy")) {
    SDL_Quit();
    startupFailed(missingDisplay());
  }
  window_ = SDL_CreateWindow(kCaption, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                             kClientWidth, kClientHeight, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
  if (!window_) {
    const std::string why = SDL_GetError();
    SDL_Quit();
    startupFailed(why);
  }
  SDL_StopTextInput();  // keys arrive as key events; no input method needed
  // On X11 the loop sleeps on the connection itself: one event pump per wake instead of the
  // several SDL's own wait makes (measured: less than half the system calls).
  SDL_SysWMinfo system;
  SDL_VERSION(&system.version);
  if (SDL_GetWindowWMInfo(window_, &system) == SDL_TRUE && system.subsystem == SDL_SYSWM_X11) {
    connection_ = ConnectionNumber(system.info.x11.display);
  }
  SDL_DisplayMode mode{};
  const int hz = SDL_GetWindowDisplayMode(window_, &mode) == 0 && mode.refresh_rate > 0
                     ? mode.refresh_rate
                     : kFallbackRefreshHz;
  framePeriod_ = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / hz;
  int width = kClientWidth;
  int height = kClientHeight;
  SDL_GetWindowSize(window_, &width, &height);
  canvas().resize(width, height);
}

MainWindow::~MainWindow() {
  if (source_) SDL_FreeSurface(source_);
  if (window_) SDL_DestroyWindow(window_);
  SDL_Quit();
}

int MainWindow::run() {
  const auto start = Clock::now();
  t.start(start);
  nextFrame_ = start;
  try {
    for (;;) {
      runDueTicks();
      if (Clock::now() >= nextFrame_) {
        if (const auto changed = canvas().takeChanged(); !changed.empty()) present(changed);
        nextFrame_ += framePeriod_;
        if (nextFrame_ <= Clock::now()) nextFrame_ = Clock::now() + framePeriod_;
      }
      // One pump per wake: read what the window system sent, handle it, then sleep on the
      // connection until it has more or the next frame is due.
      SDL_PumpEvents();
      SDL_Event event;
      while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
        runDueTicks();
        if (handle(event) == Next::kEnd) return 0;
      }
      waitForInput(untilNextFrame());
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "walkers: %s\n", error.what());
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, kCaption, error.what(), window_);
    return 1;
  }
}

void MainWindow::waitForInput(std::chrono::milliseconds timeout) {
  if (connection_ < 0) {  // not X11: SDL's own wait, leaving any event in the queue
    SDL_WaitEventTimeout(nullptr, static_cast<int>(timeout.count()));
    return;
  }
  pollfd input{connection_, POLLIN, 0};
  ::poll(&input, 1, static_cast<int>(timeout.count()));
}

void MainWindow::runDueTicks() {
  const auto now = Clock::now();
  const std::uint64_t due = t.takeDue(now);
  if (due == 0) return;
  for (std::uint64_t k = 0; k < due; ++k) t_Timer();
  stats_.ticks += due;
  stats_.ticking += Clock::now() - now;
}

std::chrono::milliseconds MainWindow::untilNextFrame() const {
  const auto left = nextFrame_ - Clock::now();
  if (left <= Clock::duration::zero()) return std::chrono::milliseconds(0);
  // Round up: waking a little late costs nothing, since due ticks run on waking.
  return std::chrono::ceil<std::chrono::milliseconds>(left);
}

MainWindow::Next MainWindow::handle(const SDL_Event& event) {
  switch (event.type) {
    case SDL_QUIT:
      return Next::kEnd;
    case SDL_KEYDOWN: {
      const auto key = keyAscii(event.key.keysym);
      if (!key) break;
      if (Form_KeyPress(*key) == KeyOutcome::kEndProgram) return Next::kEnd;
      if (*key == kKeyEnter) clearedAt_ = Clock::now();
      break;
    }
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
        canvas().resize(event.window.data1, event.window.data2);
      } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED) {
        canvas().markChanged();
      }
      break;
    default:
      break;
  }
  return Next::kGoOn;
}

void MainWindow::present(const std::vector<Rect>& changed) {
  const auto began = Clock::now();
  SDL_Surface* screen = SDL_GetWindowSurface(window_);
  if (!screen) drawingFailed();
  const Canvas& picture = canvas();
  const void* pixels = picture.pixels().data();
  if (!source_ || sourcePixels_ != pixels || source_->w != picture.storedWidth() ||
      source_->h != picture.storedHeight()) {
    if (source_) SDL_FreeSurface(source_);
    source_ = nullptr;
    sourcePixels_ = nullptr;
    if (picture.storedWidth() == 0 || picture.storedHeight() == 0) return;
    // The canvas packs red + 256 green + 65536 blue: exactly SDL's XBGR8888, so SDL reads the
    // buffer in place and converts to the screen's format in its blitter.
    source_ = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(pixels), picture.storedWidth(),
                                                 picture.storedHeight(), 32, picture.stride() * 4,
                                                 SDL_PIXELFORMAT_XBGR8888);
    if (!source_) drawingFailed();
    sourcePixels_ = pixels;
  }
  // Only the changed parts are converted and sent to the X server.
  std::vector<SDL_Rect> areas;
  areas.reserve(changed.size());
  for (const Rect& part : changed) {
    SDL_Rect area{part.left, part.top, part.right - part.left, part.bottom - part.top};
    SDL_Rect target = area;
    if (SDL_BlitSurface(source_, &area, screen, &target) != 0) drawingFailed();
    areas.push_back(target);
    stats_.pixelsPresented +=
        static_cast<std::uint64_t>(area.w) * static_cast<std::uint64_t>(area.h);
  }
  stats_.rectanglesPresented += areas.size();
  if (SDL_UpdateWindowSurfaceRects(window_, areas.data(), static_cast<int>(areas.size())) != 0) {
    drawingFailed();
  }
  const auto now = Clock::now();
  stats_.presenting += now - began;
  if (stats_.frames++ == 0) stats_.firstFrame = now;
  if (clearedAt_) {
    const auto delay = now - *clearedAt_;
    ++stats_.clearsShown;
    stats_.clearToFrameTotal += delay;
    stats_.clearToFrameMax = std::max(stats_.clearToFrameMax, delay);
    clearedAt_.reset();
  }
}

}  // namespace walkers
