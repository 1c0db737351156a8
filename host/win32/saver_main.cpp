// walkers.scr: the screen saver Windows starts to run (/s), to preview (/p) or to set up (/c).
#include <windows.h>

#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host/core/runners.hpp"
#include "host/core/seams.hpp"
#include "host/win32/input_watch.hpp"
#include "host/win32/program.hpp"
#include "host/win32/saver_arguments.hpp"
#include "host/win32/saver_settings.hpp"
#include "host/win32/settings_dialog.hpp"
#include "host/win32/standard_streams.hpp"
#include "host/win32/window_host.hpp"

namespace walkers {
namespace {

HWND toWindow(std::uint64_t handle) {
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle));
}

BOOL CALLBACK addMonitor(HMONITOR /*monitor*/, HDC /*dc*/, RECT* area, LPARAM areas) {
  reinterpret_cast<std::vector<RECT>*>(areas)->push_back(*area);
  return TRUE;
}

// Where the patterns go: each monitor, or the whole virtual desktop as one.
std::vector<RECT> coverAreas(bool spanning) {
  std::vector<RECT> areas;
  if (!spanning) {
    ::EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&areas));
  }
  if (areas.empty()) {
    const int left = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int top = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    areas.push_back({left, top, left + ::GetSystemMetrics(SM_CXVIRTUALSCREEN),
                     top + ::GetSystemMetrics(SM_CYVIRTUALSCREEN)});
  }
  return areas;
}

// A topmost window over each area, each growing its pattern until the user comes back.
class Covers : public Screens {
 public:
  Covers(bool spanning, InputWatch& watch) {
    for (const RECT& area : coverAreas(spanning)) {
      WindowHost::Setup setup{WindowHost::Kind::kCover};
      setup.area = area;
      setup.watch = &watch;
      covers_.push_back(std::make_unique<WindowHost>(setup));
    }
  }
  bool follow(Patterns& patterns) override {
    if (!started_) {
      for (const auto& cover : covers_) patterns.add(*cover);
      started_ = true;
    }
    return patterns.size() > 0;
  }
  std::uint64_t inputs() override { return 0; }  // each cover ends itself on input
  void waitUntil(LoopClock::time_point deadline) override { waitForInput(0, nullptr, deadline); }

 private:
  std::vector<std::unique_ptr<WindowHost>> covers_;
  bool started_ = false;
};

// /s: a topmost window and a pattern over each area, until the user comes back.
int runSaver() {
  // One run at a time: a second start while one runs is refused.
  const HANDLE running = ::CreateMutexW(nullptr, FALSE, L"Local\\walkers screen saver");
  if (running && ::GetLastError() == ERROR_ALREADY_EXISTS) {
    writeStandardError("walkers: the screen saver is running already\n");
    return 1;
  }
  const SaverSettings settings = loadSaverSettings();
  InputWatch watch(InputWatch::thresholdFor(::GetDpiForSystem()));
  // Where the pointer rests now; the move message the system sends on start then finds it there.
  if (POINT rest; ::GetCursorPos(&rest)) watch.pointerAt(rest.x, rest.y);
  Covers covers(settings.spanning, watch);
  ::ShowCursor(FALSE);
  // The covers end themselves on input (InputWatch), each taking its pattern with it.
  runScreens(covers, loopOptionsFor(settings.cycle, true, false), std::nullopt, false, nullptr);
  ::ShowCursor(TRUE);
  return 0;
}

// /p: a child window over the preview box, until the box goes away.
int runPreview(HWND box) {
  const SaverSettings settings = loadSaverSettings();
  WindowHost::Setup setup{WindowHost::Kind::kPreview};
  setup.parent = box;
  WindowHost host(setup);
  return runOneScreen(host, loopOptionsFor(settings.cycle, true, false), std::nullopt);
}

int run(const SaverRequest& request) {
  switch (request.mode) {
    case SaverRequest::Mode::kBad:
      return fail(request.message, 2);
    case SaverRequest::Mode::kPassword:
      return 0;  // passwords are the system's business since Windows 2000
    case SaverRequest::Mode::kSettings: {
      const HWND owner = toWindow(request.window);  // 0: none
      if (const ParentFault fault = owner ? parentFault(owner) : ParentFault::kNone;
          fault != ParentFault::kNone) {
        return fail(parentFaultLine(fault, request.window, "to own the settings (/c)"), 2);
      }
      becomeDpiAware();
      return runSettingsDialog(owner);
    }
    case SaverRequest::Mode::kRun:
      becomeDpiAware();
      return runSaver();
    case SaverRequest::Mode::kPreview: {
      const HWND box = toWindow(request.window);
      if (const ParentFault fault = parentFault(box); fault != ParentFault::kNone) {
        return fail(parentFaultLine(fault, request.window, "to preview in (/p)"), 2);
      }
      becomeDpiAware();
      return runPreview(box);
    }
  }
  return 2;
}

}  // namespace
}  // namespace walkers

int wmain(int argc, wchar_t** argv) {
  static_cast<void>(walkers::openStandardStreams());  // before anything is written
  try {
    return walkers::run(walkers::parseSaverArguments(walkers::utf8Arguments(argc, argv)));
  } catch (const std::bad_alloc&) {
    return walkers::fail("not enough memory", 1);
  } catch (const std::exception& error) {
    return walkers::fail(error.what(), 1);
  }
}
