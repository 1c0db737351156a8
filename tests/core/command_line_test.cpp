// Tests of the walkers command line: each option, the single-dash spellings, and bad input.
#include "host/core/command_line.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "host/unix/window_id.hpp"

namespace walkers {
namespace {

// Windows named as X names them, on every platform the test runs on.
std::optional<std::uintptr_t> xWindow(std::string_view text) {
  if (const auto id = parseWindowId(text)) return *id;
  return std::nullopt;
}

CommandLine parse(const std::vector<std::string>& arguments) {
  return parseCommandLine(arguments, "1.0.0", {xWindow, "expected an X window id"});
}

TEST(CommandLine, NoArgumentsMeansThePlainWindow) {
  const auto line = parse({});
  ASSERT_TRUE(line.options);
  EXPECT_EQ(line.options->place, Options::Place::kWindow);
  EXPECT_FALSE(line.options->fullscreen);
  EXPECT_FALSE(line.options->seed);
  EXPECT_EQ(line.options->cycle.count(), 0);
  EXPECT_FALSE(line.options->pauseOnBattery);
}

TEST(CommandLine, ReadsEachOptionInBothSpellings) {
  for (const auto& spelling : {"--root", "-root"}) {
    const auto line = parse({spelling, "--cycle", "30"});
    ASSERT_TRUE(line.options) << line.text;
    EXPECT_EQ(line.options->place, Options::Place::kRoot);
    EXPECT_EQ(line.options->cycle.count(), 30);
  }
  for (const auto& [spelling, id, expected] : {std::tuple{"--window-id", "0x2a00007", 0x2a00007UL},
                                               {"-window-id", "44040199", 44040199UL},
                                               {"--window-id", "0X1fffffff", 0x1fffffffUL}}) {
    const auto line = parse({spelling, id});
    ASSERT_TRUE(line.options) << line.text;
    EXPECT_EQ(line.options->place, Options::Place::kOtherWindow);
    EXPECT_EQ(line.options->otherWindow, expected);
  }
  // Values after "=", in both spellings; "--" ends the options.
  for (const auto& arguments :
       {std::vector<std::string>{"-window-id=0x5", "--cycle=0", "--"}, {"--window-id=0x5", "--"}}) {
    const auto line = parse(arguments);
    ASSERT_TRUE(line.options) << line.text;
    EXPECT_EQ(line.options->otherWindow, 5U);
  }
  EXPECT_EQ(parse({"--screensaver"}).options->place, Options::Place::kScreensaver);
  // Resting on battery, for every place but the own window.
  for (const auto& arguments : {std::vector<std::string>{"--screensaver", "-pause-on-battery"},
                                {"-pause-on-battery", "-root"},
                                {"--pause-on-battery", "--window-id", "0x5"}}) {
    const auto paused = parse(arguments);
    ASSERT_TRUE(paused.options) << paused.text;
    EXPECT_TRUE(paused.options->pauseOnBattery) << arguments[0];
    EXPECT_NE(paused.options->place, Options::Place::kWindow);
  }
  const auto line = parse({"--fullscreen", "--seed", "18446744073709551615", "--cycle=0"});
  ASSERT_TRUE(line.options) << line.text;
  EXPECT_TRUE(line.options->fullscreen);
  EXPECT_EQ(line.options->seed, 18446744073709551615ULL);
}

TEST(CommandLine, BadInputGetsOneLineNamingItAndStatusTwo) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--frobnicate"}, "--frobnicate"},
      {{"stray"}, "stray"},
      {{"--cycle", "-1"}, "--cycle"},
      {{"--cycle", "1000001"}, "--cycle"},
      {{"--cycle", "2.5"}, "--cycle"},
      {{"--seed", "x"}, "--seed"},
      {{"--seed", "-1"}, "--seed"},
      {{"--seed", "18446744073709551616"}, "--seed"},
      {{"--window-id", "zz"}, "--window-id"},
      {{"--window-id", "0"}, "--window-id"},
      {{"--window-id", "0x"}, "--window-id"},
      {{"--window-id", "0x20000000"}, "--window-id"},
      {{"--window-id"}, "--window-id"},
      {{"--root", "--window-id", "5"}, "--root"},
      {{"--fullscreen", "-root"}, "--root"},
      {{"--fullscreen", "--screensaver"}, "--screensaver excludes --fullscreen"},
      {{"--pause-on-battery"}, "--pause-on-battery needs --root, --window-id or --screensaver"},
      {{"--fullscreen", "-pause-on-battery"}, "--pause-on-battery needs --root"},
      {{"--root", "--pause-on-battery=1"}, "--pause-on-battery takes no value"},
      {{"--root=1"}, "walkers: --root takes no value"},
      {{"-root", "--root"}, "--root is given twice"},
      {{"--seed", "1", "--seed=2"}, "--seed is given twice"},
      {{"one", "two"}, "unexpected argument \"one\""},
      {{"--", "--root"}, "unexpected argument \"--root\""},
      {{"--bogus", "--help"}, "unknown option \"--bogus\""},
      {{"--help", "--seed", "x"}, "bad --seed \"x\""},
      {{"--help=foo"}, "--help takes no value"},
      {{"--version", "extra"}, "unexpected argument \"extra\""},
      {{"--seed", "1\n\x1b[2J"}, R"(bad --seed "1\n\x1b[2J")"},
  };
  for (const auto& [arguments, named] : cases) {
    const auto line = parse(arguments);
    EXPECT_FALSE(line.options) << arguments[0];
    EXPECT_EQ(line.status, kUsageStatus) << arguments[0];
    EXPECT_NE(("walkers: " + line.text).find(named), std::string::npos) << line.text;
    EXPECT_EQ(line.text.find('\n'), std::string::npos) << line.text;
  }
}

TEST(CommandLine, HelpAndVersionEndWithStatusZero) {
  const auto help = parse({"--help"});
  EXPECT_FALSE(help.options);
  EXPECT_EQ(help.status, 0);
  for (const char* option :
       {"--root", "--window-id", "--fullscreen", "--seed", "--cycle", "--pause-on-battery"}) {
    EXPECT_NE(help.text.find(option), std::string::npos) << option;
  }
  std::istringstream lines(help.text);
  for (std::string helpLine; std::getline(lines, helpLine);) {
    EXPECT_LE(helpLine.size(), 80u) << helpLine;  // all of it is ASCII
  }
  const auto version = parse({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.text, "walkers 1.0.0\n");
}

}  // namespace
}  // namespace walkers
