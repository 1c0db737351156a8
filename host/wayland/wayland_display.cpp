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

#include "layer_shell-client.h"

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
    // geometry: position, physical size, make and model; nothing walkers needs
    [](void*, wl_output*, std::int32_t, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
       const char*, const char*, std::int32_t) {},
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

constexpr wl_seat_listener seatListener = {
    [](void* data, wl_seat*, std::uint32_t capabilities) {
      self(data).onSeatCapabilities(capabilities);
    },
    [](void*, wl_seat*, const char*) {},  // name
};

constexpr wl_keyboard_listener keyboardListener = {
    // keymap: walkers reads no characters here, only that a key went down
    [](void*, wl_keyboard*, std::uint32_t, std::int32_t fd, std::uint32_t) { ::close(fd); },
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {},  // enter
    [](void*, wl_keyboard*, std::uint32_t, wl_surface*) {},             // leave
    [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
      if (state == WL_KEYBOARD_KEY_STATE_PRESSED) self(data).onInput();
    },
    [](void*, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
       std::uint32_t) {},                                    // modifiers
    [](void*, wl_keyboard*, std::int32_t, std::int32_t) {},  // repeat_info
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

WaylandDisplay::WaylandDisplay(bool input) : input_(input) {
  wl_log_set_handler_client(keepComplaint);
  display_ = wl_display_connect(nullptr);
  if (!display_) throw WaylandUnreachable("cannot connect to display \"" + displayName() + "\"");
  try {
    registry_ = wl_display_get_registry(display_);
    wl_registry_add_listener(registry_, &registryListener, this);
    roundtrip();  // the globals
    roundtrip();  // the outputs' descriptions and the shared-memory formats
    if (!layerShell_) {
      throw WaylandError("the compositor at \"" + displayName() +
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

void WaylandDisplay::release() noexcept {
  for (auto& output : outputs_) {
    delete static_cast<OutputData*>(wl_output_get_user_data(output->output));
    wl_output_destroy(output->output);
  }
  if (keyboard_) wl_keyboard_destroy(keyboard_);
  if (pointer_) wl_pointer_destroy(pointer_);
  if (seat_) wl_seat_destroy(seat_);
  if (layerShell_) zwlr_layer_shell_v1_destroy(layerShell_);
  if (shm_) wl_shm_destroy(shm_);
  if (compositor_) wl_compositor_destroy(compositor_);
  if (registry_) wl_registry_destroy(registry_);
  if (display_) {
    wl_display_flush(display_);
    wl_display_disconnect(display_);
  }
}

void WaylandDisplay::roundtrip() {
  if (wl_display_roundtrip(display_) < 0) lost();
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
  } else if (kind == wl_seat_interface.name && input_ && !seat_) {
    seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
    wl_seat_add_listener(seat_, &seatListener, this);
  } else if (kind == wl_output_interface.name) {
    auto output = std::make_unique<WaylandOutput>();
    output->global = name;
    output->name = "output " + std::to_string(++outputsSeen_);
    output->output = static_cast<wl_output*>(bind(&wl_output_interface, 4));
    wl_output_add_listener(output->output, &outputListener, new OutputData{this, output.get()});
    outputs_.push_back(std::move(output));
  }
}

void WaylandDisplay::onGlobalRemove(std::uint32_t name) {
  const auto found = std::find_if(outputs_.begin(), outputs_.end(),
                                  [name](const auto& output) { return output->global == name; });
  if (found == outputs_.end()) return;
  if ((*found)->ready && callbacks_.outputRemoved) callbacks_.outputRemoved(**found);
  delete static_cast<OutputData*>(wl_output_get_user_data((*found)->output));
  wl_output_destroy((*found)->output);
  outputs_.erase(found);
}

void WaylandDisplay::onOutputDone(WaylandOutput& output) const {
  output.ready = true;
  if (callbacks_.outputChanged) callbacks_.outputChanged(output);
}

// Keyboards and mice come and go (a virtual keyboard lives only while its program runs): each
// time one comes back, it needs a fresh object.
void WaylandDisplay::onSeatCapabilities(std::uint32_t capabilities) {
  const bool keyboard = (capabilities & WL_SEAT_CAPABILITY_KEYBOARD) != 0;
  if (keyboard && !keyboard_) {
    keyboard_ = wl_seat_get_keyboard(seat_);
    wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
  } else if (!keyboard && keyboard_) {
    wl_keyboard_destroy(keyboard_);
    keyboard_ = nullptr;
  }
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
  const auto left = deadline - std::chrono::steady_clock::now();
  const int timeout =
      left <= std::chrono::steady_clock::duration::zero()
          ? 0
          : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
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
    why = "the connection to \"" + displayName() + "\" was broken";
  }
  const std::string line = "walkers: lost the display: " + why + "\n";
  const ssize_t written = ::write(STDERR_FILENO, line.data(), line.size());
  static_cast<void>(written);  // nothing more can be done about a failed write here
  ::_exit(1);
}

}  // namespace walkers
