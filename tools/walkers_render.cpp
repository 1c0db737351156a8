// walkers-render: grows a pattern without a window and writes the canvas as a PNG.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/random.hpp"
#include "host/form.hpp"
#include "host/standard_descriptors.hpp"
#include "tools/output_file.hpp"
#include "tools/png_file.hpp"
#include "tools/render_options.hpp"

#ifndef WALKERS_VERSION
#define WALKERS_VERSION "unknown"
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kUsageError = 2;
constexpr int kOutputFailure = 1;

int usageError(const std::string& message) {
  std::fprintf(stderr, "walkers-render: %s\n", message.c_str());
  return kUsageError;
}

// A progress line on a terminal, redrawn a few times a second once the render has lasted a moment.
class Progress {
 public:
  explicit Progress(std::uint64_t total) : total_(total), enabled_(::isatty(STDERR_FILENO) == 1) {}

  void update(std::uint64_t done) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < kQuietStart || now - shown_ < kRedraw) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = static_cast<double>(done) / seconds;
    const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0;
    std::fprintf(stderr, "\r%5.1f%%  %.0f ticks/s  %.0f s left   ",
                 100.0 * static_cast<double>(done) / static_cast<double>(total_), rate, left);
    drawn_ = true;
  }

  void finish() const {
    if (drawn_) std::fputs("\r\033[K", stderr);
  }

 private:
  static constexpr auto kQuietStart = std::chrono::milliseconds(500);
  static constexpr auto kRedraw = std::chrono::milliseconds(250);
  std::uint64_t total_;
  bool enabled_;
  bool drawn_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point shown_{};
};

// CLI11 takes `--name=` with nothing after it as `--name` and then eats the next word as the
// value, so that the message names the wrong thing. This finds the first such empty value of an
// option that takes one, skipping the words that are values of other options.
std::optional<std::string> emptyValueOption(const CLI::App& app, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (word == "--") break;
    if (word.size() < 2 || word[0] != '-') continue;
    const auto equals = word.find('=');
    const bool longForm = word.substr(0, 2) == "--";
    const std::string name(longForm ? word.substr(0, equals) : word.substr(0, 2));
    const CLI::Option* option = app.get_option_no_throw(name);
    if (!option || option->get_type_size() == 0) continue;
    if (longForm && equals == word.size() - 1) return name;
    if ((longForm && equals == std::string_view::npos) || (!longForm && word.size() == 2)) ++i;
  }
  return std::nullopt;
}

int run(int argc, char** argv) {
  namespace render = walkers::render;
  CLI::App app{
      "Grows a walkers pattern without a window and writes the canvas as an 8-bit RGB PNG.\n"
      "The first tick seeds the pattern; the same --seed, --size and --ticks always give the\n"
      "same picture. Without --seed the seed comes from the clock and is printed on stderr.",
      "walkers-render"};
  std::string sizeText = "510x370";
  std::string ticksText = "10000";
  std::string seedText;
  std::string output;
  app.add_option("--size", sizeText, "canvas size, each side 1..16384 (default 510x370)")
      ->type_name("WxH");
  app.add_option("--ticks", ticksText, "timer ticks to run, 0..10^12 (default 10000)")
      ->type_name("N");
  app.add_option("--seed", seedText, "seed for the random source, 0..2^64-1 (default: the clock)")
      ->type_name("S");
  app.add_option("-o,--output", output, "the PNG file to write; - for standard output (required)")
      ->type_name("FILE.png");
  app.set_version_flag("--version", std::string("walkers-render ") + WALKERS_VERSION);
  app.footer("Exit status: 0 written, 1 the output could not be written, 2 bad command line.");
  app.allow_extras();  // reported below, with the word escaped

  if (const auto empty = emptyValueOption(app, argc, argv)) {
    if (*empty == "--size") return usageError(std::get<std::string>(render::parseSize("")));
    if (*empty == "--ticks") return usageError(std::get<std::string>(render::parseTicks("")));
    if (*empty == "--seed") return usageError(std::get<std::string>(render::parseSeed("")));
    return usageError(*render::checkOutputName(*empty, ""));
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return app.exit(done);
  } catch (const CLI::ParseError& error) {
    return usageError(render::escapeForMessage(error.what()));
  }
  if (const std::vector<std::string> extra = app.remaining(); !extra.empty()) {
    const std::string& word = extra.front();
    const char* what = word.size() > 1 && word[0] == '-' ? "unknown option" : "unexpected argument";
    return usageError(std::string(what) + " \"" +
                      render::escapeForMessage(word, render::kEchoLimit) + "\"");
  }

  const auto size = render::parseSize(sizeText);
  if (const auto* message = std::get_if<std::string>(&size)) return usageError(*message);
  const auto ticks = render::parseTicks(ticksText);
  if (const auto* message = std::get_if<std::string>(&ticks)) return usageError(*message);
  const bool clockSeeded = app.count("--seed") == 0;
  std::uint64_t seed = 0;
  if (!clockSeeded) {
    const auto parsed = render::parseSeed(seedText);
    if (const auto* message = std::get_if<std::string>(&parsed)) return usageError(*message);
    seed = std::get<std::uint64_t>(parsed);
  }
  if (app.count("--output") == 0) return usageError("--output is required");
  if (const auto message = render::checkOutputName("--output", output)) {
    return usageError(*message);
  }

  try {
    render::OutputFile file(output);  // an unwritable path fails here, before the render
    if (clockSeeded) {
      seed = walkers::clockSeed();
      std::fprintf(stderr, "seed: %" PRIu64 "\n", seed);
    }
    const auto [width, height] = std::get<render::Size>(size);
    walkers::Form form(width, height, walkers::Random(seed), render::kMaxSide);
    const std::uint64_t total = std::get<std::uint64_t>(ticks);
    Progress progress(total);
    constexpr std::uint64_t kBatch = 1024;
    for (std::uint64_t done = 0; done < total;) {
      const std::uint64_t end = std::min(total, done + kBatch);
      for (; done < end; ++done) form.t_Timer();
      progress.update(done);
    }
    progress.finish();
    render::writePng(form.canvas(), file);
    file.commit();
  } catch (const std::bad_alloc&) {
    std::fputs("walkers-render: not enough memory to render\n", stderr);
    return kOutputFailure;
  } catch (const std::exception& error) {  // the output, or a canvas too large for memory
    std::fprintf(stderr, "walkers-render: %s\n", error.what());
    return kOutputFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Before anything is opened, so that no output can take the number of a closed standard one.
  if (!walkers::openStandardDescriptors()) return kOutputFailure;
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("walkers-render: not enough memory\n", stderr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "walkers-render: %s\n",
                 walkers::render::escapeForMessage(error.what()).c_str());
  }
  return kOutputFailure;
}
