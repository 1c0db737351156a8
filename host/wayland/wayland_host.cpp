// Following Wayland outputs with one surface and one pattern each, and ending the screensaver.
#include "host/wayland/wayland_host.hpp"

#include "host/core/input_grace.hpp"
#include "host/core/seams.hpp"

namespace walkers {
namespace {

// The longest the host sleeps without a reason: its patterns give the real deadlines.
constexpr std::chrono::seconds kLongestSleep{1};

}  // namespace

WaylandHost::WaylandHost(Mode mode, StopRequest& stop)
    : mode_(mode), stop_(stop), display_(mode == Mode::kScreensaver) {
  display_.setCallbacks({[this](WaylandOutput& output) { outputChanged(output); },
                         [this](WaylandOutput& output) { outputRemoved(output); },
                         {}});
  for (const auto& output : display_.outputs()) {
    if (output->ready) outputChanged(*output);
  }
}

WaylandHost::~WaylandHost() {
  patterns_.reset();  // before the surfaces they draw on
  surfaces_.clear();
}

void WaylandHost::outputChanged(WaylandOutput& output) {
  const auto found = surfaces_.find(&output);
  if (found != surfaces_.end()) {
    found->second->outputChanged();
    return;
  }
  const auto layer = mode_ == Mode::kScreensaver ? WaylandSurface::Layer::kOverlay
                                                 : WaylandSurface::Layer::kBackground;
  surfaces_.emplace(&output, std::make_unique<WaylandSurface>(display_, output, layer, stop_));
}

void WaylandHost::outputRemoved(WaylandOutput& output) {
  const auto found = surfaces_.find(&output);
  if (found == surfaces_.end()) return;
  if (patterns_) patterns_->drop(*found->second);
  surfaces_.erase(found);
}

int WaylandHost::run(const LoopOptions& options, std::optional<std::uint64_t> firstSeed) {
  patterns_ = std::make_unique<Patterns>(options, firstSeed);
  InputGrace grace(LoopClock::now());
  const bool screensaver = mode_ == Mode::kScreensaver;
  for (;;) {
    if (stop_.requested()) return 0;
    const auto now = LoopClock::now();
    if (screensaver && grace.ended(now, display_.inputs())) return 0;
    // A surface gets its pattern once the compositor has given it a size; one it closed goes.
    std::erase_if(surfaces_, [&](auto& entry) {
      WaylandSurface& surface = *entry.second;
      if (surface.closed()) patterns_->drop(surface);
      if (surface.configured() && !surface.closed() && !patterns_->has(surface)) {
        patterns_->add(surface, surface.width(), surface.height());
      }
      return surface.closed();
    });
    auto next = patterns_->step(now + kLongestSleep);
    if (screensaver && now < grace.graceEnd()) next = std::min(next, grace.graceEnd());
    display_.wait(next, static_cast<int>(stop_.waitable()));
  }
}

}  // namespace walkers
