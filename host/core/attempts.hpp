// The ways of drawing tried at a place before the one that failed last, for its one line.
#pragma once

#include <string>

namespace walkers {

// Records why a way of drawing tried at this place could not be used, when another is tried
// after it (Wayland, then X11): the last one's failure then names both.
void noteFailedAttempt(const std::string& why);

// `why`, after the reasons noted by noteFailedAttempt, joined by "; ".
std::string afterFailedAttempts(const std::string& why);

}  // namespace walkers
