// One reader for both programs' command lines: a table of options in, their values or a fault out.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace walkers {

// One option of a program's command line.
struct OptionSpec {
  std::string_view name;    // the long spelling, dashes included: "--seed"
  char letter = 0;          // a one-letter spelling ("-o"), or 0
  bool takesValue = false;  // whether a value follows
  bool singleDash = false;  // also spelt with one dash ("-root"), as screensaver daemons write it
};

// The value of every option given, at its place in the table: an empty string for an option
// without a value, nothing for one not given.
using GivenOptions = std::vector<std::optional<std::string>>;

// Reads `words` against `options` into `given`: "--name value", "--name=value", "-x value",
// "-xvalue" and the single-dash long spellings the table allows; "--" ends the options, and a
// value never looks like an option (a word starting "--", or a one-letter spelling). Answers the
// first fault as the message to show: unknown option "--x", unexpected argument "x" (neither
// program takes operands), --name is given twice, --name needs a value, --name takes no value.
std::optional<std::string> readOptions(std::span<const OptionSpec> options,
                                       const std::vector<std::string>& words, GivenOptions& given);

// `text` in double quotes, escaped and cut as escapeForMessage does at kEchoLimit.
std::string quoted(std::string_view text);

// Prints help or version `text` on standard output and answers 0; when it cannot be written
// (`outputClosed`: standard output was closed at start), says so on standard error as
// "<program>: cannot write standard output: <why>" and answers 1.
int printHelpText(std::string_view program, const std::string& text, bool outputClosed);

}  // namespace walkers
