// The two ways a pattern runs: one screen with its own loop, or several screens from one wait.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include "host/core/loop.hpp"
#include "host/core/patterns.hpp"

namespace walkers {

class StopRequest;

// The loop's options for a place: each pattern's seed on standard output (dropped rather than
// waited for), a store kept short of memory said once on standard error, WALKERS_TICK_LIMIT for
// tests, a fresh pattern every `cycle` and, where the screen must never go still (wallpapers,
// screensavers, other programs' windows), after a while without change. With `pauseOnBattery`
// the patterns rest while the machine runs on battery: the power supply is read (onBattery) at
// most once per kBatteryRecheck, and every loop given these options shares that reading.
LoopOptions loopOptionsFor(std::chrono::seconds cycle, bool restartWhenStill, bool pauseOnBattery);

// One pattern on one host until the host or the form ends it (Esc, the window closed or gone, a
// stop request); the first pattern takes `firstSeed` when given. Answers the exit status, 0.
int runOneScreen(Host& host, const LoopOptions& options, std::optional<std::uint64_t> firstSeed);

// What a platform supplies to run a pattern on each of several screens from one wait (the
// screensaver's covers, a wallpaper on every output): the screens themselves, as hosts, the
// inputs they saw, and the wait. The shared runner owns the loop.
class Screens {
 public:
  virtual ~Screens() = default;
  // Brings `patterns` up to date with the screens: a pattern for each screen ready for one, none
  // for a screen that went away. Answers false once no screen is left nor will come.
  virtual bool follow(Patterns& patterns) = 0;
  // How many key presses, button presses and pointer movements the screens have seen so far.
  virtual std::uint64_t inputs() = 0;
  // Sleeps until `deadline`, input on any screen, or a stop request, whichever comes first.
  virtual void waitUntil(LoopClock::time_point deadline) = 0;
};

// Runs a pattern on each of `screens` until a stop request (`stop`, may be null), until no screen
// is left, or, with `endOnInput` (a screensaver), at the first input after InputGrace's grace.
// The first pattern on each screen takes `firstSeed` when given. Answers the exit status, 0.
int runScreens(Screens& screens, const LoopOptions& options, std::optional<std::uint64_t> firstSeed,
               bool endOnInput, const StopRequest* stop);

}  // namespace walkers
