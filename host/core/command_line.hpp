// The walkers command line: where to draw, the first seed, the restart cycle, resting on battery.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace walkers {

struct Options {
  enum class Place {
    kWindow,       // the program's own window (no options)
    kRoot,         // the desktop: the screensaver's window, the virtual root or the root window
    kOtherWindow,  // inside a window some other program made: otherWindow
    kScreensaver,  // every monitor covered, until the first key, button or pointer movement
  };
  Place place = Place::kWindow;
  // The other program's window, as the platform names windows (an X window id, a window
  // handle): wide enough for any of them.
  std::uintptr_t otherWindow = 0;
  bool fullscreen = false;
  std::optional<std::uint64_t> seed;  // of the first pattern; later ones come from the clock
  std::chrono::seconds cycle{0};      // restart this often; zero never
  // Rest while the machine runs on battery: for the places someone else shows, not the own window.
  bool pauseOnBattery = false;
};

inline constexpr int kUsageStatus = 2;
inline constexpr std::uint64_t kMaxCycleSeconds = 1'000'000;

// What the command line asks for: options to run with, or a text to print (help or version on
// standard output, status 0; one line naming a bad option or value on standard error, status 2).
struct CommandLine {
  std::optional<Options> options;
  int status = 0;
  std::string text;
};

// How the platform's users name another program's window (--window-id): `parse` answers its
// handle, or nothing for text that names none; `forms` says what is taken, for the message.
struct WindowNaming {
  std::optional<std::uintptr_t> (*parse)(std::string_view text);
  const char* forms;
};

// Parses the arguments after the program name. The single-dash spellings -root, -window-id and
// -pause-on-battery that screensaver daemons write are taken as the double-dash ones; a value
// follows an option as the next argument or after "="; "--" ends the options. Help and version
// are given only for a command line without faults.
CommandLine parseCommandLine(const std::vector<std::string>& arguments, const char* version,
                             const WindowNaming& windows);

}  // namespace walkers
