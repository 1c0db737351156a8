// The form's own logic, free of any window system: its canvas, the pattern, t_Timer and
// Form_KeyPress.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/canvas.hpp"
#include "engine/random.hpp"
#include "engine/walkers.hpp"

namespace walkers {

inline constexpr std::int16_t kKeyEnter = 13;
inline constexpr std::int16_t kKeyEscape = 27;

// The form's client area as designed: every platform's own window opens at this size.
inline constexpr int kFormWidth = 510;
inline constexpr int kFormHeight = 370;

// What the window must do after a key press.
enum class KeyOutcome { kNone, kEndProgram };

// Everything the main window holds besides the window system: the canvas (always the whole
// client area), the walker table and the random source. The window calls t_Timer for every tick
// of its timer and Form_KeyPress for every character key; the fuzz target drives the same calls.
class Form {
 public:
  // The canvas stores pixels up to maxStoredSide a side (see Canvas); the headless renderer
  // raises it to its own largest size.
  Form(int width, int height, Random random = Random{}, int maxStoredSide = kMaxStoredSide)
      : canvas_(width, height, maxStoredSide), random_(random) {}

  // The timer's handler: seeds a pattern when one is due, then steps every walker. Returns the
  // seed of the pattern this tick started, when it started one.
  std::optional<std::uint64_t> t_Timer() {
    if (walkers_.tick(canvas_, random_)) return random_.seed();
    return std::nullopt;
  }

  // The key handler. 27 (Esc) asks the caller to end the program at once; 13 (Enter) clears the
  // canvas and has the next tick seed a fresh pattern; every other code does nothing.
  KeyOutcome Form_KeyPress(std::int16_t KeyAscii) {
    if (KeyAscii == kKeyEscape) return KeyOutcome::kEndProgram;
    if (KeyAscii == kKeyEnter) startFreshPattern();
    return KeyOutcome::kNone;
  }

  // What Enter does: clears the canvas and has the next tick seed a fresh pattern.
  void startFreshPattern() {
    canvas_.Cls();
    walkers_.requestReseed();
  }

  Canvas& canvas() { return canvas_; }
  const Canvas& canvas() const { return canvas_; }
  const Walkers& pattern() const { return walkers_; }
  Random& random() { return random_; }

 private:
  Canvas canvas_;
  Walkers walkers_;
  Random random_;
};

}  // namespace walkers
