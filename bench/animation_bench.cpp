// Time-lapse figures at 510x370, one frame every 40 ticks: encoding time, file size, peak memory.
// Run a subset with, for instance, --benchmark_filter='effort:-1'.
//
// Each case runs in a child process of its own, so that its peak resident memory is its own:
//   encode_s   seconds spent in the encoder (frames and assembly), not growing the pattern
//   total_s    seconds for the whole run, growing included
//   MB         the file's size in megabytes (10^6 bytes)
//   peak_MB    the child's peak resident memory, the canvas and the encoder's frames included
//   frames     frames the pattern took (the file folds frames identical to the one before)
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <optional>

#include "engine/form.hpp"
#include "tools/animation.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 510;
constexpr int kHeight = 370;
constexpr std::uint64_t kEvery = 40;
constexpr std::uint64_t kSeed = 11;  // the README's pattern

struct Figures {
  double encodeSeconds = 0;
  double totalSeconds = 0;
  double bytes = 0;
  double frames = 0;
};

Figures timeLapse(std::uint64_t ticks, std::optional<int> quality, int effort) {
  namespace render = walkers::render;
  Figures figures;
  const auto start = Clock::now();
  render::AnimationSettings settings;
  settings.quality = quality;
  if (effort >= 0) (quality ? settings.lossyMethod : settings.losslessLevel) = effort;
  settings.frameMs = static_cast<int>(kEvery);
  walkers::Form form(kWidth, kHeight, walkers::Random{kSeed});
  render::WebpAnimation animation(kWidth, kHeight, settings);
  const render::FrameClock clock(ticks, kEvery);
  Clock::duration encoding{};
  std::uint64_t done = 0;
  for (std::uint64_t frame = 0; frame < clock.count(); ++frame) {
    for (; done < clock.tickOf(frame); ++done) form.t_Timer();
    const auto before = Clock::now();
    animation.add(form.canvas(), form.canvas().takeChanged());
    encoding += Clock::now() - before;
  }
  const auto before = Clock::now();
  const render::WebpBytes file = animation.finish();
  encoding += Clock::now() - before;
  figures.encodeSeconds = std::chrono::duration<double>(encoding).count();
  figures.totalSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  figures.bytes = static_cast<double>(file.bytes().size());
  figures.frames = static_cast<double>(clock.count());
  return figures;
}

void BM_TimeLapse(benchmark::State& state) {
  const auto ticks = static_cast<std::uint64_t>(state.range(0));
  const auto quality =
      state.range(1) < 0 ? std::nullopt : std::optional<int>(static_cast<int>(state.range(1)));
  const auto effort = static_cast<int>(state.range(2));
  std::string label = quality ? "quality " + std::to_string(*quality) : "lossless";
  if (effort >= 0) label += (quality ? ", method " : ", level ") + std::to_string(effort);
  state.SetLabel(label);
  for (auto _ : state) {
    int channel[2];
    if (::pipe(channel) != 0) {
      state.SkipWithError("pipe failed");
      return;
    }
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(channel[0]);
      const Figures figures = timeLapse(ticks, quality, effort);
      const bool sent = ::write(channel[1], &figures, sizeof figures) == sizeof figures;
      ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    Figures figures;
    const bool received = child > 0 && ::read(channel[0], &figures, sizeof figures) ==
                                           static_cast<ssize_t>(sizeof figures);
    ::close(channel[0]);
    int status = 0;
    rusage usage{};
    if (child > 0) ::wait4(child, &status, 0, &usage);
    if (!received || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("the time-lapse child failed");
      return;
    }
    state.SetIterationTime(figures.totalSeconds);
    state.counters["encode_s"] = figures.encodeSeconds;
    state.counters["total_s"] = figures.totalSeconds;
    state.counters["MB"] = figures.bytes / 1e6;
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;  // ru_maxrss is kB
    state.counters["frames"] = figures.frames;
  }
}
// 10 s, 1 min and 10 min of pattern time; lossless (quality -1) and lossy at quality 75 and 50,
// with libwebp's effort at our default (-1). Then 10 s at other efforts, the choice behind the
// defaults: lossless level 0..9 (9 takes minutes), lossy method 0..6 (6 takes about a minute).
BENCHMARK(BM_TimeLapse)
    ->ArgsProduct({{10'000, 60'000}, {-1, 75, 50}, {-1}})
    ->Args({600'000, -1, -1})
    ->ArgsProduct({{10'000}, {-1}, {0, 2, 4, 6, 8}})
    ->ArgsProduct({{10'000}, {75}, {2}})
    ->ArgNames({"ticks", "quality", "effort"})
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
