// How long a wait until a deadline lasts, in the whole milliseconds poll() and its kin take.
#pragma once

#include <chrono>
#include <climits>

namespace walkers {

// The milliseconds from `now` until `deadline`, rounded up (waking a little late costs nothing:
// the loop runs every tick that fell due on waking); 0 for a deadline passed; -1, for ever, for
// one further off than an int of milliseconds reaches (a resting pattern's, which waits only for
// an event).
inline int waitMilliseconds(std::chrono::steady_clock::time_point deadline,
                            std::chrono::steady_clock::time_point now) {
  if (deadline <= now) return 0;
  // Measured against the largest wait first: `deadline - now` overflows for the far future.
  constexpr std::chrono::milliseconds kLongest{INT_MAX};
  if (deadline - kLongest >= now) return -1;
  return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
}

}  // namespace walkers
