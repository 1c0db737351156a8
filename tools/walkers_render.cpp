// walkers-render: grows a pattern without a window and writes the canvas as a PNG.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <optional>
#include <string>

#include "engine/random.hpp"
#include "host/form.hpp"
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
  app.add_option("-o,--output", output, "the PNG file to write")->type_name("FILE.png")->required();
  app.set_version_flag("--version", std::string("walkers-render ") + WALKERS_VERSION);
  app.footer("Exit status: 0 written, 1 the output could not be written, 2 bad command line.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return app.exit(done);
  } catch (const CLI::ParseError& error) {
    return usageError(error.what());
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

  try {
    render::PendingPng file(output);  // an unwritable path fails here, before the render
    if (clockSeeded) {
      seed = walkers::clockSeed();
      std::fprintf(stderr, "seed: %" PRIu64 "\n", seed);
    }
    const auto [width, height] = std::get<render::Size>(size);
    walkers::Form form(width, height, walkers::Random(seed));
    const std::uint64_t total = std::get<std::uint64_t>(ticks);
    Progress progress(total);
    constexpr std::uint64_t kBatch = 1024;
    for (std::uint64_t done = 0; done < total;) {
      const std::uint64_t end = std::min(total, done + kBatch);
      for (; done < end; ++done) form.t_Timer();
      progress.update(done);
    }
    progress.finish();
    file.commit(form.canvas());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "walkers-render: %s\n", error.what());
    return kOutputFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return run(argc, argv);
  } catch (const std::exception& error) {  // out of memory and the like
    std::fprintf(stderr, "walkers-render: %s\n", error.what());
    return kOutputFailure;
  }
}
