// The pattern engine: the walker table, seeding a pattern and stepping every walker once per tick.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/canvas.hpp"
#include "engine/checked.hpp"
#include "engine/random.hpp"

namespace walkers {

inline constexpr int kSlots = 501;  // walker slots 0..500

// Direction codes; adding 1 (4 wrapping to 0) is a quarter turn clockwise on the screen.
enum Heading : std::int16_t { kLeft = 0, kUp = 1, kRight = 2, kDown = 3 };

// All state of the current pattern. Nothing here sleeps, loops across ticks or knows of a window:
// the host calls tick() once per timer tick and the pattern appears on the canvas it passes.
//
// Walkers are never freed while a pattern lasts and a branch always claims the lowest free slot,
// so the active slots are always 0..activeCount()-1. The step relies on that to visit only active
// slots and to claim without scanning; the picture is the same as a scan from slot 0 would give.
class Walkers {
 public:
  using Table = std::array<std::int16_t, kSlots>;

  // One timer tick: seeds a pattern when none is seeded (at start and after requestReseed), then
  // steps every active walker. Random draws, in this order: on a seeding tick a reseed and three
  // draws (runLength, runFactor, lastWalker); then three colour draws per active walker in slot
  // order. Raises OverflowError if the canvas is too big for 16-bit centre coordinates.
  // Returns whether this tick seeded a new pattern.
  template <RandomSource R>
  bool tick(Canvas& canvas, R& random) {
    const bool seeding = !seeded_;
    if (seeding) seed(canvas, random);
    step(canvas, random);
    return seeding;
  }

  // The next tick seeds a new pattern; the walker table is left as it is until then.
  void requestReseed() { seeded_ = false; }

  const Table& posX() const { return posX_; }
  const Table& posY() const { return posY_; }
  const Table& heading() const { return heading_; }
  const Table& stepsLeft() const { return stepsLeft_; }
  bool seeded() const { return seeded_; }
  std::int16_t lastWalker() const { return lastWalker_; }
  std::int16_t runLength() const { return runLength_; }
  std::int16_t runFactor() const { return runFactor_; }
  std::size_t activeCount() const { return activeCount_; }

  // The run every walker starts again with at the end of a run: runFactor x runLength (1..100).
  std::int16_t fullRun() const { return mul16(runFactor_, runLength_, "full run"); }

 private:
  template <RandomSource R>
  void seed(const Canvas& canvas, R& random);
  template <RandomSource R>
  void step(Canvas& canvas, R& source);
  // A quarter turn clockwise: one more, and past down back to left.
  static std::int16_t clockwise(std::int16_t code) {
    return code >= kDown ? std::int16_t{kLeft} : static_cast<std::int16_t>(code + 1);
  }
  // Int(r * 250 + 5) for a draw r in [0, 1): 5..254, so a painted pixel is never black. The
  // product is positive, so truncation is the floor; this keeps the hot path free of branches.
  static int colourComponent(double r) { return static_cast<int>(r * 250 + 5); }
  void moveOnePixel(std::size_t i);
  void branchFrom(std::size_t i);

  Table posX_{};
  Table posY_{};
  Table heading_{};
  Table stepsLeft_{};  // 0 marks a free slot
  bool seeded_ = false;
  std::int16_t lastWalker_ = 0;  // highest slot the pattern uses, 101..500
  std::int16_t runLength_ = 0;   // branch run, 1..20
  std::int16_t runFactor_ = 0;   // 1..5
  std::size_t activeCount_ = 0;  // slots 0..activeCount_-1 are active, the rest free
};

template <RandomSource R>
void Walkers::seed(const Canvas& canvas, R& random) {
  random.randomize();
  runLength_ = checked16(Int(random.next() * 20) + 1, "runLength");
  runFactor_ = checked16(Int(random.next() * 5) + 1, "runFactor");
  stepsLeft_.fill(0);
  posX_[0] = checked16(Int(static_cast<double>(canvas.ScaleWidth()) / 2), "canvas centre x");
  posY_[0] = checked16(Int(static_cast<double>(canvas.ScaleHeight()) / 2), "canvas centre y");
  heading_[0] = kLeft;
  stepsLeft_[0] = fullRun();
  activeCount_ = 1;
  lastWalker_ = checked16(Int(random.next() * 400 + 101), "lastWalker");
  seeded_ = true;
}

template <RandomSource R>
void Walkers::step(Canvas& canvas, R& source) {
  // Draw from a local copy so the generator's state stays in registers through the loop; it is
  // handed back however the loop ends.
  R random = source;
  struct HandBack {
    R& to;
    R& from;
    ~HandBack() { to = from; }
  } handBack{source, random};
  const std::int16_t fullRun = this->fullRun();
  const PixelView pixels = canvas.view();
  // activeCount_ may grow inside the loop: a walker claimed above i moves later in this tick.
  // Slots 0..activeCount_-1 are the active ones, and activeCount_ <= lastWalker_ + 1.
  for (std::size_t i = 0; i < activeCount_; ++i) {
    moveOnePixel(i);
    if (--stepsLeft_[i] == 0) {  // stepsLeft was >= 1, so this cannot leave the range
      stepsLeft_[i] = fullRun;
      if (pixels.Point(posX_[i], posY_[i]) == kBlack) {
        heading_[i] = clockwise(heading_[i]);
      } else {
        branchFrom(i);
      }
    }
    // Three draws in a fixed order: red, green, blue.
    const int red = colourComponent(random.next());
    const int green = colourComponent(random.next());
    const int blue = colourComponent(random.next());
    pixels.PSet(posX_[i], posY_[i], rgb(red, green, blue));
  }
}

// One pixel in the walker's heading. A coordinate already at the end of the 16-bit range stays
// there: a walker far off the canvas parks at the limit instead of overflowing, and the rest of
// its step (run count, branching, painting nowhere) goes on as usual. Any other code moves nothing.
inline void Walkers::moveOnePixel(std::size_t i) {
  switch (heading_[i]) {
    case kLeft:
      if (posX_[i] > kInt16Min) --posX_[i];
      break;
    case kUp:
      if (posY_[i] > kInt16Min) --posY_[i];
      break;
    case kRight:
      if (posX_[i] < kInt16Max) ++posX_[i];
      break;
    case kDown:
      if (posY_[i] < kInt16Max) ++posY_[i];
      break;
    default:
      break;
  }
}

// Hands a new walker, turned a quarter clockwise, to the lowest free slot within 0..lastWalker.
inline void Walkers::branchFrom(std::size_t i) {
  if (activeCount_ > static_cast<std::size_t>(lastWalker_)) return;  // every slot is taken
  const std::size_t j = activeCount_++;
  stepsLeft_[j] = runLength_;
  heading_[j] = clockwise(heading_[i]);
  posX_[j] = posX_[i];
  posY_[j] = posY_[i];
}

}  // namespace walkers
