// The own window on X11: making it, turning its events into the loop's, keys, fullscreen, frames.
#include "host/x11/x11_main_window.hpp"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <iterator>

#include "host/core/seams.hpp"
#include "host/unix/page_memory.hpp"
#include "host/x11/x11_errors.hpp"
#include "host/x11/x11_image.hpp"
#include "host/x11/x11_refresh.hpp"
#include "host/x11/x11_window.hpp"

namespace walkers {
namespace {

constexpr long kEvents =
    StructureNotifyMask | ExposureMask | KeyPressMask | KeyReleaseMask | FocusChangeMask;

// How long the window waits for the window manager to map it before going on at its own size.
constexpr std::chrono::seconds kMapWait{5};

// _NET_WM_STATE's action that toggles a state, and the source that says an application asks.
constexpr long kToggle = 2;
constexpr long kFromApplication = 1;

// The character code a key press stands for, as the form's KeyPress sees it: Return and keypad
// Enter are 13, Escape 27, Backspace 8, Tab 9; with Ctrl a letter gives its control code and [
// gives 27, anything else nothing; otherwise the printable ASCII character the key types (Shift,
// Caps Lock and the layout applied). Keys that type no such character give nothing.
std::optional<std::int16_t> keyAscii(KeySym symbol, const char* text, int length,
                                     unsigned int modifiers) {
  switch (symbol) {
    case XK_Return:
    case XK_KP_Enter:
      return kKeyEnter;
    case XK_Escape:
      return kKeyEscape;
    case XK_BackSpace:
      return std::int16_t{8};
    case XK_Tab:
    case XK_ISO_Left_Tab:
      return std::int16_t{9};
    default:
      break;
  }
  if ((modifiers & ControlMask) != 0) {
    // Xlib would make control characters of digits and punctuation too (Ctrl+3 types Escape);
    // only letters and [ do here.
    const bool letter = (symbol >= XK_a && symbol <= XK_z) || (symbol >= XK_A && symbol <= XK_Z);
    if (letter || symbol == XK_bracketleft) return static_cast<std::int16_t>(symbol & 0x1f);
    return std::nullopt;
  }
  if (length != 1 || text[0] < ' ' || text[0] > '~') return std::nullopt;
  return static_cast<std::int16_t>(text[0]);
}

}  // namespace

struct X11MainWindow::State {
  Display* display = nullptr;
  X11Window window;  // its size as of the last event read
  StopRequest* stop = nullptr;
  Atom protocols = None;
  Atom deleteWindow = None;
  Atom wmState = None;
  Atom fullscreen = None;
  std::unique_ptr<X11SharedPixels> shared;  // the canvas's segments, when the visual suits them
  std::unique_ptr<X11Painter> painter;
  std::chrono::nanoseconds framePeriod{};
  int openedWidth = 0;
  int openedHeight = 0;
  int reportedWidth = 0;  // the size the loop was last told of
  int reportedHeight = 0;
  std::optional<Rect> exposed;  // bounds of a run of exposures not yet reported
  std::deque<HostEvent> events;
  bool pumped = false;   // the connection was read in this step of the loop
  bool f11Down = false;  // F11 toggles once per press: its repeats are ignored

  State(bool startFullscreen, StopRequest* stopRequest, bool waylandToo);
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  void open(bool startFullscreen);
  void waitForMap();
  void handle(XEvent& event);
  void key(XKeyEvent& event);
  void resized(int width, int height);
  void toggleFullscreen();
};

X11MainWindow::State::State(bool startFullscreen, StopRequest* stopRequest, bool waylandToo)
    : stop(stopRequest) {
  display = openDisplay(waylandToo);
  try {
    open(startFullscreen);
  } catch (...) {
    closeDisplayQuietly(display);
    throw;
  }
}

X11MainWindow::State::~State() {
  painter.reset();
  shared.reset();
  XDestroyWindow(display, window.id);
  XCloseDisplay(display);
}

void X11MainWindow::State::open(bool startFullscreen) {
  // The window takes the screen's visual: a screen walkers cannot draw on is refused before any
  // window appears.
  const Window root = DefaultRootWindow(display);
  window = checkWindow(display, root, "the display has no root window", 0, {"the display"});
  const char* names[] = {
      "WM_PROTOCOLS", "WM_DELETE_WINDOW", "_NET_WM_STATE", "_NET_WM_STATE_FULLSCREEN",
      "_NET_WM_NAME", "_NET_WM_PID",      "UTF8_STRING"};
  Atom atoms[std::size(names)] = {};
  XInternAtoms(display, const_cast<char**>(names), static_cast<int>(std::size(names)), False,
               atoms);
  protocols = atoms[0];
  deleteWindow = atoms[1];
  wmState = atoms[2];
  fullscreen = atoms[3];

  XSetWindowAttributes attributes{};
  attributes.background_pixel = window.layout.black();
  // Contents stay where they are when the window is resized: only the part it gains is exposed.
  attributes.bit_gravity = NorthWestGravity;
  attributes.event_mask = kEvents;
  const Window id = XCreateWindow(display, root, 0, 0, kClientWidth, kClientHeight, 0,
                                  CopyFromParent, InputOutput, CopyFromParent,
                                  CWBackPixel | CWBitGravity | CWEventMask, &attributes);
  routeXErrors(id);  // from now on its destruction by another program ends walkers
  window.id = id;
  window.width = kClientWidth;
  window.height = kClientHeight;

  // The caption, the size asked for, the class a desktop entry matches, and the client machine.
  XTextProperty caption{};
  char* text = const_cast<char*>(kCaption);
  XStringListToTextProperty(&text, 1, &caption);
  XSizeHints* size = XAllocSizeHints();
  size->flags = PSize;
  size->width = kClientWidth;
  size->height = kClientHeight;
  XWMHints* hints = XAllocWMHints();
  hints->flags = InputHint | StateHint;
  hints->input = True;
  hints->initial_state = NormalState;
  XClassHint* classHint = XAllocClassHint();
  char name[] = "walkers";
  classHint->res_name = name;
  classHint->res_class = name;
  XSetWMProperties(display, id, &caption, &caption, nullptr, 0, size, hints, classHint);
  XFree(classHint);
  XFree(hints);
  XFree(size);
  XFree(caption.value);
  XChangeProperty(display, id, atoms[4], atoms[6], 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(kCaption),
                  static_cast<int>(std::strlen(kCaption)));
  const long pid = ::getpid();  // xdotool and window managers find the process by it
  XChangeProperty(display, id, atoms[5], XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  XSetWMProtocols(display, id, &deleteWindow, 1);
  if (startFullscreen) {
    // Before mapping, the state is a property the window manager reads when it takes the window.
    XChangeProperty(display, id, wmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&fullscreen), 1);
  }
  // Held keys repeat as presses alone, without a release between them.
  XkbSetDetectableAutoRepeat(display, True, nullptr);
  XMapWindow(display, id);
  waitForMap();
  openedWidth = reportedWidth = window.width;
  openedHeight = reportedHeight = window.height;

  if (X11SharedPixels::suits(display, window)) shared = std::make_unique<X11SharedPixels>(display);
  painter = std::make_unique<X11Painter>(display, window, shared.get());
  framePeriod = refreshPeriod(display, id, window.width, window.height);
  XFlush(display);
}

// Until the window is mapped, taking the sizes it is given meanwhile (a window manager makes a
// window fullscreen before it maps it); every other event stays queued for the loop.
void X11MainWindow::State::waitForMap() {
  const auto deadline = LoopClock::now() + kMapWait;
  bool mapped = false;
  for (;;) {
    XEvent event;
    while (XCheckTypedWindowEvent(display, window.id, ConfigureNotify, &event)) {
      window.width = event.xconfigure.width;
      window.height = event.xconfigure.height;
    }
    if (mapped) return;
    if (XCheckTypedWindowEvent(display, window.id, MapNotify, &event)) {
      mapped = true;
      continue;  // for the sizes that came with it
    }
    if (LoopClock::now() >= deadline || (stop && stop->requested())) return;
    waitForInput(ConnectionNumber(display), stop, deadline);
  }
}

void X11MainWindow::State::resized(int width, int height) {
  window.width = width;
  window.height = height;
  if (width == reportedWidth && height == reportedHeight) return;
  reportedWidth = width;
  reportedHeight = height;
  // A run of sizes, as a drag makes, is one resize to the last of them.
  if (!events.empty() && events.back().kind == HostEvent::Kind::kResized) events.pop_back();
  events.push_back({HostEvent::Kind::kResized, 0, width, height});
}

void X11MainWindow::State::toggleFullscreen() {
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = window.id;
  request.xclient.message_type = wmState;
  request.xclient.format = 32;
  request.xclient.data.l[0] = kToggle;
  request.xclient.data.l[1] = static_cast<long>(fullscreen);
  request.xclient.data.l[3] = kFromApplication;
  XSendEvent(display, DefaultRootWindow(display), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &request);
  XFlush(display);
}

void X11MainWindow::State::key(XKeyEvent& event) {
  char text[8] = {};
  KeySym symbol = NoSymbol;
  const int length = XLookupString(&event, text, sizeof text, &symbol, nullptr);
  if (symbol == XK_F11) {
    if (event.type == KeyPress && !f11Down) toggleFullscreen();
    f11Down = event.type == KeyPress;
    return;
  }
  if (event.type != KeyPress) return;
  if (const auto code = keyAscii(symbol, text, length, event.state)) {
    events.push_back({HostEvent::Kind::kKey, *code});
  }
}

void X11MainWindow::State::handle(XEvent& event) {
  switch (event.type) {
    case KeyPress:
    case KeyRelease:
      key(event.xkey);
      break;
    case FocusOut:  // F11 may be let go elsewhere
      f11Down = false;
      break;
    case ConfigureNotify:
      if (event.xconfigure.window == window.id) {
        resized(event.xconfigure.width, event.xconfigure.height);
      }
      break;
    case Expose: {
      const XExposeEvent& part = event.xexpose;
      const Rect area{part.x, part.y, part.x + part.width, part.y + part.height};
      exposed =
          !exposed
              ? area
              : Rect{std::min(exposed->left, area.left), std::min(exposed->top, area.top),
                     std::max(exposed->right, area.right), std::max(exposed->bottom, area.bottom)};
      // The last of a run says so: the run is one lost area.
      if (part.count == 0) {
        events.push_back(HostEvent::lost(*exposed));
        exposed.reset();
      }
      break;
    }
    case ClientMessage:
      if (event.xclient.message_type == protocols && event.xclient.format == 32 &&
          static_cast<Atom>(event.xclient.data.l[0]) == deleteWindow) {
        events.push_back({HostEvent::Kind::kEnd});
      }
      break;
    case DestroyNotify:
      if (event.xdestroywindow.window == window.id) lostDisplay("the window was destroyed");
      break;
    default:
      break;
  }
}

X11MainWindow::X11MainWindow(bool fullscreen, StopRequest* stop, bool waylandToo)
    : state_(std::make_unique<State>(fullscreen, stop, waylandToo)) {}

X11MainWindow::~X11MainWindow() = default;

int X11MainWindow::width() const { return state_->openedWidth; }
int X11MainWindow::height() const { return state_->openedHeight; }
LoopClock::duration X11MainWindow::framePeriod() const { return state_->framePeriod; }

PixelMemory* X11MainWindow::pixelMemory() {
  PixelMemory* shared = state_->shared.get();
  return shared ? shared : &PageMemory::process();
}

void X11MainWindow::waitUntil(LoopClock::time_point deadline) {
  State& state = *state_;
  // Events Xlib has already read (while waiting for a reply) would not wake the poll.
  if (XEventsQueued(state.display, QueuedAlready) > 0) return;
  XFlush(state.display);
  waitForInput(ConnectionNumber(state.display), state.stop, deadline);
}

std::optional<HostEvent> X11MainWindow::nextEvent() {
  State& state = *state_;
  if (state.stop && state.stop->requested()) return HostEvent{HostEvent::Kind::kEnd};
  // One read of the connection per step of the loop, which asks until it gets nothing: later
  // calls hand out only what that read brought.
  if (!state.pumped) {
    state.pumped = true;
    for (int queued = XPending(state.display); queued > 0; queued = XQLength(state.display)) {
      XEvent event;
      XNextEvent(state.display, &event);
      state.handle(event);
    }
  }
  if (state.events.empty()) {
    state.pumped = false;
    return std::nullopt;
  }
  const HostEvent event = state.events.front();
  state.events.pop_front();
  return event;
}

void X11MainWindow::present(const Canvas& canvas, const FramePlan& plan) {
  state_->painter->present(canvas, plan);
}

}  // namespace walkers
