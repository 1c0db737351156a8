// A stand-in for the Screen Saver Settings box, or any program's window: starts `PROGRAM OPTION
// HWND` (OPTION /p by default) on a window of its own and checks the child the program makes in
// it (size, parent, process) and that the program ends with it. With --cover it says how the
// running screen saver's window stands instead; with --activate another window takes the focus.
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
  if (argc != 2 && argc != 3) return failed("usage: preview_box PROGRAM [OPTION]");
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
  std::printf("child %ldx%ld, parent %s, process %s\n", shown.right, shown.bottom,
              ::GetParent(child) == box ? "the box" : "another",
              owner == process.dwProcessId ? "the program's" : "another");
  serveUntil(nullptr, 1000);  // drawing for a while
  ::DestroyWindow(box);
  if (!serveUntil(process.hProcess, 60000)) return failed("the program outlived the box");
  DWORD status = 1;
  ::GetExitCodeProcess(process.hProcess, &status);
  std::printf("ended with status %lu\n", status);
  std::fflush(stdout);
  return 0;
}
