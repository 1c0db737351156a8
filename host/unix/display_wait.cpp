// poll() on the display's descriptor and the stop signals' pipe, with the deadline in milliseconds.
#include "host/display_wait.hpp"

#include <poll.h>

#include "host/stop_signals.hpp"

namespace walkers {

void waitForDisplay(int connection, StopSignals* stop, LoopClock::time_point deadline) {
  const auto left = deadline - LoopClock::now();
  const int timeout =
      left <= LoopClock::duration::zero()
          ? 0
          : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  pollfd inputs[2] = {{connection, POLLIN, 0}, {stop ? stop->fd() : -1, POLLIN, 0}};
  ::poll(inputs, 2, timeout);
}

}  // namespace walkers
