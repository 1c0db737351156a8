// The Wayland connection: binding globals, describing outputs, counting input, waiting, faults.
#include "host/wayland/wayland_display.hpp"

#include <poll.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/option_text.hpp"
#include "fractional_scale-client.h"
#include "host/core/wait_time.hpp"
#include "host/unix/socket_check.hpp"
#include "host/wayland/wayland_keyboard.hpp"
#include "layer_shell-client.h"
#include "viewporter-client.h"
#include "xdg_output-client.h"
#include "xdg_shell-client.h"

namespace walkers {
namespace {

// libwayland's own complaint about the last fault, kept for our one line instead of printed.
char lastComplaint[256] = "";

void keepComplaint(const char* format, va_list arguments) {
  std::vsnprintf(lastComplaint, sizeof lastComplaint, format, arguments);
  const std::size_t length = std::strlen(lastComplaint);
  if (length > 0 && lastComplaint[length - 1] == '\n') lastComplaint[length - 1] = '\0';
}

std::string displayName() {
  const char* name = std::getenv("WAYLAND_DISPLAY");
  return name && *name ? name : "wayland-0";
}

std::string whyUnreachable(int code) {
  if (code == EMFILE || code == ENFILE || code == ENOMEM) return std::strerror(code);
  std::string path = displayName();
  if (path.front() != '/') {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (!runtime || !*runtime) {
      return "XDG_RUNTIME_DIR is not set (it holds the compositor's socket)";
    }
    if (*runtime != '/') return "XDG_RUNTIME_DIR is not an absolute path";
    path = std::string(runtime) + "/" + path;
  }
  const std::string why = whySocketRefuses(path);
  return why.empty() ? std::strerror(code != 0 ? code : ECONNREFUSED) : why;
}

constexpr wl_callback_listener doneListener = {
    [](void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; },
};

WaylandDisplay& self(void* data) { return *static_cast<WaylandDisplay*>(data); }

constexpr wl_registry_listener registryListener = {
    [](void* data, wl_registry* registry, std::uint32_t name, const char* interface,
       std::uint32_t version) { self(data).onGlobal(registry, name, interface, version); },
    [](void* data, wl_registry*, std::uint32_t name) { self(data).onGlobalRemove(name); },
};

constexpr wl_shm_listener shmListener = {
    [](void* data, wl_shm*, std::uint32_t format) { self(data).onShmFormat(format); },
};

// The owning display is found through the output's user data chain: output -> display.
struct OutputData {
  WaylandDisplay* display;
  WaylandOutput* output;
};

constexpr wl_output_listener outputListener = {
    // geometry: position, physical size, make and model; only the transform matters here
    [](void* data, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
       const char*, const char*,
       std::int32_t transform) { static_cast<OutputData*>(data)->output->transform = transform; },
    // mode: the current one gives the size in pixels and the refresh rate
    [](void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height,
       std::int32_t refresh) {
      if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
      auto& output = *static_cast<OutputData*>(data)->output;
      output.width = width;
      output.height = height;
      output.refreshMilliHz = refresh;
    },
    // done: a description is complete
    [](void* data, wl_output*) {
      auto& link = *static_cast<OutputData*>(data);
      link.display->onOutputDone(*link.output);
    },
    [](void* data, wl_output*, std::int32_t factor) {
      static_cast<OutputData*>(data)->output->scale = std::max(1, factor);
    },
    [](void* data, wl_output*, const char* name) {
      static_cast<OutputData*>(data)->output->name = name;
    },
    [](void*, wl_output*, const char*) {},  // description
};

// xdg-output: the output's logical size, from which its exact scale follows. Before version 3 a
// description ends with a done of its own, after the core protocol's.
constexpr zxdg_output_v1_listener xdgOutputListener = {
    [](void*, zxdg_output_v1*, std::int32_t, std::int32_t) {},  // logical_position
    [](void* data, zxdg_output_v1*, std::int32_t width, std::int32_t height) {
      auto& output = *static_cast<OutputData*>(data)->output;
      output.logicalWidth = std::max(0, width);
      output.logicalHeight = std::max(0, height);
    },
    [](void* data, zxdg_output_v1*) {
      auto& link = *static_cast<OutputData*>(data);
      if (link.output->ready) link.display->onOutputDone(*link.output);
    },
    [](void*, zxdg_output_v1*, const char*) {},  // name
    [](void*, zxdg_output_v1*, const char*) {},  // description
};

constexpr wl_seat_listener seatListener = {
    [](void* data, wl_seat*, std::uint32_t capabilities) {
      self(data).onSeatCapabilities(capabilities);
    },
    [](void*, wl_seat*, const char*) {},  // name
};

// The window manager checks that the window still answers.
constexpr xdg_wm_base_listener wmBaseListener = {
    [](void*, xdg_wm_base* base, std::uint32_t serial) { xdg_wm_base_pong(base, serial); },
};

constexpr wl_pointer_listener pointerListener = {
    [](void*, wl_pointer*, std::uint32_t, wl_surface*, wl_fixed_t, wl_fixed_t) {},  // enter
    [](void*, wl_pointer*, std::uint32_t, wl_surface*) {},                          // leave
    [](void* data, wl_pointer*, std::uint32_t, wl_fixed_t, wl_fixed_t) { self(data).onInput(); },
    [](void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
      if (state == WL_POINTER_BUTTON_STATE_PRESSED) self(data).onInput();
    },
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) {},  // axis
    [](void*, wl_pointer*) {},                                            // frame
    [](void*, wl_pointer*, std::uint32_t) {},                             // axis_source
    [](void*, wl_pointer*, std::uint32_t, std::uint32_t) {},              // axis_stop
    [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},               // axis_discrete
    [](void*, wl_pointer*, std::uint32_t, std::int32_t) {},               // axis_value120
};

}  // namespace

std::string shownWaylandName() { return escapeForMessage(displayName(), kEchoLimit); }

std::string waylandConnectFailure(int code) {
  // Built by appending (GCC 12 misreports chained +).
  std::string line = "cannot connect to the Wayland compositor \"";
  line.append(shownWaylandName()).append("\": ").append(whyUnreachable(code));
  return line;
}

WaylandDisplay::WaylandDisplay(bool input, Shell shell) : input_(input), shell_(shell) {
  wl_log_set_handler_client(keepComplaint);
  errno = 0;
  display_ = wl_display_connect(nullptr);
  if (!display_) throw WaylandUnreachable(waylandConnectFailure(errno));
  try {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    // A compositor that accepted the connection but never answers must not hold walkers silent
    // for ever: both round trips share one deadline.
    const auto deadline = std::chrono::steady_clock::now() + kHandshakeDeadline;
    roundtripBy(deadline);  // the globals
    roundtripBy(deadline);  // the outputs' descriptions and the shared-memory formats
    if (shell_ == Shell::kToplevel && !wmBase_) {
      throw WaylandError("the compositor at \"" + shownWaylandName() +
                         "\" has no xdg-shell (xdg_wm_base) to open a window with");
    }
    if (shell_ == Shell::kLayer && !layerShell_) {
      throw WaylandError("the compositor at \"" + shownWaylandName() +
                         "\" has no layer shell (zwlr_layer_shell_v1) to put surfaces on the "
                         "desktop; GNOME has none (see the README)");
    }
    if (!compositor_ || !shm_) throw WaylandError("the compositor lacks wl_compositor or wl_shm");
  } catch (...) {
    release();  // the destructor does not run for a constructor that throws
    throw;
  }
}

WaylandDisplay::~WaylandDisplay() { release(); }

void WaylandDisplay::forget(WaylandOutput& output) {
  if (output.xdgOutput) zxdg_output_v1_destroy(output.xdgOutput);
  delete static_cast<OutputData*>(wl_output_get_user_data(output.output));
  wl_output_destroy(output.output);
}

void WaylandDisplay::describeLogically(WaylandOutput& output) {
  if (!xdgOutputs_ || output.xdgOutput) return;
  output.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, output.output);
  zxdg_output_v1_add_listener(output.xdgOutput, &xdgOutputListener,
                              wl_output_get_user_data(output.output));
}

void WaylandDisplay::release() noexcept {
  for (auto& output : outputs_) forget(*output);
  keyboard_.reset();
  if (pointer_) wl_pointer_destroy(pointer_);
  if (seat_) wl_seat_destroy(seat_);
  if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
  if (viewporter_) wp_viewporter_destroy(viewporter_);
  if (fractionalScale_) wp_fractional_scale_manager_v1_destroy(fractionalScale_);
  if (wmBase_) xdg_wm_base_destroy(wmBase_);
  if (xdgOutputs_) zxdg_output_manager_v1_destroy(xdgOutputs_);
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  if (display_) {
    wl_display_flush(display_);
    wl_display_disconnect(display_);
  }
}

void WaylandDisplay::roundtripBy(std::chrono::steady_clock::time_point deadline) {
  bool done = false;
  wl_callback* callback = wl_display_sync(display_);
  wl_callback_add_listener(callback, &doneListener, &done);
  while (!done && std::chrono::steady_clock::now() < deadline) wait(deadline, -1);
  wl_callback_destroy(callback);
  if (!done) {
    std::string line = "cannot connect to the Wayland compositor \"";
    line.append(shownWaylandName())
        .append("\": it took the connection but did not answer within ")
        .append(std::to_string(kHandshakeDeadline.count()))
        .append(" s");
    throw WaylandUnreachable(line);
  }
}

void WaylandDisplay::onGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                              std::uint32_t version) {
  const std::string_view kind = interface;
  auto bind = [&](const wl_interface* type, std::uint32_t highest) {
    return wl_registry_bind(registry, name, type, std::min(version, highest));
  };
  if (kind == wl_compositor_interface.name && !compositor_) {
    if (version < 4) return;  // buffer damage and buffer scale need version 4
    compositor_ = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (kind == wl_shm_interface.name && !shm_) {
    shm_ = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
    wl_shm_add_listener(shm_, &shmListener, this);
  } else if (kind == zwlr_layer_shell_v1_interface.name && !layerShell_) {
    layerShell_ = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 1));
  } else if (kind == wp_viewporter_interface.name && !viewporter_) {
    viewporter_ = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
  } else if (kind == wp_fractional_scale_manager_v1_interface.name && !fractionalScale_) {
    fractionalScale_ = static_cast<wp_fractional_scale_manager_v1*>(
        bind(&wp_fractional_scale_manager_v1_interface, 1));
  } else if (kind == xdg_wm_base_interface.name && shell_ == Shell::kToplevel && !wmBase_) {
    wmBase_ = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 1));
    xdg_wm_base_add_listener(wmBase_, &wmBaseListener, this);
  } else if (kind == zxdg_output_manager_v1_interface.name && !xdgOutputs_) {
    xdgOutputs_ = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3));
    for (auto& output : outputs_) describeLogically(*output);
  } else if (kind == wl_seat_interface.name && input_ && !seat_) {
    // Version 4 for the keyboard's repeat rate.
    seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 4));
    wl_seat_add_listener(seat_, &seatListener, this);
  } else if (kind == wl_output_interface.name) {
    auto output = std::make_unique<WaylandOutput>();
    output->global = name;
    output->name = "output " + std::to_string(++outputsSeen_);
    output->output = static_cast<wl_output*>(bind(&wl_output_interface, 4));
    wl_output_add_listener(output->output, &outputListener, new OutputData{this, output.get()});
    describeLogically(*output);
    outputs_.push_back(std::move(output));
  }
}

void WaylandDisplay::onGlobalRemove(std::uint32_t name) {
  const auto found = std::find_if(outputs_.begin(), outputs_.end(),
                                  [name](const auto& output) { return output->global == name; });
  if (found == outputs_.end()) return;
  if ((*found)->ready && callbacks_.outputRemoved) callbacks_.outputRemoved(**found);
  forget(**found);
  outputs_.erase(found);
}

void WaylandDisplay::onOutputDone(WaylandOutput& output) const {
  output.ready = true;
  if (callbacks_.outputChanged) callbacks_.outputChanged(output);
}

// Keyboards and mice come and go (a virtual keyboard lives only while its program runs): each
// time one comes back, it needs a fresh object. A keyboard that appears later is itself input:
// a program that makes one and types at once (wtype, an on-screen keyboard) may be done typing
// before the new object is bound, and the compositor sends the keys to the objects it has.
void WaylandDisplay::onSeatCapabilities(std::uint32_t capabilities) {
  const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  if (keyboard && !keyboard_) {
    if (seatDescribed_) onInput();
    keyboard_ = std::make_unique<WaylandKeyboard>(
        seat_, WaylandKeyboard::Callbacks{[this] { onInput(); },
                                          [this](const WaylandKey& key) {
                                            if (callbacks_.keyPressed) callbacks_.keyPressed(key);
                                          }});
  } else if (!keyboard && keyboard_) {
    keyboard_.reset();
  }
  seatDescribed_ = true;
  const bool pointer = (capabilities & WL_SEAT_CAPABILITY_POINTER) != 0;
  if (pointer && !pointer_) {
    pointer_ = wl_seat_get_pointer(seat_);
    wl_pointer_add_listener(pointer_, &pointerListener, this);
  } else if (!pointer && pointer_) {
    wl_pointer_destroy(pointer_);
    pointer_ = nullptr;
  }
}

void WaylandDisplay::onShmFormat(std::uint32_t format) {
  if (format == WL_SHM_FORMAT_XBGR8888) canvasOrder_ = true;
}

void WaylandDisplay::flush() {
  if (wl_display_flush(display_) < 0 && errno != EAGAIN) lost();
}

void WaylandDisplay::wait(std::chrono::steady_clock::time_point deadline, int otherFd) {
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) lost();
  }
  const bool sent = wl_display_flush(display_) >= 0;
  if (!sent && errno != EAGAIN) {
    wl_display_cancel_read(display_);
    lost();
  }
  const int timeout = waitMilliseconds(deadline, std::chrono::steady_clock::now());
  const auto connection = static_cast<short>(POLLIN | (sent ? 0 : POLLOUT));
  pollfd inputs[2] = {{wl_display_get_fd(display_), connection, 0}, {otherFd, POLLIN, 0}};
  if (::poll(inputs, 2, timeout) > 0 && (inputs[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
    if (wl_display_read_events(display_) < 0) lost();
  } else {
    wl_display_cancel_read(display_);
  }
  if (wl_display_dispatch_pending(display_) < 0) lost();
}

void lostWayland(wl_display* display) {
  std::string why;
  const int code = wl_display_get_error(display);
  if (code == EPROTO) {
    const wl_interface* interface = nullptr;
    std::uint32_t id = 0;
    const std::uint32_t error = wl_display_get_protocol_error(display, &interface, &id);
    why = "the compositor refused a request (error " + std::to_string(error) + " on " +
          (interface ? interface->name : "the display") + ")";
    if (*lastComplaint) why += std::string(": ") + lastComplaint;
  } else {
    why = "the connection to \"" + shownWaylandName() + "\" was broken";
  }
  const std::string line = "walkers: lost the display: " + why + "\n";
  const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  static_cast<void>(written);  // nothing more can be done about a failed write here
  ::_exit(1);
}

}  // namespace walkers
