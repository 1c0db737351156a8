// A seat's keyboard: the keymap the compositor sends, read with libxkbcommon; presses and repeats.
#include "host/wayland/wayland_keyboard.hpp"

#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cstring>

namespace walkers {
namespace {

WaylandKeyboard& self(void* data) { return *static_cast<WaylandKeyboard*>(data); }

// Evdev key codes, as wl_keyboard sends them, are xkb key codes less 8.
constexpr std::uint32_t kEvdevOffset = 8;

constexpr wl_keyboard_listener keyboardListener = {
    [](void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
      self(data).onKeymap(format, fd, size);
    },
    [](void* data, wl_keyboard*, std::uint32_t, wl_surface*, wl_array* keys) {
      self(data).onEnter(keys);
    },
    [](void* data, wl_keyboard*, std::uint32_t, wl_surface*) { self(data).onLeave(); },
    [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key,
       std::uint32_t state) { self(data).onKey(key, state); },
    [](void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
       std::uint32_t locked,
       std::uint32_t group) { self(data).onModifiers(depressed, latched, locked, group); },
    [](void* data, wl_keyboard*, std::int32_t rate, std::int32_t delay) {
      self(data).onRepeatInfo(rate, delay);
    },
};

}  // namespace

WaylandKeyboard::WaylandKeyboard(wl_seat* seat, Callbacks callbacks)
    : keyboard_(wl_seat_get_keyboard(seat)), callbacks_(std::move(callbacks)) {
  wl_keyboard_add_listener(keyboard_, &keyboardListener, this);
}

WaylandKeyboard::~WaylandKeyboard() {
  if (state_) xkb_state_unref(state_);
  if (keymap_) xkb_keymap_unref(keymap_);
  if (context_) xkb_context_unref(context_);
  wl_keyboard_destroy(keyboard_);
}

// A keymap that cannot be read leaves the keyboard without one: presses are still counted.
void WaylandKeyboard::onKeymap(std::uint32_t format, int fd, std::uint32_t size) {
  if (state_) xkb_state_unref(state_);
  if (keymap_) xkb_keymap_unref(keymap_);
  state_ = nullptr;
  keymap_ = nullptr;
  held_.reset();
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && size > 0) {
    if (!context_) context_ = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    void* text = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (context_ && text != MAP_FAILED) {
      // The text ends in a NUL byte, which the length leaves out.
      const char* keymap = static_cast<const char*>(text);
      keymap_ = xkb_keymap_new_from_buffer(context_, keymap, ::strnlen(keymap, size),
                                           XKB_KEYMAP_FORMAT_TEXT_V1, XKB_KEYMAP_COMPILE_NO_FLAGS);
      if (keymap_) state_ = xkb_state_new(keymap_);
    }
    if (text != MAP_FAILED) ::munmap(text, size);
  }
  ::close(fd);
}

void WaylandKeyboard::onEnter(const wl_array* keys) const {
  const std::size_t down = keys ? keys->size / sizeof(std::uint32_t) : 0;
  for (std::size_t k = 0; k < down; ++k) {
    if (callbacks_.input) callbacks_.input();
  }
}

void WaylandKeyboard::onLeave() { held_.reset(); }

void WaylandKeyboard::onKey(std::uint32_t key, std::uint32_t state) {
  const std::uint32_t code = key + kEvdevOffset;
  if (state != WL_KEYBOARD_KEY_STATE_PRESSED) {
    if (held_ == code) held_.reset();
    return;
  }
  if (callbacks_.input) callbacks_.input();
  if (!state_) return;  // no keymap yet: nothing to read the key with
  if (repeatRate_ > 0 && xkb_keymap_key_repeats(keymap_, code)) {
    held_ = code;
    nextRepeat_ = Clock::now() + repeatDelay_;
  } else {
    held_.reset();
  }
  if (callbacks_.pressed) callbacks_.pressed(read(code, false));
}

void WaylandKeyboard::onModifiers(std::uint32_t depressed, std::uint32_t latched,
                                  std::uint32_t locked, std::uint32_t group) {
  if (state_) xkb_state_update_mask(state_, depressed, latched, locked, 0, 0, group);
}

void WaylandKeyboard::onRepeatInfo(std::int32_t rate, std::int32_t delay) {
  repeatRate_ = std::max(0, rate);
  repeatDelay_ = std::chrono::milliseconds(std::max(0, delay));
  if (repeatRate_ == 0) held_.reset();
}

WaylandKey WaylandKeyboard::read(std::uint32_t code, bool repeat) const {
  return {xkb_state_key_get_one_sym(state_, code), xkb_state_key_get_utf32(state_, code), repeat};
}

std::optional<WaylandKeyboard::Clock::time_point> WaylandKeyboard::nextRepeat() const {
  if (!held_) return std::nullopt;
  return nextRepeat_;
}

void WaylandKeyboard::repeatUntil(Clock::time_point now) {
  if (!held_ || !state_ || repeatRate_ <= 0) return;
  const auto period =
      std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / repeatRate_;
  // After a stall, one repeat rather than a burst of them.
  if (now >= nextRepeat_) {
    if (callbacks_.pressed) callbacks_.pressed(read(*held_, true));
    nextRepeat_ += period;
    if (nextRepeat_ <= now) nextRepeat_ = now + period;
  }
}

}  // namespace walkers
