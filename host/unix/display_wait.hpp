// Sleeping on a display connection and the stop signals at once, until a deadline.
#pragma once

#include "host/loop.hpp"

namespace walkers {

class StopSignals;

// Returns once `connection` has input, a stop signal arrived (`stop` may be null), or
// `deadline` has come, rounded up to the next millisecond: waking a little late costs nothing,
// since the loop runs every tick that fell due on waking.
void waitForDisplay(int connection, StopSignals* stop, LoopClock::time_point deadline);

}  // namespace walkers
