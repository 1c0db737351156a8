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
struct wp_viewporter;
struct wp_fractional_scale_manager_v1;
struct xdg_wm_base;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;

namespace walkers {

class WaylandKeyboard;
struct WaylandKey;

// No Wayland display to draw on (none answers, or it lacks what walkers needs); the message is
// one line saying why.
class WaylandError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// No compositor answers at $WAYLAND_DISPLAY: nothing is there, or what is there never answered
// the first round trip within kHandshakeDeadline.
class WaylandUnreachable : public WaylandError {
 public:
  using WaylandError::WaylandError;
};

// How long the compositor has to answer the first round trips after accepting the connection.
inline constexpr std::chrono::seconds kHandshakeDeadline{5};

// $WAYLAND_DISPLAY (or libwayland's default, "wayland-0") made safe for a one-line message:
// escaped and cut short like every echoed value (see escapeForMessage).
std::string shownWaylandName();

// One line for a failed wl_display_connect, `code` being its errno: "cannot connect to the
// Wayland compositor \"NAME\": WHY", where WHY names an unset XDG_RUNTIME_DIR, a name that is
// missing or no socket (a regular file, a FIFO, ...), or the error.
std::string waylandConnectFailure(int code);

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
  int scale = 1;      // wl_output's whole-number scale: a fractional 1.5 is given as 2
  int transform = 0;  // wl_output_transform: odd values turn the mode a quarter
  // Its size in the compositor's logical pixels, turned, from xdg-output; 0 while unknown (a
  // compositor without xdg-output). The mode over it is the exact scale, such as 1.5.
  int logicalWidth = 0;
  int logicalHeight = 0;
  zxdg_output_v1* xdgOutput = nullptr;

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
    // A key went down and the keymap read it (with `input`).
    std::function<void(const WaylandKey&)> keyPressed;
  };
  // What the surfaces are: layer surfaces (the desktop, the screensaver) or a toplevel window.
  enum class Shell { kLayer, kToplevel };

  // Connects to $WAYLAND_DISPLAY and reads the globals and outputs; with `input`, the seat's
  // keyboard and pointer too. Throws WaylandUnreachable when nothing answers (also when the
  // compositor accepts the connection but has not answered within kHandshakeDeadline),
  // WaylandError when the compositor lacks the `shell` (the layer shell, or xdg-shell's
  // xdg_wm_base). A stop signal meanwhile ends the process with status 0 (StopSignals's own
  // deadline).
  explicit WaylandDisplay(bool input, Shell shell = Shell::kLayer);
  ~WaylandDisplay();
  WaylandDisplay(const WaylandDisplay&) = delete;
  WaylandDisplay& operator=(const WaylandDisplay&) = delete;

  void setCallbacks(Callbacks callbacks) { callbacks_ = std::move(callbacks); }

  wl_display* display() const { return display_; }
  wl_compositor* compositor() const { return compositor_; }
  wl_shm* shm() const { return shm_; }
  zwlr_layer_shell_v1* layerShell() const { return layerShell_; }
  // Offered by most compositors, each may be null: buffers shown at another size than their
  // own, and the exact scale (such as 1.5) the compositor would like a surface drawn at.
  wp_viewporter* viewporter() const { return viewporter_; }
  wp_fractional_scale_manager_v1* fractionalScale() const { return fractionalScale_; }
  xdg_wm_base* wmBase() const { return wmBase_; }
  // The seat's keyboard while it has one (with `input`), else null.
  WaylandKeyboard* keyboard() const { return keyboard_.get(); }
  // Whether buffers may hold the canvas's own pixel order (red in the low byte).
  bool canvasOrder() const { return canvasOrder_; }
  const std::vector<std::unique_ptr<WaylandOutput>>& outputs() const { return outputs_; }

  // Sleeps until the compositor sends something, `otherFd` becomes readable or `deadline` comes,
  // then dispatches whatever arrived.
  void wait(std::chrono::steady_clock::time_point deadline, int otherFd);
  // Sends requests made since the last wait.
  void flush();

  // How many key presses, button presses and pointer movements arrived so far (with `input`),
  // counting keys found down when the keyboard entered a surface, and a keyboard that appeared
  // after the seat was first described (someone plugged it in, or started a virtual one).
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
  void release() noexcept;                        // everything bound, then the connection
  void describeLogically(WaylandOutput& output);  // asks xdg-output for its logical size
  static void forget(WaylandOutput& output);      // its objects destroyed
  // One round trip that must end by `deadline`, else WaylandUnreachable.
  void roundtripBy(std::chrono::steady_clock::time_point deadline);

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_compositor* compositor_ = nullptr;
  wl_shm* shm_ = nullptr;
  zwlr_layer_shell_v1* layerShell_ = nullptr;
  wp_viewporter* viewporter_ = nullptr;
  wp_fractional_scale_manager_v1* fractionalScale_ = nullptr;
  xdg_wm_base* wmBase_ = nullptr;
  zxdg_output_manager_v1* xdgOutputs_ = nullptr;
  wl_seat* seat_ = nullptr;
  std::unique_ptr<WaylandKeyboard> keyboard_;
  bool seatDescribed_ = false;  // the seat's first capabilities arrived
  wl_pointer* pointer_ = nullptr;
  bool input_ = false;
  Shell shell_ = Shell::kLayer;
  bool canvasOrder_ = false;
  std::uint64_t inputs_ = 0;
  int outputsSeen_ = 0;
  std::vector<std::unique_ptr<WaylandOutput>> outputs_;
  Callbacks callbacks_;
};

}  // namespace walkers
