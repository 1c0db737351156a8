// The Wayland connection for surfaces on the compositor's layers: globals, outputs, input, waits.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_compositor;
struct wl_shm;
struct wl_seat;
struct wl_keyboard;
struct wl_pointer;
struct wl_output;
struct zwlr_layer_shell_v1;

namespace walkers {

// No Wayland display to draw on (none answers, or it lacks what walkers needs); the message is
// one line saying why.
class WaylandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// No compositor answers at $WAYLAND_DISPLAY.
class WaylandUnreachable : public WaylandError {
 public:
  using WaylandError::WaylandError;
};

// Prints one line naming why the connection failed, "walkers: lost the display: ...", and ends
// the process with status 1.
[[noreturn]] void lostWayland(wl_display* display);

// One monitor as the core protocol describes it. Filled in by the output's events; `ready` once
// the first description is complete.
struct WaylandOutput {
  std::uint32_t global = 0;  // its name in the registry
  wl_output* output = nullptr;
  std::string name;  // "HDMI-A-1" and the like, from compositors that say; else "output N"
  int width = 0;     // the current mode, in pixels
  int height = 0;
  int refreshMilliHz = 0;
  int scale = 1;
  bool ready = false;
};

// The connection. Every event is dispatched on the calling thread, from wait() and dispatch().
// A lost connection or a protocol error prints one line, "walkers: lost the display: ...", and
// ends the process with status 1.
class WaylandDisplay {
 public:
  struct Callbacks {
    // An output appeared or its description changed (mode, scale); it is ready.
    std::function<void(WaylandOutput&)> outputChanged;
    // An output is about to go away; the reference is invalid afterwards.
    std::function<void(WaylandOutput&)> outputRemoved;
  };

  // Connects to $WAYLAND_DISPLAY and reads the globals and outputs; with `input`, the seat's
  // keyboard and pointer too. Throws WaylandUnreachable when nothing answers, WaylandError when
  // the compositor has no layer shell.
  explicit WaylandDisplay(bool input);
  ~WaylandDisplay();
  WaylandDisplay(const WaylandDisplay&) = delete;
  WaylandDisplay& operator=(const WaylandDisplay&) = delete;

  void setCallbacks(Callbacks callbacks) { callbacks_ = std::move(callbacks); }

  wl_display* display() const { return display_; }
  wl_compositor* compositor() const { return compositor_; }
  wl_shm* shm() const { return shm_; }
  zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
  // Whether buffers may hold the canvas's own pixel order (red in the low byte).
  bool canvasOrder() const { return canvasOrder_; }
  const std::vector<std::unique_ptr<WaylandOutput>>& outputs() const { return outputs_; }

  // Sleeps until the compositor sends something, `otherFd` becomes readable or `deadline` comes,
  // then dispatches whatever arrived.
  void wait(std::chrono::steady_clock::time_point deadline, int otherFd);
  // Sends requests made since the last wait.
  void flush();

  // How many key presses, button presses and pointer movements arrived so far (with `input`).
  std::uint64_t inputs() const { return inputs_; }

  [[noreturn]] void lost() const { lostWayland(display_); }

  // Handlers called from the C listeners.
  void onGlobal(wl_registry* registry, std::uint32_t name, const char* interface,
                std::uint32_t version);
  void onGlobalRemove(std::uint32_t name);
  void onOutputDone(WaylandOutput& output) const;
  void onSeatCapabilities(std::uint32_t capabilities);
  void onShmFormat(std::uint32_t format);
  void onInput() { ++inputs_; }

 private:
  void release() noexcept;  // everything bound, then the connection
  void roundtrip();

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wl_seat* seat_ = nullptr;
  wl_keyboard* keyboard_ = nullptr;
  wl_pointer* pointer_ = nullptr;
  bool input_ = false;
  bool canvasOrder_ = false;
  std::uint64_t inputs_ = 0;
  int outputsSeen_ = 0;
  std::vector<std::unique_ptr<WaylandOutput>> outputs_;
  Callbacks callbacks_;
};

}  // namespace walkers
