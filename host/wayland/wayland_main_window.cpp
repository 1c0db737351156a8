// The own window on Wayland: the toplevel's role, its configure events, keys and fullscreen.
#include "host/wayland/wayland_main_window.hpp"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "host/core/refresh_period.hpp"
#include "host/wayland/wayland_keyboard.hpp"
#include "xdg_shell-client.h"

namespace walkers {
namespace {

// How long the window waits for its first size before it goes on at its own.
constexpr std::chrono::seconds kFirstConfigureWait{5};
// How long it then waits to be put on an output before it goes on at scale 1.
constexpr std::chrono::seconds kFirstOutputWait{1};

WaylandMainWindow& self(void* data) { return *static_cast<WaylandMainWindow*>(data); }

constexpr xdg_surface_listener surfaceListener = {
    [](void* data, xdg_surface*, std::uint32_t serial) { self(data).onConfigure(serial); },
};

constexpr wl_surface_listener enterListener = {
    [](void* data, wl_surface*, wl_output* output) { self(data).onEnter(output); },
    [](void* data, wl_surface*, wl_output* output) { self(data).onLeave(output); },
};

// How many screen pixels an output has per logical pixel, as far as it says.
double density(const OutputPixels& output) {
  if (output.modeWidth > 0 && output.logicalWidth > 0) {
    return static_cast<double>(output.modeWidth) / output.logicalWidth;
  }
  return output.scale;
}

constexpr xdg_toplevel_listener toplevelListener = {
    [](void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array* states) {
      self(data).onToplevelConfigure(width, height, states);
    },
    [](void* data, xdg_toplevel*) { self(data).onClose(); },
    [](void*, xdg_toplevel*, std::int32_t, std::int32_t) {},  // configure_bounds
    [](void*, xdg_toplevel*, wl_array*) {},                   // wm_capabilities
};

// The character code a key press stands for, as the form's KeyPress sees it: the character it
// types when that is ASCII (Return and keypad Enter 13, Escape 27, Ctrl with a letter its
// control code), nothing for keys that type none or something else.
std::optional<std::int16_t> keyAscii(const WaylandKey& key) {
  if (key.character == 0 || key.character >= 127) return std::nullopt;
  return static_cast<std::int16_t>(key.character);
}

}  // namespace

WaylandMainWindow::WaylandMainWindow(bool fullscreen, StopRequest* stop)
    : PaintedSurface(connection, stop, kMaxSurfacePixels) {
  connection.setCallbacks({[this](WaylandOutput& output) {
                             if (isOn(output)) showAnew();
                           },
                           [this](WaylandOutput& output) { std::erase(entered_, output.output); },
                           [this](const WaylandKey& key) { onKey(key); }});
  wl_surface_add_listener(surface_, &enterListener, this);
  xdgSurface_ = xdg_wm_base_get_xdg_surface(connection.wmBase(), surface_);
  xdg_surface_add_listener(xdgSurface_, &surfaceListener, this);
  toplevel_ = xdg_surface_get_toplevel(xdgSurface_);
  xdg_toplevel_add_listener(toplevel_, &toplevelListener, this);
  xdg_toplevel_set_title(toplevel_, kCaption);
  xdg_toplevel_set_app_id(toplevel_, "walkers");
  if (fullscreen) xdg_toplevel_set_fullscreen(toplevel_, nullptr);
  wl_surface_commit(surface_);  // asks for the first configure
  // The form is made at the window's first size.
  const auto deadline = LoopClock::now() + kFirstConfigureWait;
  while (!sized_ && LoopClock::now() < deadline) connection.wait(deadline, -1);
  if (!sized_) {
    sized_ = true;
    showAnew();
  }
  // Then at its size on the output it is put on, which the compositor says once it is shown.
  commitBlack();
  const auto placed = LoopClock::now() + kFirstOutputWait;
  while ((entered_.empty() || !preferredScaleKnown()) && LoopClock::now() < placed) {
    connection.wait(placed, -1);
  }
}

// The role goes before the surface, which the base class destroys.
WaylandMainWindow::~WaylandMainWindow() {
  xdg_toplevel_destroy(toplevel_);
  xdg_surface_destroy(xdgSurface_);
}

void WaylandMainWindow::onToplevelConfigure(std::int32_t width, std::int32_t height,
                                            const wl_array* states) {
  pendingWidth_ = width;
  pendingHeight_ = height;
  pendingFullscreen_ = false;
  const auto* state = static_cast<const std::uint32_t*>(states->data);
  for (std::size_t k = 0; k < states->size / sizeof *state; ++k) {
    if (state[k] == XDG_TOPLEVEL_STATE_FULLSCREEN) pendingFullscreen_ = true;
  }
}

// A size of zero leaves it to the window: the size it had when not fullscreen.
void WaylandMainWindow::onConfigure(std::uint32_t serial) {
  xdg_surface_ack_configure(xdgSurface_, serial);
  fullscreen_ = pendingFullscreen_;
  int width = pendingWidth_;
  int height = pendingHeight_;
  if (width <= 0 || height <= 0) {
    width = windowedWidth_;
    height = windowedHeight_;
  } else if (!fullscreen_) {
    windowedWidth_ = width;
    windowedHeight_ = height;
  }
  logicalWidth_ = width;
  logicalHeight_ = height;
  sized_ = true;
  // The compositor waits for a commit after the acknowledgement: when no new frame follows, the
  // surface as it is.
  if (!showAnew()) wl_surface_commit(surface_);
}

void WaylandMainWindow::onEnter(wl_output* output) {
  if (std::find(entered_.begin(), entered_.end(), output) == entered_.end()) {
    entered_.push_back(output);
  }
  showAnew();
}

void WaylandMainWindow::onLeave(wl_output* output) {
  std::erase(entered_, output);
  showAnew();
}

bool WaylandMainWindow::isOn(const WaylandOutput& output) const {
  return std::find(entered_.begin(), entered_.end(), output.output) != entered_.end();
}

bool WaylandMainWindow::showAnew() {
  if (!sized_) return false;
  const WaylandOutput* sharpest = nullptr;
  for (const auto& output : connection.outputs()) {
    if (!output->ready || !isOn(*output)) continue;
    if (!sharpest || density(outputPixels(*output)) > density(outputPixels(*sharpest))) {
      sharpest = output.get();
    }
  }
  if (sharpest) on_ = outputPixels(*sharpest);
  return showAt(logicalWidth_, logicalHeight_, on_);
}

void WaylandMainWindow::onClose() { events_.push_back({HostEvent::Kind::kEnd}); }

void WaylandMainWindow::onKey(const WaylandKey& key) {
  if (key.keysym == XKB_KEY_F11) {
    if (key.repeat) return;
    if (fullscreen_) {
      xdg_toplevel_unset_fullscreen(toplevel_);
    } else {
      xdg_toplevel_set_fullscreen(toplevel_, nullptr);
    }
    return;
  }
  if (const auto code = keyAscii(key)) events_.push_back({HostEvent::Kind::kKey, *code});
}

// Sleeps as the base does, but no longer than until the held key repeats.
void WaylandMainWindow::waitUntil(LoopClock::time_point deadline) {
  WaylandKeyboard* keyboard = connection.keyboard();
  if (const auto repeat = keyboard ? keyboard->nextRepeat() : std::nullopt) {
    deadline = std::min(deadline, *repeat);
  }
  PaintedSurface::waitUntil(deadline);
  if ((keyboard = connection.keyboard())) keyboard->repeatUntil(LoopClock::now());
}

// The fastest output's: frames wait for the compositor's callbacks, which follow the output the
// window is on.
LoopClock::duration WaylandMainWindow::framePeriod() const {
  int milliHz = 0;
  for (const auto& output : connection.outputs()) {
    milliHz = std::max(milliHz, output->refreshMilliHz);
  }
  return refreshPeriodOf(milliHz / 1000.0);
}

}  // namespace walkers
