// Making walkers' windows, turning their messages into events, and painting frames with GDI.
#include "host/win32/window_host.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "engine/form.hpp"
#include "host/core/refresh_period.hpp"
#include "host/win32/resource_ids.h"

namespace walkers {
namespace {

constexpr wchar_t kClassName[] = L"walkers";
constexpr int kMainWidth = kFormWidth;
constexpr int kMainHeight = kFormHeight;

std::runtime_error systemError(const char* what) {
  return std::runtime_error(std::string(what) + " (error " + std::to_string(::GetLastError()) +
                            ")");
}

void registerClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = DefWindowProcW;  // each window's own procedure is set as it is made
  type.hInstance = ::GetModuleHandleW(nullptr);
  type.hIcon = ::LoadIconW(type.hInstance, MAKEINTRESOURCEW(WALKERS_ICON));
  type.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  type.lpszClassName = kClassName;
  // No background brush: every pixel is painted from the canvas or black, so nothing flickers.
  if (!::RegisterClassExW(&type)) throw systemError("cannot register the window class");
  registered = true;
}

// A DIB header for `rows` rows of the canvas from its row `top` down: top-down, 32 bits.
BITMAPINFO rowsHeader(const Canvas& canvas, int rows) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = canvas.stride();
  info.bmiHeader.biHeight = -rows;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

void fillBlack(HDC dc, const RECT& area) {
  if (area.left < area.right && area.top < area.bottom) {
    ::FillRect(dc, &area, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
  }
}

}  // namespace

WindowHost::WindowHost(const Setup& setup) : setup_(setup) {
  registerClass();
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  DWORD style = 0;
  DWORD extended = 0;
  int x = CW_USEDEFAULT;
  int y = CW_USEDEFAULT;
  int w = kMainWidth;
  int h = kMainHeight;
  HWND parent = nullptr;
  switch (setup.kind) {
    case Kind::kMain: {
      style = WS_OVERLAPPEDWINDOW;
      RECT frame{0, 0, kMainWidth, kMainHeight};
      ::AdjustWindowRectEx(&frame, style, FALSE, extended);
      w = frame.right - frame.left;
      h = frame.bottom - frame.top;
      break;
    }
    case Kind::kCover:
      style = WS_POPUP;
      extended = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
      x = setup.area.left;
      y = setup.area.top;
      w = setup.area.right - setup.area.left;
      h = setup.area.bottom - setup.area.top;
      break;
    case Kind::kPreview: {
      RECT inside{};
      if (!::GetClientRect(setup.parent, &inside)) throw systemError("cannot read the preview box");
      style = WS_CHILD | WS_VISIBLE | WS_DISABLED;  // disabled: the box's input stays the box's
      // No WM_PARENTNOTIFY: CreateWindowExW would send it to the box's thread, in another
      // process, and wait there for as long as that thread does not answer.
      extended = WS_EX_NOPARENTNOTIFY;
      parent = setup.parent;
      x = 0;
      y = 0;
      w = inside.right;
      h = inside.bottom;
      parentSize_ = {w, h};
      break;
    }
  }
  window_ = ::CreateWindowExW(extended, kClassName, L"Form1", style, x, y, w, h, parent, nullptr,
                              instance, nullptr);
  if (!window_) throw systemError("cannot open a window");
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  ::SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&procedure));
  if (setup.kind == Kind::kMain) {
    // The client area is 510 x 370 logical pixels (of 96 to the inch), as the Wayland window's:
    // in device pixels at the monitor's DPI, 1020 x 740 at 200 %, and the canvas with it. The
    // frame may differ from what AdjustWindowRectEx said (another DPI, a theme).
    const auto dpi = static_cast<int>(::GetDpiForWindow(window_));
    const int width = ::MulDiv(kMainWidth, dpi, USER_DEFAULT_SCREEN_DPI);
    const int height = ::MulDiv(kMainHeight, dpi, USER_DEFAULT_SCREEN_DPI);
    RECT inside{};
    ::GetClientRect(window_, &inside);
    if (inside.right != width || inside.bottom != height) {
      ::SetWindowPos(window_, nullptr, 0, 0, w + width - inside.right, h + height - inside.bottom,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
  }
  if (setup.kind != Kind::kPreview) {
    ::ShowWindow(window_, SW_SHOW);
    ::SetForegroundWindow(window_);
  }
  if (setup.kind == Kind::kMain && setup.fullscreen) toggleFullscreen();
  ::UpdateWindow(window_);
}

WindowHost::~WindowHost() {
  if (window_) {
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    ::DestroyWindow(window_);
  }
}

int WindowHost::width() const {
  RECT inside{};
  return window_ && ::GetClientRect(window_, &inside) ? inside.right : 0;
}

int WindowHost::height() const {
  RECT inside{};
  return window_ && ::GetClientRect(window_, &inside) ? inside.bottom : 0;
}

std::optional<HostEvent> WindowHost::nextEvent() {
  if (setup_.kind == Kind::kPreview) followParent();
  MSG message;
  while (events_.empty() && ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      events_.push_back({HostEvent::Kind::kEnd});
      forget();
      break;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  if (setup_.kind == Kind::kPreview && !::IsWindow(setup_.parent)) ended_ = true;
  if (setup_.kind == Kind::kCover && setup_.watch->ended()) ended_ = true;
  if (events_.empty()) {
    if (!ended_) return std::nullopt;
    forget();
    return HostEvent{HostEvent::Kind::kEnd};
  }
  const HostEvent event = events_.front();
  events_.pop_front();
  return event;
}

// The parent belongs to another program, which never sizes walkers' child: whenever the parent's
// client size changes, the child takes it, and its WM_SIZE tells the loop. A minimised parent has
// no client area for the while; the child keeps its size until the parent is restored.
void WindowHost::followParent() {
  RECT inside{};
  if (!window_ || ::IsIconic(setup_.parent) || !::GetClientRect(setup_.parent, &inside)) return;
  if (inside.right == parentSize_.cx && inside.bottom == parentSize_.cy) return;
  parentSize_ = {inside.right, inside.bottom};
  ::SetWindowPos(window_, nullptr, 0, 0, inside.right, inside.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

// The loop is ending and its canvas goes with it: nothing is painted from it any more, and a
// window that outlives it (a screen saver's cover while the others still run) is hidden.
void WindowHost::forget() {
  shown_ = nullptr;
  if (window_) ::ShowWindow(window_, SW_HIDE);
}

LRESULT CALLBACK WindowHost::procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* host = reinterpret_cast<WindowHost*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!host) return ::DefWindowProcW(window, message, w, l);
  return host->handle(window, message, w, l);
}

// `window` is the message's own: this host's window_ is already null for what follows
// WM_DESTROY, which still needs the default handling.
LRESULT WindowHost::handle(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (setup_.kind == Kind::kCover && coverInput(message, w, l)) return 0;
  switch (message) {
    case WM_CHAR:
      if (setup_.kind == Kind::kMain) {
        events_.push_back({HostEvent::Kind::kKey, static_cast<std::int16_t>(w)});
      }
      return 0;
    case WM_KEYDOWN:
      // Once per press: a held key repeats WM_KEYDOWN with bit 30 (already down) set.
      if (setup_.kind == Kind::kMain && w == VK_F11 && (l & (LPARAM{1} << 30)) == 0) {
        toggleFullscreen();
      }
      return 0;
    case WM_SIZE:
      if (w != SIZE_MINIMIZED) {
        events_.push_back({HostEvent::Kind::kResized, 0, LOWORD(l), HIWORD(l)});
      }
      return 0;
    case WM_DPICHANGED: {
      // The system's suggestion keeps the window's place and logical size on the new monitor;
      // the canvas stays in device pixels and simply follows the new client size.
      const RECT* suggested = reinterpret_cast<const RECT*>(l);
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT paints every pixel
    case WM_PAINT:
      paint();
      return 0;
    case WM_CLOSE:
      ended_ = true;  // the window goes with its host
      return 0;
    case WM_DESTROY:
      ended_ = true;  // destroyed from outside: with the preview box, say
      window_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(window, message, w, l);
  }
}

// A screen saver's cover ends at any key, button, real pointer move or lost activation, and
// refuses to be closed or restarted by system command. Answers whether the message is handled.
bool WindowHost::coverInput(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
      setup_.watch->end();
      return true;
    case WM_MOUSEMOVE: {
      POINT at{static_cast<short>(LOWORD(l)), static_cast<short>(HIWORD(l))};
      ::ClientToScreen(window_, &at);
      setup_.watch->pointerAt(at.x, at.y);
      return true;
    }
    case WM_ACTIVATEAPP:
      if (!w) setup_.watch->end();
      return false;
    case WM_SETCURSOR:
      ::SetCursor(nullptr);
      return true;
    case WM_SYSCOMMAND:
      return (w & 0xfff0) == SC_SCREENSAVE || (w & 0xfff0) == SC_CLOSE;
    default:
      return false;
  }
}

void WindowHost::blit(HDC dc, const Canvas& canvas, const RECT& part) const {
  const int rows = part.bottom - part.top;
  if (part.left >= part.right || rows <= 0) return;
  const BITMAPINFO info = rowsHeader(canvas, rows);
  ::SetDIBitsToDevice(dc, part.left, part.top, static_cast<DWORD>(part.right - part.left),
                      static_cast<DWORD>(rows), part.left, 0, 0, static_cast<UINT>(rows),
                      canvas.row(part.top), &info, DIB_RGB_COLORS);
}

void WindowHost::present(const Canvas& canvas, const FramePlan& plan) {
  shown_ = &canvas;
  if (!window_) return;
  const HDC dc = ::GetDC(window_);
  if (!dc) return;
  for (const Rect& part : plan.copy)
    blit(dc, canvas, {part.left, part.top, part.right, part.bottom});
  for (const Rect& part : plan.black) fillBlack(dc, {part.left, part.top, part.right, part.bottom});
  ::ReleaseDC(window_, dc);
}

// What the system lost, from the canvas of the last frame: its stored part as it is now, black
// beyond it (and everything black before the first frame).
void WindowHost::paint() {
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(window_, &paint);
  if (!dc) return;
  const RECT& lost = paint.rcPaint;
  const int storedRight = shown_ ? shown_->storedWidth() : 0;
  const int storedBottom = shown_ ? shown_->storedHeight() : 0;
  if (shown_) {
    blit(dc, *shown_,
         {lost.left, lost.top, std::min<LONG>(lost.right, storedRight),
          std::min<LONG>(lost.bottom, storedBottom)});
  }
  fillBlack(dc, {std::max<LONG>(lost.left, storedRight), lost.top, lost.right, lost.bottom});
  fillBlack(dc, {lost.left, std::max<LONG>(lost.top, storedBottom),
                 std::min<LONG>(lost.right, storedRight), lost.bottom});
  ::EndPaint(window_, &paint);
}

LoopClock::duration WindowHost::framePeriod() const {
  MONITORINFOEXW monitor{};
  monitor.cbSize = sizeof monitor;
  DEVMODEW mode{};
  mode.dmSize = sizeof mode;
  double hz = 0;
  if (::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor) &&
      ::EnumDisplaySettingsW(monitor.szDevice, ENUM_CURRENT_SETTINGS, &mode) &&
      mode.dmDisplayFrequency > 1) {  // 0 and 1 stand for the hardware's default
    hz = mode.dmDisplayFrequency;
  }
  return std::chrono::duration_cast<LoopClock::duration>(refreshPeriodOf(hz));
}

// F11 and --fullscreen: a borderless window over the monitor the window is on, and back.
void WindowHost::toggleFullscreen() {
  const LONG_PTR style = ::GetWindowLongPtrW(window_, GWL_STYLE);
  if (!fullscreen_) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    normal_.length = sizeof normal_;
    if (!::GetWindowPlacement(window_, &normal_) ||
        !::GetMonitorInfoW(::MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor)) {
      return;
    }
    ::SetWindowLongPtrW(window_, GWL_STYLE, (style & ~WS_OVERLAPPEDWINDOW) | WS_POPUP);
    const RECT& all = monitor.rcMonitor;
    ::SetWindowPos(window_, HWND_TOP, all.left, all.top, all.right - all.left, all.bottom - all.top,
                   SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
  } else {
    ::SetWindowLongPtrW(window_, GWL_STYLE, (style & ~WS_POPUP) | WS_OVERLAPPEDWINDOW);
    ::SetWindowPlacement(window_, &normal_);
    ::SetWindowPos(window_, nullptr, 0, 0, 0, 0,
                   SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOOWNERZORDER | SWP_FRAMECHANGED);
  }
  fullscreen_ = !fullscreen_;
}

ParentFault parentFault(HWND window) {
  if (!::IsWindow(window)) return ParentFault::kMissing;
  const HWND desktop = ::GetDesktopWindow();
  if (window == desktop) return ParentFault::kDesktop;
  // Message-only windows hang below a root of their own, not below the desktop: a window made
  // there for the purpose shows which.
  const HWND probe = ::CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                       ::GetModuleHandleW(nullptr), nullptr);
  const HWND messageRoot = probe ? ::GetAncestor(probe, GA_PARENT) : nullptr;
  if (probe) ::DestroyWindow(probe);
  HWND above = window;
  for (int depth = 0; depth < 256; ++depth) {  // a bound, should the chain ever loop
    above = ::GetAncestor(above, GA_PARENT);
    if (!above || above == desktop) break;
    if (above == messageRoot) return ParentFault::kMessageOnly;
  }
  return above == desktop ? ParentFault::kNone : ParentFault::kMessageOnly;
}

std::string parentFaultLine(ParentFault fault, std::uint64_t number, const std::string& use) {
  const std::string name = std::to_string(number);
  switch (fault) {
    case ParentFault::kNone:
      break;
    case ParentFault::kMissing:
      return "no window " + name + " " + use;
    case ParentFault::kDesktop:
      return "window " + name + " is the desktop, not a window " + use;
    case ParentFault::kMessageOnly:
      return "window " + name + " is message-only, not a window " + use;
  }
  return {};
}

}  // namespace walkers
