// waitForInput on Unix: poll() on the display's descriptor and the stop request's pipe.
#include <poll.h>

#include <chrono>

#include "host/core/seams.hpp"
#include "host/core/wait_time.hpp"

namespace walkers {

void waitForInput(std::intptr_t connection, const StopRequest* stop,
                  LoopClock::time_point deadline) {
  const int timeout = waitMilliseconds(deadline, LoopClock::now());
  pollfd inputs[2] = {{static_cast<int>(connection), POLLIN, 0},
                      {stop ? static_cast<int>(stop->waitable()) : -1, POLLIN, 0}};
  ::poll(inputs, 2, timeout);
}

}  // namespace walkers
