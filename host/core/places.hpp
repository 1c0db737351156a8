// Running the program at the place the command line names: one table, each platform's entries.
#pragma once

#include <optional>
#include <span>

#include "host/core/command_line.hpp"

namespace walkers {

class StopRequest;

// One way of drawing at a place, as a platform offers it. `run` draws there until the program is
// to end and answers the exit status, or answers nothing when it cannot run here (its window
// system is not in this session), having noted why with noteFailedAttempt when another way may
// fail after it. It throws std::exception for one line on standard error and status 1. `stop`
// is the run's StopRequest, null where the platform has none.
struct PlaceEntry {
  Options::Place place;
  std::optional<int> (*run)(const Options& options, StopRequest* stop);
};

// Each platform's entries, in the order it tries them, defined in its own folder
// (host/<platform>/<platform>_places.cpp). host/core/places.cpp lists those this build has.
std::span<const PlaceEntry> waylandPlaces();
std::span<const PlaceEntry> x11Places();
std::span<const PlaceEntry> sdlPlaces();
std::span<const PlaceEntry> win32Places();

// Grows patterns at `options.place` until the program is to end, and answers the exit status:
// the first entry for the place that can run here decides, trying the platforms in the order
// Wayland, X11, SDL, Windows. A place no entry can take ends with one line and status 1 (thrown
// as std::exception, as any entry's failure is).
int runAtPlace(const Options& options, StopRequest* stop);

}  // namespace walkers
