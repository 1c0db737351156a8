// Parsing the walkers command line: a handful of options, checked strictly, every message ours.
#include "host/core/command_line.hpp"

#include <array>
#include <string_view>

#include "common/option_text.hpp"

namespace walkers {
namespace {

constexpr const char* kHelp =
    "Usage: walkers [--fullscreen] [--seed S] [--cycle SECONDS]\n"
    "       walkers --root | --window-id ID | --screensaver [--seed S]\n"
    "               [--cycle SECONDS]\n"
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
    "  --help           print this help and exit\n"
    "  --version        print the version and exit\n"
    "\n"
    "-root and -window-id ID are accepted too; -- ends the options.\n"
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
  kHelpOption,
  kVersion,
  kNames
};

struct OptionShape {
  std::string_view name;  // without dashes
  bool takesValue;
  bool singleDash;  // also spelt with one dash, as screensaver daemons write it
};

constexpr std::array<OptionShape, kNames> kOptionShapes{{{"root", false, true},
                                                         {"window-id", true, true},
                                                         {"screensaver", false, false},
                                                         {"fullscreen", false, false},
                                                         {"seed", true, false},
                                                         {"cycle", true, false},
                                                         {"help", false, false},
                                                         {"version", false, false}}};

// The arguments as read: which options were given, with their values.
struct Given {
  std::array<bool, kNames> present{};
  std::array<std::string, kNames> values;
};

std::string quoted(std::string_view text) {
  std::string shown = "\"";
  shown.append(escapeForMessage(text, kEchoLimit)).append("\"");
  return shown;
}

std::string dashed(Name name) { return std::string("--").append(kOptionShapes[name].name); }

CommandLine usage(std::string message) { return {std::nullopt, kUsageStatus, std::move(message)}; }

// The option an argument names ("--seed=5" and "-window-id" included), or kNames for none.
Name lookUp(std::string_view word) {
  const bool twoDashes = word.starts_with("--");
  word.remove_prefix(twoDashes ? 2 : 1);
  word = word.substr(0, word.find('='));
  for (int i = 0; i < kNames; ++i) {
    if (word == kOptionShapes[i].name && (twoDashes || kOptionShapes[i].singleDash))
      return static_cast<Name>(i);
  }
  return kNames;
}

// Reads every argument into `given`; answers the first fault, or nothing.
std::optional<std::string> read(const std::vector<std::string>& arguments, Given& given) {
  bool optionsEnded = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view word = arguments[i];
    if (!optionsEnded && word == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      return "unexpected argument " + quoted(word);  // walkers takes no file or other operand
    }
    const Name name = lookUp(word);
    if (name == kNames) return "unknown option " + quoted(word.substr(0, word.find('=')));
    if (given.present[name]) return dashed(name) + " is given twice";
    given.present[name] = true;
    const auto equals = word.find('=');
    if (!kOptionShapes[name].takesValue) {
      if (equals != std::string_view::npos) return dashed(name) + " takes no value";
    } else if (equals != std::string_view::npos) {
      given.values[name] = word.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      given.values[name] = arguments[++i];
    } else {
      return dashed(name) + " needs a value";
    }
  }
  return std::nullopt;
}

// The options `given` asks for, or the first bad value or combination.
CommandLine check(const Given& given, const WindowNaming& windows) {
  Options options;
  options.fullscreen = given.present[kFullscreen];
  // Where to draw: one place at most, and --fullscreen only for the own window.
  const Name places[] = {kRoot, kWindowId, kScreensaver, kFullscreen};
  for (std::size_t i = 0; i < std::size(places); ++i) {
    for (std::size_t j = i + 1; j < std::size(places); ++j) {
      if (given.present[places[i]] && given.present[places[j]]) {
        return usage(dashed(places[i]) + " excludes " + dashed(places[j]));
      }
    }
  }
  if (given.present[kRoot]) options.place = Options::Place::kRoot;
  if (given.present[kScreensaver]) options.place = Options::Place::kScreensaver;
  if (given.present[kWindowId]) {
    const auto id = windows.parse(given.values[kWindowId]);
    if (!id) return usage(badValue("window-id", given.values[kWindowId], windows.forms));
    options.place = Options::Place::kOtherWindow;
    options.otherWindow = *id;
  }
  if (given.present[kSeed]) {
    std::uint64_t seed = 0;
    if (!parseDecimal(given.values[kSeed], UINT64_MAX, seed)) {
      return usage(badValue("seed", given.values[kSeed],
                            "expected a decimal number 0..18446744073709551615"));
    }
    options.seed = seed;
  }
  if (given.present[kCycle]) {
    std::uint64_t cycle = 0;
    if (!parseDecimal(given.values[kCycle], kMaxCycleSeconds, cycle)) {
      return usage(badValue("cycle", given.values[kCycle], "expected whole seconds 0..1000000"));
    }
    options.cycle = std::chrono::seconds(cycle);
  }
  return {options, 0, {}};
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments, const char* version,
                             const WindowNaming& windows) {
  Given given;
  if (const auto fault = read(arguments, given)) return usage(*fault);
  // Help and version only for a command line that is right in every other way.
  auto line = check(given, windows);
  if (line.options && given.present[kHelpOption]) return {std::nullopt, 0, kHelp};
  if (line.options && given.present[kVersion]) {
    return {std::nullopt, 0, std::string("walkers ") + version + "\n"};
  }
  return line;
}

}  // namespace walkers
