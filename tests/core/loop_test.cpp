// Tests of the loop on a fake host and clock: lazy ticks, catch-up cap, frames, restarts, ending.
#include "host/core/loop.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <stdexcept>

#include "tests/support/host_memory.hpp"

namespace walkers {
namespace {

using namespace std::chrono_literals;
using Time = LoopClock::time_point;

// A host whose clock only moves when the loop sleeps: each wait jumps to the deadline or to the
// next scripted event, whichever is first. Records every frame presented.
class FakeHost : public Host {
 public:
  static constexpr LoopClock::duration kPeriod = 16'666'667ns;
  const Time start = Time{} + 1000s;

  void at(LoopClock::duration offset, HostEvent event) {
    script_.push_back({start + offset, event});
  }
  void end(LoopClock::duration offset) { at(offset, {HostEvent::Kind::kEnd}); }
  void key(LoopClock::duration offset, std::int16_t code) {
    at(offset, {HostEvent::Kind::kKey, code});
  }
  // Nobody can see the picture from `from` to `to`; both come with an event, as covering and
  // uncovering a screen do.
  void hide(LoopClock::duration from, LoopClock::duration to) {
    hidden_.emplace_back(from, to);
    at(from, HostEvent::lost());
    at(to, HostEvent::lost());
  }
  Sight sight() override {
    Sight sight;
    for (const auto& [from, to] : hidden_)
      sight.covered |= now_ >= start + from && now_ < start + to;
    return sight;
  }
  void stall(LoopClock::duration offset, LoopClock::duration length) {
    stallAt_ = start + offset;
    stallLength_ = length;
  }

  struct Frame {
    Time time;
    std::uint64_t ticks;  // ticks the loop had run when it presented
  };
  std::vector<Frame> frames;
  std::vector<Time> restingWaits;  // the deadline of every wait while hidden
  const Loop* loop = nullptr;
  PixelMemory* memory = nullptr;
  PixelMemory* pixelMemory() override { return memory; }

  Time now() const override { return now_; }
  // The tests give their forms sizes of their own.
  int width() const override { return 0; }
  int height() const override { return 0; }
  void waitUntil(Time deadline) override {
    if (now_ - start > 1h) throw std::runtime_error("the loop did not end");
    Time next = deadline;
    if (!script_.empty()) next = std::min(next, script_.front().time);
    if (sight().covered) restingWaits.push_back(deadline);
    now_ = std::max(now_, next);
    if (stallLength_ > 0s && now_ >= stallAt_) {
      now_ += stallLength_;
      stallLength_ = 0s;
    }
  }
  std::optional<HostEvent> nextEvent() override {
    if (script_.empty() || script_.front().time > now_) return std::nullopt;
    const HostEvent event = script_.front().event;
    script_.pop_front();
    return event;
  }
  void present(const Canvas& /*canvas*/, const FramePlan& plan) override {
    EXPECT_FALSE(plan.empty());
    frames.push_back({now_, loop ? loop->ticks() : 0});
  }
  LoopClock::duration framePeriod() const override { return kPeriod; }

 private:
  struct Scripted {
    Time time;
    HostEvent event;
  };
  std::deque<Scripted> script_;
  Time now_ = start;
  Time stallAt_{};
  LoopClock::duration stallLength_{};
  std::vector<std::pair<LoopClock::duration, LoopClock::duration>> hidden_;
};

// Runs a loop over `form` on `host` and returns each pattern's seed and start offset.
struct Started {
  std::uint64_t seed;
  LoopClock::duration at;
};
std::vector<Started> runLoop(Form& form, FakeHost& host, LoopOptions options = {}) {
  std::vector<Started> started;
  options.patternStarted = [&](std::uint64_t seed) {
    started.push_back({seed, host.now() - host.start});
  };
  Loop loop(form, host, options);
  host.loop = &loop;
  loop.run();
  host.loop = nullptr;
  return started;
}

bool samePicture(const Form& a, const Form& b) {
  if (a.canvas().width() != b.canvas().width() || a.canvas().height() != b.canvas().height()) {
    return false;
  }
  for (int y = 0; y < a.canvas().storedHeight(); ++y) {
    if (!std::equal(a.canvas().row(y), a.canvas().row(y) + a.canvas().storedWidth(),
                    b.canvas().row(y))) {
      return false;
    }
  }
  const std::size_t active = a.pattern().activeCount();
  return active == b.pattern().activeCount() &&
         std::equal(a.pattern().posX().begin(), a.pattern().posX().begin() + active,
                    b.pattern().posX().begin()) &&
         std::equal(a.pattern().posY().begin(), a.pattern().posY().begin() + active,
                    b.pattern().posY().begin());
}

void tick(Form& form, int count) {
  for (int k = 0; k < count; ++k) form.t_Timer();
}

// A host that owns its main loop (a browser page) calls step() whenever it likes: each call runs
// what fell due by then and names the next time it is needed.
TEST(Loop, StepRunsWhatFellDueAndNamesTheNextTimeItIsNeeded) {
  FakeHost host;
  host.key(40'500us, kKeyEscape);
  Form form(40, 30);
  Loop loop(form, host);
  host.loop = &loop;
  EXPECT_EQ(loop.step(), host.start + FakeHost::kPeriod);  // the first frame went out at once
  ASSERT_EQ(host.frames.size(), 1u);

  host.waitUntil(host.start + 5'500us);  // called early: the ticks run, the frame waits
  EXPECT_EQ(loop.step(), host.start + FakeHost::kPeriod);
  EXPECT_EQ(loop.ticks(), 5u);
  EXPECT_EQ(host.frames.size(), 1u);

  host.waitUntil(host.start + 29ms);  // called late: one frame with every tick, then on schedule
  EXPECT_EQ(loop.step(), host.start + 2 * FakeHost::kPeriod);
  ASSERT_EQ(host.frames.size(), 2u);
  EXPECT_EQ(host.frames[1].ticks, 29u);

  host.waitUntil(host.start + 1s);  // the Esc at 40.5 ms ends it after the ticks due before it
  EXPECT_EQ(loop.step(), std::nullopt);
  EXPECT_EQ(loop.ticks(), 40u);
  host.waitUntil(host.start + 2s);
  EXPECT_EQ(loop.step(), std::nullopt);
  EXPECT_EQ(loop.ticks(), 40u);
}

TEST(Loop, EveryDueTickRunsBeforeAnEventIsHandledAndNoneAfterTheEnd) {
  FakeHost host;
  host.at(30'200us, {HostEvent::Kind::kResized, 0, 60, 40});
  host.key(80'700us, kKeyEnter);
  host.end(150'300us);
  Form form(40, 30);
  form.random().seedNextWith(5);
  const auto started = runLoop(form, host);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0].seed, 5u);

  // The same calls in the order the loop must have made them.
  Form reference(40, 30);
  reference.random().seedNextWith(5);
  tick(reference, 30);
  reference.canvas().resize(60, 40);
  tick(reference, 50);
  (void)reference.Form_KeyPress(kKeyEnter);
  reference.random().seedNextWith(started[1].seed);
  tick(reference, 70);
  EXPECT_TRUE(samePicture(form, reference));
}

TEST(Loop, EachReportedSeedGrowsThePatternTheRendererGrows) {
  FakeHost host;
  host.key(40'500us, kKeyEnter);
  host.end(300'500us);
  Form form(510, 370);
  form.random().seedNextWith(2389);
  const auto started = runLoop(form, host);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_NE(started[1].seed, 2389u);                 // later patterns come from the clock
  Form rendered(510, 370, Random(started[1].seed));  // as walkers-render --seed S builds it
  tick(rendered, 260);
  EXPECT_TRUE(samePicture(form, rendered));

  FakeHost again;
  again.end(120'500us);
  Form first(510, 370);
  first.random().seedNextWith(2389);
  runLoop(first, again);
  Form renderedFirst(510, 370, Random(std::uint64_t{2389}));
  tick(renderedFirst, 120);
  EXPECT_TRUE(samePicture(first, renderedFirst));
}

// A host that shows pixels from its own memory has the canvas there from the first tick on.
TEST(Loop, KeepsTheCanvasInTheHostsMemoryWithThePictureUnchanged) {
  FakeHost host;
  HostMemory memory(10);
  host.memory = &memory;
  host.end(120'500us);
  Form form(510, 370);
  form.random().seedNextWith(2389);
  runLoop(form, host);
  EXPECT_TRUE(memory.holds(form.canvas()));
  Form rendered(510, 370, Random(std::uint64_t{2389}));
  tick(rendered, 120);
  for (int y = 0; y < 370; ++y) {
    for (int x = 0; x < 510; ++x) {
      ASSERT_EQ(form.canvas().Point(x, y), rendered.canvas().Point(x, y)) << x << "," << y;
    }
  }
}

TEST(Loop, FramesComeAtMostOncePerRefreshShowEveryDueTickAndOnlyChanges) {
  FakeHost host;
  host.end(1000ms);
  Form form(510, 370);
  LoopOptions options;
  options.tickLimit = 600;  // the picture stands still from then on
  runLoop(form, host, options);
  ASSERT_GE(host.frames.size(), 30u);
  for (std::size_t i = 0; i < host.frames.size(); ++i) {
    const auto since = host.frames[i].time - host.start;
    EXPECT_EQ(host.frames[i].ticks, std::min<std::uint64_t>(600, since / 1ms)) << i;
    if (i > 0) {
      EXPECT_GE(host.frames[i].time - host.frames[i - 1].time, FakeHost::kPeriod - 1ms);
    }
    EXPECT_LE(since, 600ms + FakeHost::kPeriod);  // nothing changed after the last tick
  }
  EXPECT_GE(host.frames.size(), 600 / 17);
}

TEST(Loop, AfterAStallAtMostOneHundredMillisecondsOfTicksRun) {
  FakeHost host;
  host.stall(50ms, 2s);
  host.end(2200ms);
  Form form(510, 370);
  LoopOptions options;
  Loop loop(form, host, options);
  host.loop = &loop;
  loop.run();
  EXPECT_EQ(loop.ticks() + loop.timer().dropped(), 2200u);
  EXPECT_GE(loop.timer().dropped(), 1900u);
  EXPECT_LE(loop.timer().dropped(), 1900u + 17);
  // The frame right after the stall shows exactly 100 more ticks than the one before.
  for (std::size_t i = 1; i < host.frames.size(); ++i) {
    if (host.frames[i].time - host.frames[i - 1].time > 1s) {
      EXPECT_EQ(host.frames[i].ticks - host.frames[i - 1].ticks, 100u);
    }
  }
}

// The tick after which nothing on a canvas of this size changes any more, found by comparing
// pictures tick by tick.
int lastChangingTick(int width, int height, std::uint64_t seed) {
  Form form(width, height, Random(seed));
  std::vector<std::uint32_t> before(form.canvas().pixels().begin(), form.canvas().pixels().end());
  int last = 0;
  for (int t = 1; t <= 20000; ++t) {
    form.t_Timer();
    if (!std::equal(before.begin(), before.end(), form.canvas().pixels().begin())) {
      last = t;
      before.assign(form.canvas().pixels().begin(), form.canvas().pixels().end());
    }
  }
  return last;
}

TEST(Loop, AStillCanvasGetsAFreshPatternAfterThreeSecondsWhenAskedOnly) {
  const int still = lastChangingTick(9, 7, 1);
  ASSERT_GT(still, 0);
  ASSERT_LT(still, 2000);
  const auto restartAt = std::chrono::milliseconds(still) + Loop::kStillRestart;

  FakeHost host;
  host.end(restartAt + 500ms);
  Form form(9, 7);
  form.random().seedNextWith(1);
  LoopOptions options;
  options.restartWhenStill = true;
  const auto started = runLoop(form, host, options);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_GE(started[1].at, restartAt);
  EXPECT_LE(started[1].at, restartAt + 2 * FakeHost::kPeriod + 1ms);

  FakeHost window;  // the window is watched by its user: it stays as it is
  window.end(restartAt + 2s);
  Form other(9, 7);
  EXPECT_EQ(runLoop(other, window).size(), 1u);

  FakeHost growing;  // a pattern still growing is left alone
  growing.end(5s);
  Form big(510, 370);
  big.random().seedNextWith(11);
  EXPECT_EQ(runLoop(big, growing, options).size(), 1u);
}

TEST(Loop, CycleStartsAFreshPatternEverySoManySeconds) {
  FakeHost host;
  host.end(3500ms);
  Form form(510, 370);
  LoopOptions options;
  options.cycle = 1s;
  const auto started = runLoop(form, host, options);
  ASSERT_EQ(started.size(), 4u);
  for (std::size_t i = 0; i < started.size(); ++i) {
    EXPECT_GE(started[i].at, i * 1s);
    EXPECT_LE(started[i].at, i * 1s + 2 * FakeHost::kPeriod);
  }
  EXPECT_NE(started[1].seed, started[2].seed);
}

// The picture a tick limit holds stays for comparison: neither the cycle nor stillness clears it.
TEST(Loop, ATickLimitHoldsThePictureAgainstEveryRestart) {
  FakeHost host;
  host.end(10s);
  Form form(9, 7);
  form.random().seedNextWith(1);
  LoopOptions options;
  options.restartWhenStill = true;
  options.cycle = 1s;
  options.tickLimit = 200;
  EXPECT_EQ(runLoop(form, host, options).size(), 1u);
  Form reference(9, 7);
  reference.random().seedNextWith(1);
  tick(reference, 200);
  EXPECT_TRUE(samePicture(form, reference));
}

// Unseen, the pattern stands still: no tick, no frame, no wake-up but the event that shows it
// again; it then goes on from the tick where it stood, and the rest counts for no restart.
TEST(Loop, AnUnseenPatternRestsAndTheRestCountsForNoRestart) {
  FakeHost host;
  host.hide(500ms, 10500ms);
  host.end(11s);
  Form form(510, 370);
  form.random().seedNextWith(2389);
  LoopOptions options;
  options.cycle = 2s;  // 1 s seen in all
  Loop loop(form, host, options);
  host.loop = &loop;
  loop.run();
  EXPECT_EQ(loop.ticks(), 1000u);
  Form reference(510, 370, Random(std::uint64_t{2389}));
  tick(reference, 1000);
  EXPECT_TRUE(samePicture(form, reference));
  ASSERT_EQ(host.restingWaits.size(), 1u);
  EXPECT_EQ(host.restingWaits[0], Time::max());
  for (const auto& frame : host.frames) {
    EXPECT_TRUE(frame.time <= host.start + 500ms || frame.time >= host.start + 10500ms);
  }

  // A pattern gone still before it was hidden restarts 3 s of seen time after its last change.
  const int still = lastChangingTick(9, 7, 1);
  const auto hiddenFrom = std::chrono::milliseconds(still) + 1s;
  FakeHost small;
  small.hide(hiddenFrom, hiddenFrom + 10s);
  small.end(hiddenFrom + 13s);
  Form tiny(9, 7);
  tiny.random().seedNextWith(1);
  options = {};
  options.restartWhenStill = true;
  const auto started = runLoop(tiny, small, options);
  ASSERT_EQ(started.size(), 2u);
  EXPECT_GE(started[1].at, hiddenFrom + 10s + 2s);
  EXPECT_LE(started[1].at, hiddenFrom + 10s + 2s + 2 * FakeHost::kPeriod + 1ms);
}

TEST(Loop, EndsOnTheHostsEndOrOnEscape) {
  FakeHost host;
  host.end(10'300us);
  host.end(20ms);  // never reached
  Form form(40, 30);
  Loop loop(form, host);
  loop.run();
  EXPECT_EQ(host.now() - host.start, 10'300us);

  FakeHost keys;
  keys.key(5ms, 'a');
  keys.key(20ms, kKeyEscape);
  keys.end(1s);
  Loop byKey(form, keys);
  byKey.run();
  EXPECT_EQ(keys.now() - keys.start, 20ms);
  EXPECT_EQ(byKey.ticks(), 20u);
}

}  // namespace
}  // namespace walkers
