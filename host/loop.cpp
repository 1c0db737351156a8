// The loop every host runs: ticks, events, restarts and frames, on whatever clock the host keeps.
#include "host/loop.hpp"

#include <algorithm>
#include <utility>

namespace walkers {

Loop::Loop(Form& form, Host& host, LoopOptions options)
    : form_(form), host_(host), options_(std::move(options)) {}

int Loop::run() {
  const auto start = host_.now();
  t_.start(start);
  framePeriod_ = host_.framePeriod();
  nextFrame_ = start;
  nextCycle_ = start + options_.cycle;
  lastPaint_ = start;
  for (;;) {
    while (const auto event = host_.nextEvent()) {
      runDueTicks();
      if (handle(*event) == Next::kEnd) return 0;
    }
    runDueTicks();
    const auto now = host_.now();
    if (options_.cycle.count() > 0 && now >= nextCycle_) {
      restart();
      nextCycle_ += options_.cycle;
      if (nextCycle_ <= now) nextCycle_ = now + options_.cycle;
    }
    if (options_.restartWhenStill && now - lastPaint_ >= kStillRestart) {
      restart();
      lastPaint_ = now;
    }
    if (now >= nextFrame_) {
      presentFrame(now);
      nextFrame_ += framePeriod_;
      if (nextFrame_ <= now) nextFrame_ = now + framePeriod_;
    }
    host_.waitUntil(nextWake());
  }
}

void Loop::runDueTicks() {
  const auto now = host_.now();
  std::uint64_t due = t_.takeDue(now);
  if (options_.tickLimit) due = std::min(due, *options_.tickLimit - stats_.ticks);
  if (due == 0) return;
  bool painted = !options_.restartWhenStill;  // only watched when it matters
  for (std::uint64_t k = 0; k < due; ++k) {
    const bool starting = !form_.pattern().seeded();
    form_.t_Timer();
    if (starting) {
      ++stats_.patterns;
      if (options_.patternStarted) options_.patternStarted(form_.random().seed());
    }
    if (!painted) painted = form_.paintsOnCanvas();
  }
  if (options_.restartWhenStill && painted) lastPaint_ = now;
  stats_.ticks += due;
  stats_.ticking += host_.now() - now;
}

Loop::Next Loop::handle(const HostEvent& event) {
  switch (event.kind) {
    case HostEvent::Kind::kEnd:
      return Next::kEnd;
    case HostEvent::Kind::kKey:
      if (form_.Form_KeyPress(event.key) == KeyOutcome::kEndProgram) return Next::kEnd;
      if (event.key == kKeyEnter) clearedAt_ = host_.now();
      break;
    case HostEvent::Kind::kResized:
      form_.canvas().resize(event.width, event.height);
      break;
    case HostEvent::Kind::kExposed:
      form_.canvas().markChanged();
      break;
  }
  return Next::kGoOn;
}

// A fresh pattern, just as Enter starts one.
void Loop::restart() { (void)form_.Form_KeyPress(kKeyEnter); }

void Loop::presentFrame(LoopClock::time_point now) {
  const auto changed = form_.canvas().takeChanged();
  if (changed.empty() && !host_.needsRepaint()) return;
  host_.present(form_.canvas(), changed);
  const auto shown = host_.now();
  stats_.presenting += shown - now;
  for (const Rect& part : changed) {
    stats_.pixelsPresented += static_cast<std::uint64_t>(part.right - part.left) *
                              static_cast<std::uint64_t>(part.bottom - part.top);
  }
  stats_.rectanglesPresented += changed.size();
  if (stats_.frames++ == 0) stats_.firstFrame = shown;
  if (clearedAt_) {
    const auto delay = shown - *clearedAt_;
    ++stats_.clearsShown;
    stats_.clearToFrameTotal += delay;
    stats_.clearToFrameMax = std::max(stats_.clearToFrameMax, delay);
    clearedAt_.reset();
  }
}

LoopClock::time_point Loop::nextWake() const {
  auto wake = nextFrame_;
  if (options_.cycle.count() > 0) wake = std::min(wake, nextCycle_);
  if (options_.restartWhenStill) wake = std::min(wake, lastPaint_ + kStillRestart);
  return wake;
}

}  // namespace walkers
