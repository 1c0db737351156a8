// A long soak: one pattern grown for 10,000,000 ticks at 510 x 370 (about 2 h 47 min of running
// at 1 ms a tick), with the walker invariants checked along the way and at the end.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "engine/form.hpp"
#include "fuzz/invariants.hpp"

namespace {

constexpr std::int64_t kTicks = 10'000'000;
constexpr std::int64_t kCheckEvery = 100'000;

void BM_Soak(benchmark::State& state) {
  const auto seed = static_cast<std::uint64_t>(state.range(0));
  for (auto _ : state) {
    walkers::Form form(510, 370, walkers::Random{seed});
    walkers::testing::InvariantChecker checker;
    for (std::int64_t done = 0; done < kTicks; done += kCheckEvery) {
      const bool unseeded = !form.pattern().seeded();
      for (std::int64_t t = 0; t < kCheckEvery; ++t) form.t_Timer();
      if (const auto wrong = checker.check(form.pattern(), form.canvas(), unseeded, true);
          !wrong.empty()) {
        state.SkipWithError(wrong.c_str());
        return;
      }
    }
    const auto& pattern = form.pattern();
    int parked = 0;
    for (std::size_t k = 0; k < pattern.activeCount(); ++k) {
      const auto x = pattern.posX()[k];
      const auto y = pattern.posY()[k];
      parked += x == INT16_MIN || x == INT16_MAX || y == INT16_MIN || y == INT16_MAX;
    }
    state.counters["active"] = static_cast<double>(pattern.activeCount());
    state.counters["parked_at_limit"] = parked;
  }
  state.counters["per_tick"] = benchmark::Counter(
      static_cast<double>(kTicks),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Soak)->Arg(2389)->Arg(1)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
