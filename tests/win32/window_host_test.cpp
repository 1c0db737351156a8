// Tests of which windows can hold walkers' child window: not a missing one, not the desktop, not
// a message-only one (host/win32/window_host.hpp), and the lines refusing them.
#include "host/win32/window_host.hpp"

#include <gtest/gtest.h>
#include <windows.h>

namespace walkers {
namespace {

HWND makeWindow(DWORD style, HWND parent) {
  return ::CreateWindowExW(0, L"STATIC", L"test", style, 0, 0, 40, 30, parent, nullptr,
                           ::GetModuleHandleW(nullptr), nullptr);
}

TEST(ParentFault, OnlyARealWindowBelowTheDesktopTakesAChild) {
  const HWND top = makeWindow(WS_OVERLAPPEDWINDOW, nullptr);
  ASSERT_NE(top, nullptr);
  const HWND child = makeWindow(WS_CHILD, top);
  const HWND messageOnly = makeWindow(0, HWND_MESSAGE);
  ASSERT_NE(messageOnly, nullptr);
  const HWND belowMessageOnly = makeWindow(WS_CHILD, messageOnly);
  EXPECT_EQ(parentFault(top), ParentFault::kNone);
  EXPECT_EQ(parentFault(child), ParentFault::kNone);
  EXPECT_EQ(parentFault(::GetDesktopWindow()), ParentFault::kDesktop);
  EXPECT_EQ(parentFault(messageOnly), ParentFault::kMessageOnly);
  EXPECT_EQ(parentFault(belowMessageOnly), ParentFault::kMessageOnly);
  ::DestroyWindow(messageOnly);
  ::DestroyWindow(top);
  EXPECT_EQ(parentFault(top), ParentFault::kMissing);
  EXPECT_EQ(parentFault(nullptr), ParentFault::kMissing);
}

TEST(ParentFault, EachFaultIsOneLineNamingTheWindow) {
  EXPECT_EQ(parentFaultLine(ParentFault::kMissing, 4000000000, "to preview in (/p)"),
            "no window 4000000000 to preview in (/p)");
  EXPECT_EQ(parentFaultLine(ParentFault::kDesktop, 65552, "to draw in (--window-id)"),
            "window 65552 is the desktop, not a window to draw in (--window-id)");
  EXPECT_EQ(parentFaultLine(ParentFault::kMessageOnly, 7, "to own the settings (/c)"),
            "window 7 is message-only, not a window to own the settings (/c)");
}

}  // namespace
}  // namespace walkers
