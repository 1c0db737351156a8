// Runs the real main window and loop for a while and reports its tick rate, frame rate, CPU share,
// time to the first frame and the delay from Enter to the cleared frame. Run it through
// window_bench.sh, which provides an X server and presses Enter.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "host/x11/x11_main_window.hpp"

namespace {

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Counts what the loop asks of the window, timing it on the way: the loop itself keeps no counts.
// It ends the loop at `end`.
class MeasuredHost : public walkers::Host {
 public:
  using Clock = walkers::LoopClock;
  MeasuredHost(walkers::Host& host, Clock::time_point end) : host_(host), end_(end) {}

  Clock::time_point now() const override { return host_.now(); }
  int width() const override { return host_.width(); }
  int height() const override { return host_.height(); }
  void waitUntil(Clock::time_point deadline) override {
    const auto asleep = Clock::now();
    busy_ += asleep - awake_;
    host_.waitUntil(std::min(deadline, end_));
    awake_ = Clock::now();
  }
  std::optional<walkers::HostEvent> nextEvent() override {
    if (Clock::now() >= end_) return walkers::HostEvent{walkers::HostEvent::Kind::kEnd};
    auto event = host_.nextEvent();
    if (event && event->kind == walkers::HostEvent::Kind::kKey &&
        event->key == walkers::kKeyEnter) {
      enteredAt_ = Clock::now();
    }
    return event;
  }
  walkers::PixelMemory* pixelMemory() override { return host_.pixelMemory(); }
  void present(const walkers::Canvas& canvas, const walkers::FramePlan& plan) override {
    const auto start = Clock::now();
    host_.present(canvas, plan);
    const auto shown = Clock::now();
    presenting_ += shown - start;
    for (const walkers::Rect& part : plan.copy) {
      pixels_ += static_cast<double>(part.right - part.left) * (part.bottom - part.top);
    }
    rectangles_ += plan.copy.size() + plan.black.size();
    if (frames_++ == 0) firstFrame_ = shown;
    if (enteredAt_) {
      const auto delay = shown - *enteredAt_;
      ++clearsShown_;
      clearToFrameTotal_ += delay;
      clearToFrameMax_ = std::max(clearToFrameMax_, delay);
      enteredAt_.reset();
    }
  }
  Clock::duration framePeriod() const override { return host_.framePeriod(); }

  void report(double ran, const walkers::Loop& loop, const walkers::Canvas& canvas,
              Clock::time_point entered) const;

 private:
  walkers::Host& host_;
  Clock::time_point end_;
  Clock::time_point awake_ = Clock::now();
  Clock::duration busy_{};  // awake, outside the window's own sleep
  Clock::duration presenting_{};
  double pixels_ = 0;
  std::uint64_t rectangles_ = 0;
  std::uint64_t frames_ = 0;
  Clock::time_point firstFrame_{};
  std::optional<Clock::time_point> enteredAt_;
  std::uint64_t clearsShown_ = 0;
  Clock::duration clearToFrameTotal_{};
  Clock::duration clearToFrameMax_{};
};

double ms(walkers::LoopClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void MeasuredHost::report(double ran, const walkers::Loop& loop, const walkers::Canvas& canvas,
                          Clock::time_point entered) const {
  std::printf("ticks per second   %.1f (%llu ticks, %llu dropped)\n",
              static_cast<double>(loop.ticks()) / ran,
              static_cast<unsigned long long>(loop.ticks()),
              static_cast<unsigned long long>(loop.timer().dropped()));
  const auto frames = static_cast<double>(frames_);
  std::printf("frames per second  %.1f, %.1f %% of the canvas each on average\n", frames / ran,
              100.0 * pixels_ / (frames * canvas.width() * canvas.height()));
  std::printf("rectangles a frame %.1f\n", static_cast<double>(rectangles_) / frames);
  std::printf("CPU                %.2f %% of one core (%.3f s, start-up included)\n",
              100.0 * cpuSeconds() / ran, cpuSeconds());
  std::printf("  awake: ticks etc %.3f s, presenting %.3f s\n",
              std::chrono::duration<double>(busy_ - presenting_).count(),
              std::chrono::duration<double>(presenting_).count());
  std::printf("first frame        %.1f ms after main() was entered\n", ms(firstFrame_ - entered));
  // window_bench.sh passes the wall-clock time, in ns, just before it started this process.
  if (const char* launched = std::getenv("WALKERS_LAUNCHED_NS")) {
    const auto firstFrameWall = std::chrono::system_clock::now() - (Clock::now() - firstFrame_);
    const auto sinceLaunch = firstFrameWall.time_since_epoch() -
                             std::chrono::nanoseconds(std::strtoll(launched, nullptr, 10));
    std::printf("                   %.1f ms after the process was launched\n", ms(sinceLaunch));
  }
  if (clearsShown_ > 0) {
    std::printf("Enter to frame     mean %.1f ms, max %.1f ms over %llu presses\n",
                ms(clearToFrameTotal_) / static_cast<double>(clearsShown_), ms(clearToFrameMax_),
                static_cast<unsigned long long>(clearsShown_));
  }
}

}  // namespace

int main(int argc, char** argv) {
  using Clock = std::chrono::steady_clock;
  const auto entered = Clock::now();
  const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
  walkers::X11MainWindow w;
  const auto started = Clock::now();
  MeasuredHost host(w, started + std::chrono::duration_cast<Clock::duration>(
                                     std::chrono::duration<double>(seconds)));
  walkers::Form form(w.width(), w.height());
  walkers::Loop loop(form, host);
  loop.run();
  const double ran = std::chrono::duration<double>(Clock::now() - started).count();
  std::printf("run                %.2f s\n", ran);
  host.report(ran, loop, form.canvas(), entered);
  return 0;
}
