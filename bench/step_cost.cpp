// One walker step's cost with every slot active, by the same code natively and in WebAssembly
// (bench/web_bench.py runs both), so the page's engine can be set against the desktop's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bench/full_pattern.hpp"

// The time of one walker step in the best of `rounds` runs of 1000 ticks from the same full
// pattern, in ns: the best round is the one least disturbed by other work on the machine. Each
// round starts from a copy, so the figure does not drift as walkers leave the canvas; the copy is
// not timed. A browser's clock counts in steps of 0.1 ms, about 3 % of a round.
extern "C" __attribute__((used, visibility("default"))) double walkers_step_cost(int rounds) {
  using Clock = std::chrono::steady_clock;
  constexpr int kTicks = 1000;
  const walkers::bench::FullPattern start;
  auto best = Clock::duration::max();
  for (int round = 0; round < rounds; ++round) {
    walkers::bench::FullPattern run = start;
    const auto begin = Clock::now();
    for (int t = 0; t < kTicks; ++t) run.pattern.tick(run.canvas, run.random);
    best = std::min(best, Clock::now() - begin);
  }
  return std::chrono::duration<double, std::nano>(best).count() / (kTicks * walkers::kSlots);
}

#ifndef __EMSCRIPTEN__
int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 200;
  std::printf("%.3f\n", walkers_step_cost(rounds > 0 ? rounds : 200));
  return 0;
}
#endif
