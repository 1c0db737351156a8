// Runs the real main window and loop for a while and reports its tick rate, frame rate, CPU share,
// time to the first frame and the delay from Enter to the cleared frame. Run it through
// window_bench.sh, which provides an X server and presses Enter.
#include <SDL.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "host/main_window.hpp"

namespace {

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

Uint32 pushQuit(Uint32, void*) {
  SDL_Event quit{};
  quit.type = SDL_QUIT;
  SDL_PushEvent(&quit);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const auto entered = Clock::now();
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  walkers::MainWindow w;
  walkers::Form form(w.width(), w.height());
  walkers::Loop loop(form, w);
  SDL_InitSubSystem(SDL_INIT_TIMER);
  SDL_AddTimer(static_cast<Uint32>(seconds * 1000), pushQuit, nullptr);
  const auto started = Clock::now();
  const int status = loop.run();
  const double ran = std::chrono::duration<double>(Clock::now() - started).count();
  const auto& stats = loop.stats();
  const auto ms = [](Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
  };
  std::printf("run                %.2f s (exit status %d)\n", ran, status);
  std::printf("ticks per second   %.1f (%llu ticks, %llu dropped)\n",
              static_cast<double>(stats.ticks) / ran, static_cast<unsigned long long>(stats.ticks),
              static_cast<unsigned long long>(loop.timer().dropped()));
  std::printf(
      "frames per second  %.1f, %.1f %% of the canvas each on average\n",
      static_cast<double>(stats.frames) / ran,
      100.0 * static_cast<double>(stats.pixelsPresented) /
          (static_cast<double>(stats.frames) * form.canvas().width() * form.canvas().height()));
  std::printf("rectangles a frame %.1f\n",
              static_cast<double>(stats.rectanglesPresented) / static_cast<double>(stats.frames));
  std::printf("CPU                %.2f %% of one core (%.3f s, start-up included)\n",
              100.0 * cpuSeconds() / ran, cpuSeconds());
  std::printf("  of which ticks   %.3f s, presenting %.3f s\n",
              std::chrono::duration<double>(stats.ticking).count(),
              std::chrono::duration<double>(stats.presenting).count());
  std::printf("first frame        %.1f ms after main() was entered\n",
              ms(stats.firstFrame - entered));
  // window_bench.sh passes the wall-clock time, in ns, just before it started this process.
  if (const char* launched = std::getenv("WALKERS_LAUNCHED_NS")) {
    const auto firstFrameWall =
        std::chrono::system_clock::now() - (Clock::now() - stats.firstFrame);
    const auto sinceLaunch = firstFrameWall.time_since_epoch() -
                             std::chrono::nanoseconds(std::strtoll(launched, nullptr, 10));
    std::printf("                   %.1f ms after the process was launched\n", ms(sinceLaunch));
  }
  if (stats.clearsShown > 0) {
    std::printf("Enter to frame     mean %.1f ms, max %.1f ms over %llu presses\n",
                ms(stats.clearToFrameTotal) / static_cast<double>(stats.clearsShown),
                ms(stats.clearToFrameMax), static_cast<unsigned long long>(stats.clearsShown));
  }
  return status;
}
