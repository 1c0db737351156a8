// A Wayland seat's keyboard: its keymap through libxkbcommon, presses counted and translated.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

struct wl_keyboard;
struct wl_seat;
struct wl_array;
struct xkb_context;
struct xkb_keymap;
struct xkb_state;

namespace walkers {

// One key going down, as the keymap reads it: its keysym and the character it types (Ctrl
// included: Ctrl+M types 13, Ctrl+[ 27), zero when it types none.
struct WaylandKey {
  std::uint32_t keysym = 0;
  std::uint32_t character = 0;
  bool repeat = false;  // typed again by the key being held
};

// The keyboard of a seat, bound as soon as the seat has one. Every press is counted, and so are
// the keys already down when the keyboard enters one of our surfaces (a screensaver's wake-up
// key can arrive that way). Presses are translated only once a keymap has arrived: one that
// comes before it (a virtual keyboard that appears and types at once) is counted, never read
// through a missing keymap. A held key repeats at the rate the compositor gives.
class WaylandKeyboard {
 public:
  using Clock = std::chrono::steady_clock;
  struct Callbacks {
    std::function<void()> input;                     // a press, or a key found down
    std::function<void(const WaylandKey&)> pressed;  // a translated press
  };

  WaylandKeyboard(wl_seat* seat, Callbacks callbacks);
  ~WaylandKeyboard();
  WaylandKeyboard(const WaylandKeyboard&) = delete;
  WaylandKeyboard& operator=(const WaylandKeyboard&) = delete;

  // When the held key next repeats, if one is held.
  std::optional<Clock::time_point> nextRepeat() const;
  // Types the held key again for every repeat that fell due by `now`.
  void repeatUntil(Clock::time_point now);

  // Handlers called from the C listener.
  void onKeymap(std::uint32_t format, int fd, std::uint32_t size);
  void onEnter(const wl_array* keys) const;
  void onLeave();
  void onKey(std::uint32_t key, std::uint32_t state);
  void onModifiers(std::uint32_t depressed, std::uint32_t latched, std::uint32_t locked,
                   std::uint32_t group);
  void onRepeatInfo(std::int32_t rate, std::int32_t delay);

 private:
  WaylandKey read(std::uint32_t code, bool repeat) const;

  wl_keyboard* keyboard_ = nullptr;
  Callbacks callbacks_;
  xkb_context* context_ = nullptr;
  xkb_keymap* keymap_ = nullptr;
  xkb_state* state_ = nullptr;
  // Key repeat: the compositor's rate (per second, 0 for none) and delay, and the held key.
  int repeatRate_ = 25;
  std::chrono::milliseconds repeatDelay_{600};
  std::optional<std::uint32_t> held_;  // its xkb key code
  Clock::time_point nextRepeat_{};
};

}  // namespace walkers
