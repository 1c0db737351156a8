// Reading command-line words against a table of options, with one wording for every fault.
#include "common/option_reader.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/option_text.hpp"

namespace walkers {
namespace {

// The option a spelling names ("--seed", "-o", "-root"), or nullptr.
const OptionSpec* find(std::span<const OptionSpec> options, std::string_view spelling) {
  for (const OptionSpec& option : options) {
    if (spelling == option.name) return &option;
    if (spelling.size() == 2 && spelling[0] == '-' && option.letter != 0 &&
        spelling[1] == option.letter) {
      return &option;
    }
    if (option.singleDash && spelling.size() > 1 && spelling[0] == '-' &&
        spelling.substr(1) == option.name.substr(2)) {
      return &option;
    }
  }
  return nullptr;
}

bool looksLikeOption(std::span<const OptionSpec> options, std::string_view word) {
  return word.starts_with("--") || (word.size() == 2 && find(options, word) != nullptr);
}

}  // namespace

std::optional<std::string> readOptions(std::span<const OptionSpec> options,
                                       const std::vector<std::string>& words, GivenOptions& given) {
  given.assign(options.size(), std::nullopt);
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (word == "--") {
      if (i + 1 < words.size()) return "unexpected argument " + quoted(words[i + 1]);
      break;
    }
    if (word.size() < 2 || word[0] != '-') return "unexpected argument " + quoted(word);
    // A long spelling (two dashes, or one where the table allows) may carry "=value"; a letter
    // may carry its value straight after it.
    const auto equals = word.find('=');
    const std::string_view spelling = word.substr(0, equals);
    const OptionSpec* option = find(options, spelling);
    std::optional<std::string_view> attached;
    if (option && equals != std::string_view::npos) attached = word.substr(equals + 1);
    if (!option && !word.starts_with("--")) {  // "-oFILE"
      const OptionSpec* letter = find(options, word.substr(0, 2));
      if (letter && letter->letter != 0 && letter->takesValue) {
        option = letter;
        attached = word.substr(2);
      }
    }
    if (!option) return "unknown option " + quoted(spelling);
    const std::string name(option->name);
    auto& value = given[static_cast<std::size_t>(option - options.data())];
    if (value) return name + " is given twice";
    if (!option->takesValue) {
      if (attached) return name + " takes no value";
      value.emplace();
    } else if (attached) {
      value.emplace(*attached);
    } else if (i + 1 < words.size() && !looksLikeOption(options, words[i + 1])) {
      value = words[++i];
    } else {
      return name + " needs a value";
    }
  }
  return std::nullopt;
}

std::string quoted(std::string_view text) {
  std::string shown = "\"";  // built by appending: GCC 12 misreports chained +
  shown.append(escapeForMessage(text, kEchoLimit)).append("\"");
  return shown;
}

int printHelpText(std::string_view program, const std::string& text, bool outputClosed) {
  errno = 0;
  if (!outputClosed && std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 &&
      std::ferror(stdout) == 0) {
    return 0;
  }
  const int error = outputClosed ? EBADF : errno != 0 ? errno : EIO;
  std::fprintf(stderr, "%.*s: cannot write standard output: %s\n", static_cast<int>(program.size()),
               program.data(), std::strerror(error));
  return 1;
}

}  // namespace walkers
