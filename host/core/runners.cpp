// Running patterns: the loop options for a place, one screen's loop, and several screens' loop.
#include "host/core/runners.hpp"

#include <algorithm>
#include <memory>
#include <optional>

#include "engine/form.hpp"
#include "host/core/input_grace.hpp"
#include "host/core/seams.hpp"
#include "host/core/tick_limit.hpp"

namespace walkers {
namespace {

// The last reading of the power supply, and when it was taken.
struct PowerReading {
  std::optional<LoopClock::time_point> at;
  bool onBattery = false;
};

}  // namespace

LoopOptions loopOptionsFor(std::chrono::seconds cycle, bool restartWhenStill, bool pauseOnBattery) {
  LoopOptions options;
  options.tickLimit = tickLimit();  // which also holds the picture against every restart
  options.cycle = cycle;
  options.restartWhenStill = restartWhenStill;
  options.patternStarted = [](std::uint64_t seed) { static_cast<void>(printSeedLine(seed)); };
  options.storeKept = [](const std::string& message) { reportLine(message); };
  if (pauseOnBattery) {
    // Shared by the copies of these options each pattern's loop keeps: one reading for all.
    auto last = std::make_shared<PowerReading>();
    options.onBattery = [last](LoopClock::time_point now) {
      if (!last->at || now - *last->at >= kBatteryRecheck) {
        last->onBattery = onBattery();
        last->at = now;
      }
      return last->onBattery;
    };
  }
  return options;
}

int runOneScreen(Host& host, const LoopOptions& options, std::optional<std::uint64_t> firstSeed) {
  Form form(host.width(), host.height());
  if (firstSeed) form.random().seedNextWith(*firstSeed);
  Loop loop(form, host, options);
  loop.run();
  return 0;
}

int runScreens(Screens& screens, const LoopOptions& options, std::optional<std::uint64_t> firstSeed,
               bool endOnInput, const StopRequest* stop) {
  Patterns patterns(options, firstSeed);
  InputGrace grace(LoopClock::now());
  for (;;) {
    if (stop && stop->requested()) return 0;
    const auto now = LoopClock::now();
    if (endOnInput && grace.ended(now, screens.inputs())) return 0;
    if (!screens.follow(patterns)) return 0;
    // Screens that come or go wake the wait with an event: the patterns alone set the deadline,
    // none at all when every one of them rests.
    auto next = patterns.step(LoopClock::time_point::max());
    if (endOnInput && now < grace.graceEnd()) next = std::min(next, grace.graceEnd());
    screens.waitUntil(next);
  }
}

}  // namespace walkers
