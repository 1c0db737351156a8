// A stand-in for the Screen Saver Settings box, or any program's window: starts `PROGRAM OPTION
// HWND` (OPTION /p by default) on a window of its own and checks the child the program makes in
// it (size, parent, process, style) and that the program ends with it. With --sizes first, the
// box starts minimised, is restored, grows, is minimised and restored, and shrinks, saying after
// each step the sizes of its client area and of the child. With --cover it says how the running
// screen saver's window stands instead; with --activate another window takes the focus; with
// --hold FILE it keeps FILE open, as a program using it does, until it is ended; with --desktop
// it prints the desktop window's handle.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

constexpr int kWidth = 152;  // the preview monitor's screen in the settings box
constexpr int kHeight = 112;

int failed(const char* what) {
  std::printf("preview_box: %s\n", what);
  std::fflush(stdout);
  return 1;
}

// Serves this thread's messages for up to `ms` milliseconds, or until `handle` is signalled.
bool serveUntil(HANDLE handle, DWORD ms) {
  const ULONGLONG end = ::GetTickCount64() + ms;
  for (;;) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&message);
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end) return false;
    const DWORD left = static_cast<DWORD>(std::min<ULONGLONG>(end - now, 50));
    const DWORD woke = handle ? ::MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT)
                              : ::MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
    if (handle && woke == WAIT_OBJECT_0) return true;
  }
}

BOOL CALLBACK firstChild(HWND child, LPARAM found) {
  *reinterpret_cast<HWND*>(found) = child;
  return FALSE;
}

SIZE clientSize(HWND window) {
  RECT inside{};
  ::GetClientRect(window, &inside);
  return {inside.right, inside.bottom};
}

// Gives the box a client area of `width` x `height`.
void sizeBox(HWND box, int width, int height) {
  RECT frame{0, 0, width, height};
  ::AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  ::SetWindowPos(box, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Serves messages until the child has the box's client size, for up to 10 s; then says both.
void reportSizes(const char* step, HWND box, HWND child) {
  for (int tries = 0; tries < 200; ++tries) {
    const SIZE inside = clientSize(box);
    const SIZE shown = clientSize(child);
    if (inside.cx == shown.cx && inside.cy == shown.cy) break;
    serveUntil(nullptr, 50);
  }
  const SIZE inside = clientSize(box);
  const SIZE shown = clientSize(child);
  std::printf("%s: box %ldx%ld, child %ldx%ld\n", step, inside.cx, inside.cy, shown.cx, shown.cy);
  std::fflush(stdout);
}

// --sizes: the child follows the box through restoring, growing, minimising and shrinking.
void changeSizes(HWND box, HWND child) {
  ::ShowWindow(box, SW_RESTORE);
  reportSizes("restored after a minimised start", box, child);
  sizeBox(box, 392, 273);
  reportSizes("grown", box, child);
  sizeBox(box, 892, 673);
  reportSizes("grown", box, child);
  ::ShowWindow(box, SW_MINIMIZE);
  serveUntil(nullptr, 500);
  ::ShowWindow(box, SW_RESTORE);
  reportSizes("minimised and restored", box, child);
  sizeBox(box, 200, 150);
  reportSizes("shrunk", box, child);
}

// --hold FILE: FILE open for reading, shared with readers alone, until the process is ended.
int hold(const wchar_t* file) {
  const HANDLE held =
      ::CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return failed("cannot open the file to hold");
  std::printf("holding\n");
  std::fflush(stdout);
  ::Sleep(INFINITE);
  return 0;
}

}  // namespace

// --cover: how the screen saver's window "Form1" stands: topmost or not, the cursor shown or not,
// and whether it refuses the system commands to close and to start a screen saver.
int describeCover() {
  const HWND cover = ::FindWindowW(nullptr, L"Form1");
  if (!cover) return failed("no window Form1");
  CURSORINFO cursor{};
  cursor.cbSize = sizeof cursor;
  ::GetCursorInfo(&cursor);
  const bool topmost = ::GetWindowLongPtrW(cover, GWL_EXSTYLE) & WS_EX_TOPMOST;
  DWORD_PTR answer = 0;
  for (const WPARAM command : {SC_SCREENSAVE, SC_CLOSE}) {
    ::SendMessageTimeoutW(cover, WM_SYSCOMMAND, command, 0, SMTO_BLOCK, 10000, &answer);
  }
  for (int tries = 0; tries < 60 && ::IsWindow(cover); ++tries) serveUntil(nullptr, 50);
  std::printf("%s, cursor %s, %s\n", topmost ? "topmost" : "not topmost",
              (cursor.flags & CURSOR_SHOWING) ? "shown" : "hidden",
              ::IsWindow(cover) ? "commands refused" : "closed by a command");
  std::fflush(stdout);
  return 0;
}

// --activate: a window of another program takes the focus.
int takeFocus() {
  const HWND other =
      ::CreateWindowW(L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                      100, nullptr, nullptr, nullptr, nullptr);
  if (!other) return failed("cannot make a window");
  ::SetForegroundWindow(other);
  ::SetActiveWindow(other);
  serveUntil(nullptr, 3000);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"--cover") return describeCover();
  if (argc == 2 && std::wstring(argv[1]) == L"--activate") return takeFocus();
  if (argc == 3 && std::wstring(argv[1]) == L"--hold") return hold(argv[2]);
  if (argc == 2 && std::wstring(argv[1]) == L"--desktop") {
    std::printf("%llu\n", static_cast<unsigned long long>(
                              reinterpret_cast<std::uintptr_t>(::GetDesktopWindow())));
    return 0;
  }
  const bool sizes = argc > 1 && std::wstring(argv[1]) == L"--sizes";
  if (sizes) {
    --argc;
    ++argv;
  }
  if (argc != 2 && argc != 3) return failed("usage: preview_box [--sizes] PROGRAM [OPTION]");
  WNDCLASSW type{};
  type.lpfnWndProc = DefWindowProcW;
  type.hInstance = ::GetModuleHandleW(nullptr);
  type.lpszClassName = L"preview_box";
  type.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
  ::RegisterClassW(&type);
  RECT frame{0, 0, kWidth, kHeight};
  ::AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
  const HWND box = ::CreateWindowW(L"preview_box", L"preview box", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   100, 100, frame.right - frame.left, frame.bottom - frame.top,
                                   nullptr, nullptr, type.hInstance, nullptr);
  if (!box) return failed("cannot make the box");
  RECT inside{};
  ::GetClientRect(box, &inside);
  if (inside.right != kWidth || inside.bottom != kHeight) return failed("the box has a wrong size");
  if (sizes) ::ShowWindow(box, SW_MINIMIZE);

  const std::wstring option = argc == 3 ? argv[2] : L"/p";
  std::wstring line =
      L"walkers " + option + L" " + std::to_wstring(reinterpret_cast<std::uintptr_t>(box));
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(argv[1], line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start,
                        &process)) {
    return failed("cannot start the program");
  }
  HWND child = nullptr;
  for (int tries = 0; tries < 1200 && !child; ++tries) {  // a minute, for a slow machine
    if (serveUntil(process.hProcess, 50)) return failed("the program ended before drawing");
    ::EnumChildWindows(box, firstChild, reinterpret_cast<LPARAM>(&child));
  }
  if (!child) return failed("no child window appeared in the box");
  RECT shown{};
  ::GetClientRect(child, &shown);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(child, &owner);
  const bool notifies = !(::GetWindowLongPtrW(child, GWL_EXSTYLE) & WS_EX_NOPARENTNOTIFY);
  if (!sizes) {
    std::printf("child %ldx%ld, parent %s, process %s, %s\n", shown.right, shown.bottom,
                ::GetParent(child) == box ? "the box" : "another",
                owner == process.dwProcessId ? "the program's" : "another",
                notifies ? "notifies the box" : "no parent notify");
  }
  serveUntil(nullptr, 1000);  // drawing for a while
  if (sizes) changeSizes(box, child);
  ::DestroyWindow(box);
  if (!serveUntil(process.hProcess, 60000)) return failed("the program outlived the box");
  DWORD status = 1;
  ::GetExitCodeProcess(process.hProcess, &status);
  std::printf("ended with status %lu\n", status);
  std::fflush(stdout);
  return 0;
}
