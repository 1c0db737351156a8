// Parsing the walkers command line with CLI11, with strict checks of each value.
#include "host/command_line.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <string_view>

#include "common/option_text.hpp"
#include "common/window_id.hpp"

namespace walkers {
namespace {

// A window id a client can be given: X allocates ids within 29 bits.
std::optional<unsigned long> parseClientWindowId(std::string_view text) {
  const auto id = parseWindowId(text);
  if (!id || *id > 0x1fffffff) return std::nullopt;
  return id;
}

CommandLine usage(std::string message) { return {std::nullopt, kUsageStatus, std::move(message)}; }

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments, const char* version) {
  CLI::App app{
      "Grows a coloured line pattern in a window, on the desktop, over every monitor, or on the\n"
      "screensaver's or another program's window. In the window, Enter starts a fresh pattern,\n"
      "F11 toggles fullscreen and Esc ends the program. Each pattern's seed is printed on\n"
      "standard output as \"seed: S\".",
      "walkers"};
  bool root = false;
  std::string windowIdText;
  bool fullscreen = false;
  std::string seedText;
  std::string cycleText = "0";
  auto* rootFlag = app.add_flag(
      "--root", root,
      "draw on the desktop: on Wayland every output's background; on X11 $XSCREENSAVER_WINDOW,\n"
      "else the virtual root, else the root window");
  auto* windowIdOption = app.add_option("--window-id", windowIdText,
                                        "draw on this existing X window (0x... or decimal)")
                             ->type_name("ID");
  bool screensaver = false;
  auto* screensaverFlag = app.add_flag(
      "--screensaver", screensaver,
      "cover every monitor until the first key, button or pointer movement (for idle daemons)");
  auto* fullscreenFlag =
      app.add_flag("--fullscreen", fullscreen, "start the window fullscreen on its monitor");
  app.add_option("--seed", seedText, "seed of the first pattern, 0..2^64-1 (default: the clock)")
      ->type_name("S");
  app.add_option("--cycle", cycleText,
                 "start a fresh pattern every so many seconds (default 0: never)")
      ->type_name("SECONDS");
  rootFlag->disable_flag_override();
  fullscreenFlag->disable_flag_override();
  screensaverFlag->disable_flag_override();
  rootFlag->excludes(windowIdOption);
  screensaverFlag->excludes(rootFlag)->excludes(windowIdOption)->excludes(fullscreenFlag);
  fullscreenFlag->excludes(rootFlag)->excludes(windowIdOption);
  app.set_version_flag("--version", std::string("walkers ") + version);
  app.footer(
      "-root and -window-id ID are accepted too.\n"
      "Exit status: 0 ended by Esc, closing or destroying the window, input to --screensaver,\n"
      "or SIGTERM, SIGINT or SIGHUP; 1 no display, or the display was lost; 2 bad command line.");

  // The single-dash spellings become the double-dash ones; CLI11 takes the arguments last first.
  std::vector<std::string> reversed;
  reversed.reserve(arguments.size());
  for (const auto& argument : arguments) {
    if (argument == "-root") {
      reversed.emplace_back("--root");
    } else if (argument == "-window-id") {
      reversed.emplace_back("--window-id");
    } else {
      reversed.push_back(argument);
    }
  }
  std::reverse(reversed.begin(), reversed.end());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return {std::nullopt, 0, app.help()};
  } catch (const CLI::CallForVersion&) {
    return {std::nullopt, 0, std::string("walkers ") + version + "\n"};
  } catch (const CLI::ExtrasError&) {
    // Named in the order given: CLI11's own message lists them last first.
    const auto extras = app.remaining();
    std::string message = extras.size() == 1 ? "The following argument was not expected:"
                                             : "The following arguments were not expected:";
    for (const auto& extra : extras) message.append(" ").append(extra);
    return usage(message);
  } catch (const CLI::ParseError& error) {
    return usage(error.what());
  }

  Options options;
  options.fullscreen = fullscreen;
  if (root) options.place = Options::Place::kRoot;
  if (screensaver) options.place = Options::Place::kScreensaver;
  if (app.count("--window-id") > 0) {
    const auto id = parseClientWindowId(windowIdText);
    if (!id)
      return usage(badValue("window-id", windowIdText, "expected 0x1..0x1fffffff or a decimal id"));
    options.place = Options::Place::kWindowId;
    options.windowId = *id;
  }
  if (app.count("--seed") > 0) {
    std::uint64_t seed = 0;
    if (!parseDecimal(seedText, UINT64_MAX, seed)) {
      return usage(badValue("seed", seedText, "expected a decimal number 0..18446744073709551615"));
    }
    options.seed = seed;
  }
  std::uint64_t cycle = 0;
  if (!parseDecimal(cycleText, kMaxCycleSeconds, cycle)) {
    return usage(badValue("cycle", cycleText, "expected whole seconds 0..1000000"));
  }
  options.cycle = std::chrono::seconds(cycle);
  return {options, 0, {}};
}

}  // namespace walkers
