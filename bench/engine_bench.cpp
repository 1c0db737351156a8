// Speed of the pattern engine: one tick with every slot active, and 60,000 ticks of a real pattern
// against the tests' reference model, which scans the slots from 0 for every branch.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_START_INSTRUMENTATION
#define CALLGRIND_STOP_INSTRUMENTATION
#endif

#include "bench/full_pattern.hpp"
#include "engine/form.hpp"
#include "tests/support/reference_model.hpp"

namespace {

using walkers::Random;
using walkers::bench::FullPattern;

constexpr int kWidth = 510;
constexpr int kHeight = 370;
constexpr int kRenderTicks = 60000;
constexpr std::uint64_t kRenderSeed = 2389;

void BM_TickAllSlotsActive(benchmark::State& state) {
  // Every iteration runs the same 1000 ticks from the same full pattern, so the figure does not
  // drift as walkers wander off the canvas.
  constexpr int kTicks = 1000;
  const FullPattern start;
  FullPattern run = start;
  for (auto _ : state) {
    state.PauseTiming();
    run = start;
    state.ResumeTiming();
    for (int t = 0; t < kTicks; ++t) run.pattern.tick(run.canvas, run.random);
    benchmark::DoNotOptimize(run.canvas.pixels().data());
  }
  // One item is one walker step; ns_per_walker_step is the per-walker cost.
  const auto steps = static_cast<double>(state.iterations()) * kTicks * walkers::kSlots;
  state.SetItemsProcessed(static_cast<std::int64_t>(steps));
  state.counters["ns_per_walker_step"] =
      benchmark::Counter(steps, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TickAllSlotsActive);

// What walkers-render does for --seed 2389 --ticks 60000 at 510x370, minus the PNG.
void BM_Render60000Ticks(benchmark::State& state) {
  for (auto _ : state) {
    walkers::Form form(kWidth, kHeight, Random{kRenderSeed});
    for (int t = 0; t < kRenderTicks; ++t) form.t_Timer();
    benchmark::DoNotOptimize(form.canvas().pixels().data());
  }
  state.counters["per_tick"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kRenderTicks),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Render60000Ticks)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Render60000TicksReferenceModel(benchmark::State& state) {
  for (auto _ : state) {
    walkers::testing::ReferenceModel<Random> model(kWidth, kHeight, Random{kRenderSeed});
    for (int t = 0; t < kRenderTicks; ++t) model.tick();
    benchmark::DoNotOptimize(model.pixels().data());
  }
  state.counters["per_tick"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kRenderTicks),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Render60000TicksReferenceModel)->Unit(benchmark::kMillisecond)->Iterations(1);

// For a figure that does not depend on the machine's mood:
//   valgrind --tool=callgrind --instr-atstart=no build/release/bench/engine_bench --instructions
// counts the instructions of 1000 ticks of the full pattern (divide by 501,000 for one step).
void countInstructions() {
  FullPattern full;
  CALLGRIND_START_INSTRUMENTATION;
  for (int t = 0; t < 1000; ++t) full.pattern.tick(full.canvas, full.random);
  CALLGRIND_STOP_INSTRUMENTATION;
  benchmark::DoNotOptimize(full.canvas.pixels().data());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--instructions") == 0) {
    countInstructions();
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
