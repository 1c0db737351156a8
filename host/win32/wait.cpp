// waitForInput on Windows: MsgWaitForMultipleObjectsEx on a high-resolution waitable timer.
#include <windows.h>  // first: timeapi.h takes its types from here

// clang-format off
#include <timeapi.h>
// clang-format on

#include <chrono>

#include "host/core/seams.hpp"

namespace walkers {
namespace {

// Not in mingw-w64 10's headers: a timer that keeps its due time to the system's finest tick.
constexpr DWORD kHighResolutionTimer = 0x2;

// The timer every wait of the process sleeps on. Where the system has no high-resolution timers
// (or refuses them, as wine may), it is a plain one and the system's timer period is raised to
// 1 ms for the life of the process: SetTimer and Sleep alone wake every 15.6 ms.
class WaitTimer {
 public:
  WaitTimer() {
    timer_ = ::CreateWaitableTimerExW(nullptr, nullptr, kHighResolutionTimer, TIMER_ALL_ACCESS);
    if (!timer_) {
      timer_ = ::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
      periodRaised_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
    }
  }
  ~WaitTimer() {
    if (periodRaised_) ::timeEndPeriod(1);
    if (timer_) ::CloseHandle(timer_);
  }
  WaitTimer(const WaitTimer&) = delete;
  WaitTimer& operator=(const WaitTimer&) = delete;

  // Sets the timer to go off in `units` of 100 ns; false if there is none to set.
  bool set(long long units) const {
    LARGE_INTEGER due;
    due.QuadPart = -units;  // negative: relative to now
    return timer_ && ::SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE);
  }
  HANDLE handle() const { return timer_; }

 private:
  HANDLE timer_ = nullptr;
  bool periodRaised_ = false;
};

}  // namespace

// `connection` is a handle to wait on besides this thread's window messages (0 for none); the
// messages themselves end the wait the moment they arrive.
void waitForInput(std::intptr_t connection, const StopRequest* stop,
                  LoopClock::time_point deadline) {
  static const WaitTimer timer;
  HANDLE handles[3];
  DWORD count = 0;
  if (connection != 0) handles[count++] = reinterpret_cast<HANDLE>(connection);
  if (stop) handles[count++] = reinterpret_cast<HANDLE>(stop->waitable());
  if (deadline == LoopClock::time_point::max()) {  // a resting pattern's: only an event wakes it
    ::MsgWaitForMultipleObjectsEx(count, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return;
  }
  const auto left = deadline - LoopClock::now();
  if (left <= LoopClock::duration::zero()) return;
  // Rounded up so as never to wake early.
  const auto units =
      (std::chrono::duration_cast<std::chrono::nanoseconds>(left).count() + 99) / 100;
  if (timer.set(units)) {
    handles[count++] = timer.handle();
    ::MsgWaitForMultipleObjectsEx(count, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    return;
  }
  // No timer at all: the wait's own timeout, in whole milliseconds rounded up.
  const auto milliseconds = static_cast<DWORD>((units + 9'999) / 10'000);
  ::MsgWaitForMultipleObjectsEx(count, handles, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace walkers
