// Waiting on the X connection and the stop signals, and turning X11Target's events into the loop's.
#include "host/x11/x11_host.hpp"

#include "host/core/seams.hpp"

namespace walkers {

void X11Host::waitUntil(LoopClock::time_point deadline) {
  waitForInput(target_.connection(), &stop_, deadline);
}

std::optional<HostEvent> X11Host::nextEvent() {
  if (stop_.requested()) return HostEvent{HostEvent::Kind::kEnd};
  // One read of the connection per step of the loop, which asks until it gets nothing: later
  // calls hand out only what that read brought.
  const auto event = pumped_ ? X11Target::Event::kNone : target_.pump();
  pumped_ = true;
  switch (event) {
    case X11Target::Event::kGone:
      return HostEvent{HostEvent::Kind::kEnd};
    case X11Target::Event::kResized:
      return HostEvent{HostEvent::Kind::kResized, 0, target_.width(), target_.height()};
    case X11Target::Event::kNone:
      break;
  }
  if (const auto lost = target_.takeLost()) return HostEvent::lost(*lost);
  pumped_ = false;
  return std::nullopt;
}

}  // namespace walkers
