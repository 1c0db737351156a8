// libFuzzer target: runs its input as operations on the form (ticks, keys, resizes, clears,
// pixel probes) and checks the walker table and canvas invariants after every one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "engine/form.hpp"
#include "fuzz/invariants.hpp"

namespace {

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  bool empty() const { return at_ >= size_; }
  std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t word() { return static_cast<std::uint16_t>(byte() | byte() << 8); }
  std::uint64_t seed() {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | byte();
    return value;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

[[noreturn]] void broken(const std::string& what) {
  std::fprintf(stderr, "invariant broken: %s\n", what.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input(data, size);
  walkers::Form form(510, 370, walkers::Random{input.seed()});
  walkers::testing::InvariantChecker checker;
  // Enough ticks to grow patterns and let walkers leave the canvas, few enough for thousands of
  // runs a minute; the unit tests cover walkers that park at the 16-bit limit.
  int ticksLeft = 3000;
  for (int operations = 0; !input.empty() && operations < 64; ++operations) {
    const bool unseeded = !form.pattern().seeded();
    bool ticked = false;
    switch (input.byte() % 6) {
      case 0:  // one tick
        if (ticksLeft == 0) break;
        --ticksLeft;
        form.t_Timer();
        ticked = true;
        break;
      case 1: {  // a batch of ticks
        const int ticks = std::min(ticksLeft, 1 + input.word() % 3000);
        ticksLeft -= ticks;
        for (int t = 0; t < ticks; ++t) {
          form.t_Timer();
          if (t == 0) {
            if (const auto wrong = checker.check(form.pattern(), form.canvas(), unseeded, true);
                !wrong.empty()) {
              broken(wrong);
            }
          }
        }
        ticked = ticks > 0;
        break;
      }
      case 2:  // a key, as the window hands it over
        if (form.Form_KeyPress(static_cast<std::int16_t>(input.word())) ==
            walkers::KeyOutcome::kEndProgram) {
          return 0;
        }
        break;
      case 3: {  // a resize, down to 1 x 1 and up to a few thousand pixels a side, and maybe back
        walkers::Canvas& canvas = form.canvas();
        const int oldWidth = canvas.width();
        const int oldHeight = canvas.height();
        const int x = input.word() % std::max(oldWidth, 1);
        const int y = input.word() % std::max(oldHeight, 1);
        const walkers::Colour before = canvas.Point(x, y);
        const int width = 1 + input.word() % 3000;
        const int height = 1 + input.word() % 3000;
        canvas.resize(width, height);
        const bool inside = x < width && y < height;
        if (canvas.Point(x, y) != (inside ? before : walkers::kOutside)) broken("resize");
        if (input.byte() % 2 == 0) {
          canvas.resize(oldWidth, oldHeight);
          if (canvas.Point(x, y) != before) broken("a pixel hidden by a resize was lost");
        }
        break;
      }
      case 4:
        form.canvas().Cls();
        break;
      case 5: {  // Point after PSet agrees, inside and out
        const auto x = static_cast<std::int16_t>(input.word());
        const auto y = static_cast<std::int16_t>(input.word());
        const walkers::Colour colour = walkers::rgb(5 + input.byte() % 250, input.byte(), 0);
        walkers::Canvas& canvas = form.canvas();
        const bool inside = x >= 0 && y >= 0 && x < canvas.width() && y < canvas.height();
        canvas.PSet(x, y, colour);
        if (canvas.Point(x, y) != (inside ? colour : walkers::kOutside)) broken("Point after PSet");
        break;
      }
    }
    if (const auto wrong = checker.check(form.pattern(), form.canvas(), unseeded, ticked);
        !wrong.empty()) {
      broken(wrong);
    }
  }
  return 0;
}
