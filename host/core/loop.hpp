// The one loop every host runs: due ticks before anything observes the pattern, at most one frame
// per display refresh, restarts of a still or aged pattern, and the end of the program.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/canvas.hpp"
#include "engine/form.hpp"
#include "host/core/frame_plan.hpp"
#include "host/core/resting.hpp"
#include "host/core/timer.hpp"

namespace walkers {

using LoopClock = Timer::Clock;

// What a host saw happen since it was last asked.
struct HostEvent {
  enum class Kind {
    kKey,      // a character key: `key` is its code as Form_KeyPress takes it
    kResized,  // the drawing area is now `width` x `height`
    kLost,     // the screen lost the picture in `area` (window coordinates) and needs it again
    kEnd,      // the program must end: the window was closed or destroyed, or a stop signal
  };
  Kind kind = Kind::kEnd;
  std::int16_t key = 0;
  int width = 0;
  int height = 0;
  Rect area{};

  static constexpr Rect kEverywhere{0, 0, 1 << 30, 1 << 30};
  // The screen lost the picture in `area`, all of it by default.
  static HostEvent lost(const Rect& area = kEverywhere) { return {Kind::kLost, 0, 0, 0, area}; }
};

// A place the pattern is shown: the program's own window or a window someone else made. The loop
// asks it for the time, for events and for sleep, and hands it the changed parts of the canvas.
class Host {
 public:
  virtual ~Host() = default;
  virtual LoopClock::time_point now() const { return LoopClock::now(); }
  // The drawing area's size now, in pixels: what a pattern starting there is given.
  virtual int width() const = 0;
  virtual int height() const = 0;
  // Sleeps until an event may be waiting or `deadline` has come.
  virtual void waitUntil(LoopClock::time_point deadline) = 0;
  // The next event, without waiting; nothing once all that arrived has been handed out.
  virtual std::optional<HostEvent> nextEvent() = 0;
  // Carries out one frame: copies the plan's rectangles of the canvas to the screen and fills
  // its black ones. A picture the screen lost is reported as a kLost event, never here.
  virtual void present(const Canvas& canvas, const FramePlan& plan) = 0;
  // The display's refresh period: frames are presented at most this often.
  virtual LoopClock::duration framePeriod() const = 0;
  // Memory the canvas keeps its pixels in, when the host shows them straight from there (see
  // PixelMemory); null by default. It must outlive the loop's form.
  virtual PixelMemory* pixelMemory() { return nullptr; }
  // Whether the picture can be seen now, as far as the host knows (see Sight): the loop rests
  // while it cannot. Seen by default.
  virtual Sight sight() { return {}; }
};

struct LoopOptions {
  // Start a fresh pattern when no visible pixel has changed for kStillRestart (for screensavers
  // and wallpapers, whose screen must never go still).
  bool restartWhenStill = false;
  // Start a fresh pattern this often; zero never does.
  std::chrono::seconds cycle{0};
  // Called with each pattern's seed on the tick that starts it.
  std::function<void(std::uint64_t seed)> patternStarted;
  // Called once, with a line saying so, the first time a resize finds no memory for a larger
  // canvas store: the canvas keeps its store, black beyond it, and the loop goes on.
  std::function<void(const std::string& message)> storeKept;
  // For tests: the timer stops after this many ticks, so the picture stays as that tick left it;
  // neither `cycle` nor stillness restarts the pattern then.
  std::optional<std::uint64_t> tickLimit;
  // Whether the pattern is to rest now because the machine runs on battery (the user asked for
  // that); null never rests for it. Asked on every step: it must be cheap.
  std::function<bool(std::chrono::steady_clock::time_point now)> onBattery;
};

// Drives a form on a host. The form's timer `t` ticks every millisecond; ticks are run lazily,
// all that fell due, just before anything observes the pattern (an event, a restart, a frame), so
// the host can sleep until the next frame or event. After a stall at most Timer::kMaxCatchUp of
// ticks run. Everything happens on the calling thread.
//
// While nobody can see the picture (see decideRest) the pattern rests: its clock stands still,
// no frame is drawn, and the loop asks to run again only on an event or when the decision may
// change by itself. It goes on from the tick where it stood, and the rest counts neither for
// `cycle` nor for kStillRestart.
class Loop {
 public:
  static constexpr std::chrono::seconds kStillRestart{3};

  Loop(Form& form, Host& host, LoopOptions options = {});

  // One iteration: every tick that fell due, the events waiting, a restart when one is due and a
  // frame when one is due. Returns when the loop next needs to run (it may run earlier, say when
  // an event arrives), or nothing once the loop has ended: the host reported the end or Esc was
  // pressed; the time point's maximum means only an event. The first call starts the timer.
  // Errors raised by the host or the form propagate.
  std::optional<LoopClock::time_point> step();

  // Steps until the loop ends, sleeping in the host in between.
  void run();

  std::uint64_t ticks() const { return ticks_; }  // ticks run so far
  const Timer& timer() const { return t_; }
  bool resting() const { return t_.paused(); }

 private:
  enum class Next { kGoOn, kEnd };
  void start();
  void runDueTicks();
  Next handle(const HostEvent& event);
  void rest(LoopClock::time_point now);
  void wake(LoopClock::time_point now);
  void restartWhenDue(LoopClock::time_point now);
  void presentFrame(LoopClock::time_point now);
  LoopClock::time_point nextWake() const;

  Form& form_;
  Host& host_;
  LoopOptions options_;
  Timer t_{std::chrono::milliseconds(1)};
  bool started_ = false;
  bool ended_ = false;
  bool storeKeptSaid_ = false;
  std::uint64_t ticks_ = 0;
  LoopClock::duration framePeriod_{};
  FramePlanner planner_;
  LoopClock::time_point nextFrame_{};
  LoopClock::time_point nextCycle_{};
  LoopClock::time_point lastChange_{};  // the last frame that showed a change
  LoopClock::time_point restStart_{};
};

}  // namespace walkers
