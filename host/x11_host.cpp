// Waiting on the X connection and the stop signals, and turning X11Target's events into the loop's.
#include "host/x11_host.hpp"

#include <poll.h>

#include "host/stop_signals.hpp"

namespace walkers {

void X11Host::waitUntil(LoopClock::time_point deadline) {
  const auto left = deadline - LoopClock::now();
  const int timeout =
      left <= LoopClock::duration::zero()
          ? 0
          : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
  pollfd inputs[2] = {{target_.connection(), POLLIN, 0}, {stop_.fd(), POLLIN, 0}};
  ::poll(inputs, 2, timeout);
}

std::optional<HostEvent> X11Host::nextEvent() {
  if (stop_.requested()) return HostEvent{HostEvent::Kind::kEnd};
  switch (target_.pump()) {
    case X11Target::Event::kGone:
      return HostEvent{HostEvent::Kind::kEnd};
    case X11Target::Event::kResized:
      return HostEvent{HostEvent::Kind::kResized, 0, target_.width(), target_.height()};
    case X11Target::Event::kNone:
      break;
  }
  if (const auto lost = target_.takeLost()) return HostEvent::exposed(*lost);
  return std::nullopt;
}

}  // namespace walkers
