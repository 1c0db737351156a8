// When a pattern rests: nobody can see its screen, or the machine runs on battery when asked.
#pragma once

#include <chrono>
#include <optional>

#include "host/core/timer.hpp"

namespace walkers {

// What a host knows of whether its picture can be seen. A host that cannot tell (the program's
// own window, watched by its user) leaves it as it is: seen.
struct Sight {
  // Every pixel lies under windows above it, or the window is not mapped.
  bool covered = false;
  // The display is off (its power saving says so).
  bool off = false;
  // Since when a frame the host asked the display for has gone unanswered; nothing when it asked
  // for none or got its answer. A display answers at once what it shows.
  std::optional<Timer::Clock::time_point> frameAskedAt;
  // When the host's knowledge may change without an event to wake for (the display's power is
  // asked, not told): the loop asks again then.
  Timer::Clock::time_point askAgainAt = Timer::Clock::time_point::max();
};

struct Rest {
  bool resting = false;
  // When the decision may change without an event: the loop decides again then.
  Timer::Clock::time_point decideAgainAt = Timer::Clock::time_point::max();
};

// How long an asked frame may go unanswered before its screen counts as unseen: a compositor
// that shows the surface answers within a refresh or two.
inline constexpr std::chrono::milliseconds kUnansweredFrame{1000};
// How often the power supply is read while that is the only reason to rest.
inline constexpr std::chrono::milliseconds kBatteryRecheck{1000};

// A pattern rests while its screen cannot be seen (covered, off, or a frame unanswered for
// kUnansweredFrame), or while `onBattery` (the machine runs on battery and the user asked to
// rest then). A still pattern that asked for no frame is seen as far as anyone knows.
inline Rest decideRest(const Sight& sight, bool onBattery, Timer::Clock::time_point now) {
  Rest rest;
  rest.decideAgainAt = sight.askAgainAt;
  if (sight.covered || sight.off) {
    rest.resting = true;
    return rest;
  }
  if (sight.frameAskedAt) {
    const auto unseenFrom = *sight.frameAskedAt + kUnansweredFrame;
    if (now >= unseenFrom) {
      rest.resting = true;
      return rest;
    }
    rest.decideAgainAt = std::min(rest.decideAgainAt, unseenFrom);
  }
  if (onBattery) {
    rest.resting = true;
    rest.decideAgainAt = std::min(rest.decideAgainAt, now + kBatteryRecheck);
  }
  return rest;
}

}  // namespace walkers
