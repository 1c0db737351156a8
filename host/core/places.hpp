// Running the program at the place the command line names, on the hosts this platform has.
#pragma once

#include "host/core/command_line.hpp"

namespace walkers {

// Grows patterns at `options.place` until the program is to end, and answers the exit status.
// Each platform defines this once, with its table of hosts for places (on Unix
// host/unix/places.cpp); a place the build has no host for ends with one line and status 1.
// Throws std::exception for one line on standard error and status 1.
int runAtPlace(const Options& options);

}  // namespace walkers
