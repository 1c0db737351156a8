// The loop every host runs: ticks, events, restarts and frames, on whatever clock the host keeps.
#include "host/core/loop.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace walkers {

Loop::Loop(Form& form, Host& host, LoopOptions options)
    : form_(form), host_(host), options_(std::move(options)) {
  if (PixelMemory* memory = host_.pixelMemory()) form_.canvas().keepPixelsIn(memory);
  // The picture a tick limit holds is there to be compared: nothing restarts it by itself.
  if (options_.tickLimit) {
    options_.cycle = {};
    options_.restartWhenStill = false;
  }
}

void Loop::run() {
  while (const auto next = step()) host_.waitUntil(*next);
}

std::optional<LoopClock::time_point> Loop::step() {
  if (ended_) return std::nullopt;
  if (!started_) start();
  while (const auto event = host_.nextEvent()) {
    runDueTicks();
    if (handle(*event) == Next::kEnd) {
      ended_ = true;
      return std::nullopt;
    }
  }
  runDueTicks();
  const auto now = host_.now();
  const Rest decision =
      decideRest(host_.sight(), options_.onBattery && options_.onBattery(now), now);
  if (decision.resting) {
    rest(now);
    return decision.decideAgainAt;
  }
  wake(now);
  restartWhenDue(now);
  if (now >= nextFrame_) {
    presentFrame(now);
    nextFrame_ += framePeriod_;
    if (nextFrame_ <= now) nextFrame_ = now + framePeriod_;
  }
  return std::min(nextWake(), decision.decideAgainAt);
}

void Loop::start() {
  const auto now = host_.now();
  t_.start(now);
  framePeriod_ = host_.framePeriod();
  nextFrame_ = now;
  nextCycle_ = now + options_.cycle;
  lastChange_ = now;
  started_ = true;
}

void Loop::runDueTicks() {
  std::uint64_t due = t_.takeDue(host_.now());
  if (options_.tickLimit) due = std::min(due, *options_.tickLimit - ticks_);
  for (std::uint64_t k = 0; k < due; ++k) {
    if (const auto seed = form_.t_Timer(); seed && options_.patternStarted) {
      options_.patternStarted(*seed);
    }
  }
  ticks_ += due;
}

Loop::Next Loop::handle(const HostEvent& event) {
  switch (event.kind) {
    case HostEvent::Kind::kEnd:
      return Next::kEnd;
    case HostEvent::Kind::kKey:
      if (form_.Form_KeyPress(event.key) == KeyOutcome::kEndProgram) return Next::kEnd;
      break;
    case HostEvent::Kind::kResized:
      // Short of memory for a larger store, the picture goes on in the store it has.
      if (auto reason = form_.canvas().resizeKeepingStore(event.width, event.height)) {
        if (!storeKeptSaid_ && options_.storeKept) {
          options_.storeKept(
              *reason + ": going on with the " + std::to_string(form_.canvas().storedWidth()) +
              "x" + std::to_string(form_.canvas().storedHeight()) + " stored, black beyond");
        }
        storeKeptSaid_ = true;
      }
      break;
    case HostEvent::Kind::kLost:
      planner_.lost(event.area);
      break;
  }
  return Next::kGoOn;
}

void Loop::rest(LoopClock::time_point now) {
  if (t_.paused()) return;
  t_.pause(now);
  restStart_ = now;
}

// Back from a rest: every deadline moves on by its length, and the screen gets a frame at once
// with whatever it lost meanwhile.
void Loop::wake(LoopClock::time_point now) {
  if (!t_.paused()) return;
  t_.resume(now);
  const auto rested = now - restStart_;
  nextCycle_ += rested;
  lastChange_ += rested;
  nextFrame_ = now;
}

// A fresh pattern every `cycle`, and on a still screen when asked. Stillness is read from the
// frames: a frame has changes exactly when something was painted on the visible canvas.
void Loop::restartWhenDue(LoopClock::time_point now) {
  if (options_.cycle.count() > 0 && now >= nextCycle_) {
    form_.startFreshPattern();
    nextCycle_ += options_.cycle;
    if (nextCycle_ <= now) nextCycle_ = now + options_.cycle;
  }
  if (options_.restartWhenStill && now - lastChange_ >= kStillRestart) {
    form_.startFreshPattern();
    lastChange_ = now;
  }
}

void Loop::presentFrame(LoopClock::time_point now) {
  const auto changed = form_.canvas().takeChanged();
  if (!changed.empty()) lastChange_ = now;
  const FramePlan& plan = planner_.next(form_.canvas(), changed);
  if (!plan.empty()) host_.present(form_.canvas(), plan);
}

LoopClock::time_point Loop::nextWake() const {
  auto wake = nextFrame_;
  if (options_.cycle.count() > 0) wake = std::min(wake, nextCycle_);
  if (options_.restartWhenStill) wake = std::min(wake, lastChange_ + kStillRestart);
  return wake;
}

}  // namespace walkers
