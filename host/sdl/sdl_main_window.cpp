// The main window through SDL: start-up checks, events, keys and presentation on SDL's surface.
#include "host/sdl/sdl_main_window.hpp"

#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/option_text.hpp"
#include "host/core/refresh_period.hpp"
#include "host/core/seams.hpp"
#include "host/unix/answer_deadline.hpp"
#include "host/unix/socket_check.hpp"

namespace walkers {
namespace {

bool isSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value && *value;
}

// One line describing why no window system is reachable; with `reason`, why the X display takes
// no connection (see whyDisplayUnreachable; `code` is errno from the attempt).
std::string missingDisplay(int code = 0, bool reason = true) {
  if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY")) {
    return "no display (neither DISPLAY nor WAYLAND_DISPLAY is set)";
  }
  const char* display = isSet("DISPLAY") ? std::getenv("DISPLAY") : std::getenv("WAYLAND_DISPLAY");
  std::string why =
      std::string("cannot connect to display \"") + escapeForMessage(display, kEchoLimit) + "\"";
  const std::string fault = reason && isSet("DISPLAY") ? whyDisplayUnreachable(display, code) : "";
  if (!fault.empty()) why += ": " + fault;
  return why;
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

SdlMainWindow::SdlMainWindow(bool fullscreen, StopRequest* stop) : stop_(stop) {
  // SDL would quietly fall back to an invisible offscreen driver when no window system answers;
  // unless the user asked for a driver, only X11 will do (Wayland sessions have it too).
  const bool driverAsked = isSet("SDL_VIDEODRIVER");
  if (!driverAsked) {
    if (!isSet("DISPLAY")) startupFailed(missingDisplay());
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11");
  }
  SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");  // a toy has no business blocking it
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");       // StopSignals has them
  int initialised = 0;
  int code = 0;
  {
    // SDL's XOpenDisplay would wait for ever on an X server that accepts and never answers.
    std::optional<AnswerDeadline> deadline;
    if (!driverAsked) {
      deadline.emplace("cannot open a window: " + missingDisplay(0, false) + ": no answer within " +
                       std::to_string(kAnswerDeadline.count()) + " s");
    }
    errno = 0;
    initialised = SDL_Init(SDL_INIT_VIDEO);
    code = errno;
  }
  if (initialised != 0) {
    startupFailed(driverAsked ? std::string(SDL_GetError()) : missingDisplay(code));
  }
  const std::string driver = SDL_GetCurrentVideoDriver() ? SDL_GetCurrentVideoDriver() : "";
  if (!driverAsked && (driver == "offscreen" || driver == "dummy")) {
    SDL_Quit();
    startupFailed(missingDisplay());
  }
  // On X11 the plain window surface: shared-memory blits, far cheaper there than a GL context.
  if (driver == "x11") SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  Uint32 flags = SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE;
  if (fullscreen) flags |= SDL_WINDOW_FULLSCREEN_DESKTOP;
  window_ = SDL_CreateWindow(kCaption, SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                             kClientWidth, kClientHeight, flags);
  if (!window_) {
    const std::string why = SDL_GetError();
    SDL_Quit();
    startupFailed(why);
  }
  SDL_StopTextInput();  // keys arrive as key events; no input method needed
  SDL_DisplayMode mode{};
  framePeriod_ =
      refreshPeriodOf(SDL_GetWindowDisplayMode(window_, &mode) == 0 ? mode.refresh_rate : 0);
  width_ = kClientWidth;
  height_ = kClientHeight;
  SDL_GetWindowSize(window_, &width_, &height_);
}

SdlMainWindow::~SdlMainWindow() {
  if (source_) SDL_FreeSurface(source_);
  if (window_) SDL_DestroyWindow(window_);
  SDL_Quit();
}

// SDL's own wait, leaving any event in the queue; the stop signals are looked at on waking, at
// the latest by the deadline.
void SdlMainWindow::waitUntil(LoopClock::time_point deadline) {
  pumped_ = false;
  const auto left = std::max(deadline - LoopClock::now(), LoopClock::duration::zero());
  SDL_WaitEventTimeout(
      nullptr, static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
}

std::optional<HostEvent> SdlMainWindow::nextEvent() {
  if (stop_ && stop_->requested()) return HostEvent{HostEvent::Kind::kEnd};
  // One pump per wake: read what the window system sent, then hand it out event by event.
  if (!pumped_) {
    SDL_PumpEvents();
    pumped_ = true;
  }
  SDL_Event event;
  while (SDL_PeepEvents(&event, 1, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT) > 0) {
    switch (event.type) {
      case SDL_QUIT:
        return HostEvent{HostEvent::Kind::kEnd};
      case SDL_KEYDOWN:
        if (event.key.keysym.sym == SDLK_F11) {
          if (event.key.repeat == 0) toggleFullscreen();
        } else if (const auto key = keyAscii(event.key.keysym)) {
          return HostEvent{HostEvent::Kind::kKey, *key};
        }
        break;
      case SDL_WINDOWEVENT:
        if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
          return HostEvent{HostEvent::Kind::kResized, 0, event.window.data1, event.window.data2};
        }
        if (event.window.event == SDL_WINDOWEVENT_EXPOSED) return HostEvent::lost();
        break;
      default:
        break;
    }
  }
  return std::nullopt;
}

void SdlMainWindow::toggleFullscreen() {
  const bool now = (SDL_GetWindowFlags(window_) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0;
  SDL_SetWindowFullscreen(window_, now ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
}

void SdlMainWindow::present(const Canvas& canvas, const FramePlan& plan) {
  int windowWidth = 0;
  int windowHeight = 0;
  SDL_GetWindowSize(window_, &windowWidth, &windowHeight);
  if (static_cast<std::int64_t>(windowWidth) * windowHeight > kMaxSurfacePixels) return;
  SDL_Surface* screen = SDL_GetWindowSurface(window_);
  if (!screen) drawingFailed();
  const int storedWidth = canvas.storedWidth();
  const int storedHeight = canvas.storedHeight();
  const void* pixels = storedWidth > 0 && storedHeight > 0 ? canvas.row(0) : nullptr;
  if (!source_ || sourcePixels_ != pixels || source_->w != storedWidth ||
      source_->h != storedHeight || source_->pitch != canvas.stride() * 4) {
    if (source_) SDL_FreeSurface(source_);
    source_ = nullptr;
    sourcePixels_ = nullptr;
    if (pixels) {
      // The canvas packs red + 256 green + 65536 blue: exactly SDL's XBGR8888, so SDL reads the
      // buffer in place and converts to the screen's format in its blitter.
      source_ =
          SDL_CreateRGBSurfaceWithFormatFrom(const_cast<void*>(pixels), storedWidth, storedHeight,
                                             32, canvas.stride() * 4, SDL_PIXELFORMAT_XBGR8888);
      if (!source_) drawingFailed();
      sourcePixels_ = pixels;
    }
  }
  // Only the planned parts are converted and sent to the X server.
  const Uint32 black = SDL_MapRGB(screen->format, 0, 0, 0);
  std::vector<SDL_Rect> areas;
  areas.reserve(plan.copy.size() + plan.black.size());
  for (const Rect& part : plan.copy) {
    SDL_Rect stored{part.left, part.top, part.right - part.left, part.bottom - part.top};
    SDL_Rect target = stored;
    if (source_ && SDL_BlitSurface(source_, &stored, screen, &target) != 0) drawingFailed();
    areas.push_back(stored);
  }
  for (const Rect& part : plan.black) {
    const SDL_Rect area{part.left, part.top, part.right - part.left, part.bottom - part.top};
    if (SDL_FillRect(screen, &area, black) != 0) drawingFailed();
    areas.push_back(area);
  }
  if (SDL_UpdateWindowSurfaceRects(window_, areas.data(), static_cast<int>(areas.size())) != 0) {
    drawingFailed();
  }
}

}  // namespace walkers
