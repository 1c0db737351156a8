// The web page's entry points: start a pattern, hand in keys and sizes, step the loop on each
// animation frame, and read the seed, the tick and the picture back.
#include <cstdint>
#include <optional>
#include <utility>

#include "engine/form.hpp"
#include "host/core/frame_plan.hpp"
#include "host/core/loop.hpp"
#include "host/web/web_host.hpp"

namespace {

// Everything the page runs: one form and one loop per pattern, on one host for the page's life.
struct Page {
  walkers::WebHost host;
  std::optional<walkers::Form> form;
  std::optional<walkers::Loop> loop;
  walkers::FramePlanner stopped;  // frames once the loop has ended
  bool running = false;
  std::uint64_t seed = 0;  // the seed of the pattern shown, once its first tick has seeded it
  bool started = false;    // a pattern started since the page last asked
};

Page& page() {
  static Page the;
  return the;
}

// A frame after the loop ended (on Esc): what its last ticks painted, a resize, a lost picture.
void presentWhatIsLeft(Page& p) {
  walkers::Canvas& canvas = p.form->canvas();
  const walkers::FramePlan& plan = p.stopped.next(canvas, canvas.takeChanged());
  if (!plan.empty()) p.host.present(canvas, plan);
}

}  // namespace

// What the page's script calls, by these names.
#define WALKERS_EXPORT extern "C" __attribute__((used, visibility("default")))

// A fresh pattern on a black canvas of this size: from the seed high:low when `pinned`, else from
// the clock; held at tick `tickLimit` when that is not negative. Seeds are 64-bit and JavaScript
// numbers are exact only up to 2^53, so seeds cross as two 32-bit halves.
WALKERS_EXPORT void walkers_start(int width, int height, int pinned, std::uint32_t high,
                                  std::uint32_t low, double tickLimit) {
  Page& p = page();
  p.loop.reset();
  p.host.forgetEvents();
  p.form.emplace(width, height);
  p.stopped = walkers::FramePlanner{};
  if (pinned != 0) p.form->random().seedNextWith(std::uint64_t{high} << 32 | low);
  walkers::LoopOptions options;
  options.patternStarted = [&p](std::uint64_t seed) {
    p.seed = seed;
    p.started = true;
  };
  if (tickLimit >= 0) options.tickLimit = static_cast<std::uint64_t>(tickLimit);
  p.loop.emplace(*p.form, p.host, std::move(options));
  p.running = true;
}

// One iteration of the loop: the ticks that fell due, the keys and sizes handed in, the frame.
// Returns 0 once the loop has ended (Esc), 1 while it runs.
WALKERS_EXPORT int walkers_step() {
  Page& p = page();
  if (!p.running) return 0;
  if (!p.loop->step()) {
    p.running = false;
    presentWhatIsLeft(p);
  }
  return p.running ? 1 : 0;
}

WALKERS_EXPORT void walkers_key(int code) {
  page().host.queue({walkers::HostEvent::Kind::kKey, static_cast<std::int16_t>(code)});
}

// The viewport's new size. A stopped pattern keeps its picture and follows the size at once.
WALKERS_EXPORT void walkers_resize(int width, int height) {
  Page& p = page();
  if (p.running) {
    p.host.queue({walkers::HostEvent::Kind::kResized, 0, width, height});
  } else if (p.form) {
    p.form->canvas().resize(width, height);
    presentWhatIsLeft(p);
  }
}

// The page lost its canvas's pixels (a lost 2D context): the next frame draws all of them.
WALKERS_EXPORT void walkers_expose() {
  Page& p = page();
  if (p.running) {
    p.host.queue(walkers::HostEvent::lost());
  } else if (p.form) {
    p.stopped.lost(walkers::HostEvent::kEverywhere);
    presentWhatIsLeft(p);
  }
}

// Whether a pattern started since the last call; its seed is then walkers_seed_high:low.
WALKERS_EXPORT int walkers_take_started() { return std::exchange(page().started, false) ? 1 : 0; }
WALKERS_EXPORT std::uint32_t walkers_seed_high() {
  return static_cast<std::uint32_t>(page().seed >> 32);
}
WALKERS_EXPORT std::uint32_t walkers_seed_low() { return static_cast<std::uint32_t>(page().seed); }
// Ticks the pattern has run: the picture is walkers-render's after that many.
WALKERS_EXPORT double walkers_ticks() {
  const Page& p = page();
  return p.loop ? static_cast<double>(p.loop->ticks()) : 0;
}

WALKERS_EXPORT const std::uint32_t* walkers_picture() { return page().host.picture(); }
WALKERS_EXPORT int walkers_width() { return page().host.width(); }
WALKERS_EXPORT int walkers_height() { return page().host.height(); }
// The rectangles of the picture changed since walkers_forget_changed, four numbers each.
WALKERS_EXPORT const std::int32_t* walkers_changed() { return page().host.changed().data(); }
WALKERS_EXPORT int walkers_changed_count() {
  return static_cast<int>(page().host.changed().size() / 4);
}
WALKERS_EXPORT void walkers_forget_changed() { page().host.forgetChanged(); }
