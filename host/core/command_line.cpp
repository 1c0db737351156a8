// Parsing the walkers command line: a handful of options, checked strictly, every message ours.
#include "host/core/command_line.hpp"

#include <string_view>

#include "common/option_reader.hpp"
#include "common/option_text.hpp"

namespace walkers {
namespace {

constexpr const char* kHelp =
    "Usage: walkers [--fullscreen] [--seed S] [--cycle SECONDS]\n"
    "       walkers --root | --window-id ID | --screensaver [--seed S]\n"
    "               [--cycle SECONDS] [--pause-on-battery]\n"
    "\n"
    "Grows a coloured line pattern in a window, on the desktop, over every monitor,\n"
    "or on the screensaver's or another program's window. In the window, Enter starts\n"
    "a fresh pattern, F11 toggles fullscreen and Esc ends the program. Each pattern's\n"
    "seed is printed on standard output as \"seed: S\".\n"
    "\n"
    "Options:\n"
    "  --root           draw on the desktop: on Wayland every output's background;\n"
    "                   on X11 $XSCREENSAVER_WINDOW, else the virtual root, else the\n"
    "                   root window\n"
    "  --window-id ID   draw on this existing X window (0x... or decimal)\n"
    "  --screensaver    cover every monitor until the first key, button or pointer\n"
    "                   movement (for idle daemons)\n"
    "  --fullscreen     start the window fullscreen on its monitor\n"
    "  --seed S         seed of the first pattern, 0..18446744073709551615 (default:\n"
    "                   the clock)\n"
    "  --cycle SECONDS  start a fresh pattern every so many seconds, 0..1000000\n"
    "                   (default 0: never)\n"
    "  --pause-on-battery\n"
    "                   with --root, --window-id or --screensaver: stand still,\n"
    "                   drawing nothing, while the machine runs on battery (Linux\n"
    "                   reads /sys/class/power_supply once a second)\n"
    "  --help           print this help and exit\n"
    "  --version        print the version and exit\n"
    "\n"
    "-root, -window-id ID and -pause-on-battery are taken too; -- ends the options.\n"
    "Exit status: 0 ended by Esc, by closing the window or destroying the one drawn\n"
    "on, by input to --screensaver, or by SIGTERM, SIGINT or SIGHUP; 1 no display,\n"
    "the display was lost, or this help could not be written; 2 bad command line.\n";

enum Name {
  kRoot,
  kWindowId,
  kScreensaver,
  kFullscreen,
  kSeed,
  kCycle,
  kPauseOnBattery,
  kHelpOption,
  kVersion,
  kNames
};

constexpr OptionSpec kOptions[kNames] = {{"--root", 0, false, true},
                                         {"--window-id", 0, true, true},
                                         {"--screensaver"},
                                         {"--fullscreen"},
                                         {"--seed", 0, true},
                                         {"--cycle", 0, true},
                                         {"--pause-on-battery", 0, false, true},
                                         {"--help"},
                                         {"--version"}};

std::string dashed(Name name) { return std::string(kOptions[name].name); }

CommandLine usage(std::string message) { return {std::nullopt, kUsageStatus, std::move(message)}; }

// The options `given` asks for, or the first bad value or combination.
CommandLine check(const GivenOptions& given, const WindowNaming& windows) {
  Options options;
  options.fullscreen = given[kFullscreen].has_value();
  // Where to draw: one place at most, and --fullscreen only for the own window.
  const Name places[] = {kRoot, kWindowId, kScreensaver, kFullscreen};
  for (std::size_t i = 0; i < std::size(places); ++i) {
    for (std::size_t j = i + 1; j < std::size(places); ++j) {
      if (given[places[i]] && given[places[j]]) {
        return usage(dashed(places[i]) + " excludes " + dashed(places[j]));
      }
    }
  }
  if (given[kRoot]) options.place = Options::Place::kRoot;
  if (given[kScreensaver]) options.place = Options::Place::kScreensaver;
  if (given[kWindowId]) {
    const auto id = windows.parse(*given[kWindowId]);
    if (!id) return usage(badValue("window-id", *given[kWindowId], windows.forms));
    options.place = Options::Place::kOtherWindow;
    options.otherWindow = *id;
  }
  if (given[kSeed]) {
    std::uint64_t seed = 0;
    if (!parseDecimal(*given[kSeed], UINT64_MAX, seed)) {
      return usage(
          badValue("seed", *given[kSeed], "expected a decimal number 0..18446744073709551615"));
    }
    options.seed = seed;
  }
  if (given[kCycle]) {
    std::uint64_t cycle = 0;
    if (!parseDecimal(*given[kCycle], kMaxCycleSeconds, cycle)) {
      return usage(badValue("cycle", *given[kCycle], "expected whole seconds 0..1000000"));
    }
    options.cycle = std::chrono::seconds(cycle);
  }
  // Resting is for the places shown while nobody works there; the own window is the user's.
  if (given[kPauseOnBattery]) {
    if (options.place == Options::Place::kWindow) {
      return usage(dashed(kPauseOnBattery) + " needs --root, --window-id or --screensaver");
    }
    options.pauseOnBattery = true;
  }
  return {options, 0, {}};
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments, const char* version,
                             const WindowNaming& windows) {
  GivenOptions given;
  if (const auto fault = readOptions(kOptions, arguments, given)) return usage(*fault);
  // Help and version only for a command line that is right in every other way.
  auto line = check(given, windows);
  if (line.options && given[kHelpOption]) return {std::nullopt, 0, kHelp};
  if (line.options && given[kVersion]) {
    return {std::nullopt, 0, std::string("walkers ") + version + "\n"};
  }
  return line;
}

}  // namespace walkers
