// The loop's host for a window walkers did not create: --root and --window-id.
#pragma once

#include <optional>
#include <vector>

#include "host/core/loop.hpp"
#include "host/unix/page_memory.hpp"
#include "host/x11/x11_target.hpp"

namespace walkers {

class StopRequest;

// Draws on an X11Target and sleeps on its connection and the stop signals at once. It has no
// keys and no mouse; destruction of the window or a stop signal ends the loop. Losing the X
// server ends the program from inside X11Target.
class X11Host : public Host {
 public:
  X11Host(const X11Choice& choice, StopRequest& stop) : target_(choice), stop_(stop) {}

  int width() const override { return target_.width(); }
  // The X connection's descriptor, for waiting on several hosts at once.
  int connection() const { return target_.connection(); }
  int height() const override { return target_.height(); }

  void waitUntil(LoopClock::time_point deadline) override;
  std::optional<HostEvent> nextEvent() override;
  void present(const Canvas& canvas, const FramePlan& plan) override {
    target_.present(canvas, plan);
  }
  LoopClock::duration framePeriod() const override { return target_.framePeriod(); }
  Sight sight() override { return target_.sight(LoopClock::now()); }
  PixelMemory* pixelMemory() override {
    PixelMemory* shared = target_.pixelMemory();
    return shared ? shared : &PageMemory::process();
  }

 private:
  X11Target target_;
  StopRequest& stop_;
  bool pumped_ = false;  // the connection was read in this step of the loop
};

}  // namespace walkers
