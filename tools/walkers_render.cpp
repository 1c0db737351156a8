// walkers-render: grows a pattern without a window and writes the canvas as a PNG, and its growth
// as an animated WebP or raw RGB frames.
#include <fcntl.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/random.hpp"
#include "host/form.hpp"
#include "host/standard_descriptors.hpp"
#include "tools/animation.hpp"
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

// Standard output was closed when the program started (and is now /dev/null): "-" has nowhere
// to go.
bool standardOutputClosed = false;

int usageError(const std::string& message) {
  std::fprintf(stderr, "walkers-render: %s\n", message.c_str());
  return kUsageError;
}

// A progress line on a terminal, redrawn a few times a second once the render has lasted a moment.
// The time left is estimated from the pace so far, which includes encoding the frames taken on
// the way; the frame count is shown when frames are taken, and the last step (finishing the
// animation and writing the files) is named once the ticks are done.
class Progress {
 public:
  Progress(std::uint64_t total, std::uint64_t frames)
      : total_(total), frames_(frames), enabled_(::isatty(STDERR_FILENO) == 1) {}

  void update(std::uint64_t done, std::uint64_t framesDone) {
    if (!enabled_) return;
    const auto now = Clock::now();
    if (now - start_ < kQuietStart || now - shown_ < kRedraw) return;
    shown_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const double rate = static_cast<double>(done) / seconds;
    const double left = rate > 0 ? static_cast<double>(total_ - done) / rate : 0;
    std::fprintf(
        stderr, "\r%5.1f%%  %.0f ticks/s",
        100.0 * static_cast<double>(done) / static_cast<double>(std::max<std::uint64_t>(total_, 1)),
        rate);
    if (frames_ > 0) {
      std::fprintf(stderr, "  frame %" PRIu64 "/%" PRIu64, framesDone, frames_);
    }
    std::fprintf(stderr, "  %.0f s left   ", left);
    drawn_ = true;
  }

  // The ticks are done; names what the rest of the time goes to.
  void finishing(const char* what) {
    if (!enabled_ || Clock::now() - start_ < kQuietStart) return;
    std::fprintf(stderr, "\r\033[K100.0%%  %s", what);
    drawn_ = true;
  }

  // Clears the line, so that what is printed next starts a line of its own; also when the render
  // fails and its message follows.
  void finish() {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }
  ~Progress() { finish(); }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

 private:
  static constexpr auto kQuietStart = std::chrono::milliseconds(500);
  static constexpr auto kRedraw = std::chrono::milliseconds(250);
  std::uint64_t total_;
  std::uint64_t frames_;
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

// The outputs as given on the command line, before anything is opened.
struct OutputNames {
  std::string png;
  std::string webp;
  std::string frames;
};

// A reason to refuse the outputs given: a name that can never be written, or two outputs with
// the same name (two files renamed over each other, or two streams mixed on standard output).
std::optional<std::string> checkOutputNames(const CLI::App& app, const OutputNames& names) {
  namespace render = walkers::render;
  const std::pair<const char*, const std::string*> given[] = {
      {"--output", &names.png}, {"--animate", &names.webp}, {"--frames", &names.frames}};
  for (std::size_t i = 0; i < std::size(given); ++i) {
    const auto& [option, name] = given[i];
    if (app.count(option) == 0) continue;
    if (auto message = render::checkOutputName(option, *name)) return message;
    for (std::size_t j = 0; j < i; ++j) {
      const auto& [other, otherName] = given[j];
      if (app.count(other) == 0 || *otherName != *name) continue;
      if (*name == render::kStandardOutput) {
        return std::string(other) + " and " + option +
               " both name standard output; only one output can go there";
      }
      return std::string(option) + " names the same file as " + other + ": \"" +
             render::escapeForMessage(*name, render::kEchoLimit) + "\"";
    }
  }
  return std::nullopt;
}

// Runs the pattern for `total` ticks, calling take() after the tick of each of the first
// `frames` frames of `clock` (after none if `frames` is 0).
template <class Take>
void grow(walkers::Form& form, std::uint64_t total, const walkers::render::FrameClock& clock,
          std::uint64_t frames, Progress& progress, Take take) {
  constexpr std::uint64_t kBatch = 1024;
  std::uint64_t done = 0;
  std::uint64_t frame = 0;
  while (true) {
    if (frame < frames && done == clock.tickOf(frame)) {
      take();
      ++frame;
      progress.update(done, frame);
    }
    if (done == total) break;
    const std::uint64_t next = frame < frames ? clock.tickOf(frame) : total;
    const std::uint64_t end = std::min(next, done + kBatch);
    for (; done < end; ++done) form.t_Timer();
    progress.update(done, frame);
  }
}

int run(int argc, char** argv) {
  namespace render = walkers::render;
  CLI::App app{
      "Grows a walkers pattern without a window and writes the canvas as an 8-bit RGB PNG, its\n"
      "growth as an animated WebP, or its growth as raw RGB frames. The first tick seeds the\n"
      "pattern; the same arguments always give the same files. Without --seed the seed comes\n"
      "from the clock and is printed on stderr.",
      "walkers-render"};
  std::string sizeText = "510x370";
  std::string ticksText = "10000";
  std::string seedText;
  std::string everyText = "40";
  std::string frameMsText;
  std::string qualityText;
  OutputNames names;
  app.add_option("--size", sizeText, "canvas size, each side 1..16384 (default 510x370)")
      ->type_name("WxH");
  app.add_option("--ticks", ticksText, "timer ticks to run, 0..10^12 (default 10000)")
      ->type_name("N");
  app.add_option("--seed", seedText, "seed for the random source, 0..2^64-1 (default: the clock)")
      ->type_name("S");
  app.add_option("-o,--output", names.png, "the PNG file to write; - for standard output")
      ->type_name("FILE.png");
  app.add_option("--animate", names.webp,
                 "an animated WebP of the growth to write; - for standard output")
      ->type_name("FILE.webp");
  app.add_option("--frames", names.frames,
                 "raw 8-bit RGB frames of the growth to write, back to back; - for standard "
                 "output")
      ->type_name("FILE");
  app.add_option("--every", everyText,
                 "take a frame after every N ticks, 1..10^12 (default 40: 25 frames a second)")
      ->type_name("N");
  app.add_option("--frame-ms", frameMsText,
                 "show each animation frame for M ms, 20..60000 (default: N, which plays in real "
                 "time)")
      ->type_name("M");
  app.add_option("--quality", qualityText,
                 "make the animation lossy at quality 0..100 (default: lossless)")
      ->type_name("Q");
  app.set_version_flag("--version", std::string("walkers-render ") + WALKERS_VERSION);
  app.footer(
      "At least one of --output, --animate and --frames is required.\n"
      "Exit status: 0 written, 1 an output could not be written, 2 bad command line.");
  app.allow_extras();  // reported below, with the word escaped

  if (const auto empty = emptyValueOption(app, argc, argv)) {
    if (*empty == "--size") return usageError(std::get<std::string>(render::parseSize("")));
    if (*empty == "--ticks") return usageError(std::get<std::string>(render::parseTicks("")));
    if (*empty == "--seed") return usageError(std::get<std::string>(render::parseSeed("")));
    if (*empty == "--every") return usageError(std::get<std::string>(render::parseEvery("")));
    if (*empty == "--frame-ms") {
      return usageError(std::get<std::string>(render::parseFrameMs("")));
    }
    if (*empty == "--quality") return usageError(std::get<std::string>(render::parseQuality("")));
    return usageError(*render::checkOutputName(*empty, ""));
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {  // --help or --version, printed on standard output
    errno = 0;
    const int status = app.exit(done);
    std::cout.flush();
    if (standardOutputClosed || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
      const int error = standardOutputClosed ? EBADF : errno != 0 ? errno : EIO;
      std::fprintf(stderr, "walkers-render: cannot write standard output: %s\n",
                   std::strerror(error));
      return kOutputFailure;
    }
    return status;
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

  const bool wantPng = app.count("--output") > 0;
  const bool wantWebp = app.count("--animate") > 0;
  const bool wantFrames = app.count("--frames") > 0;
  if (!wantPng && !wantWebp && !wantFrames) {
    return usageError(
        "nothing to write: give --output FILE.png, --animate FILE.webp or --frames FILE");
  }
  for (const char* option : {"--every", "--frame-ms", "--quality"}) {
    const bool animationOnly = std::string_view(option) != "--every";
    if (app.count(option) > 0 && !wantWebp && (animationOnly || !wantFrames)) {
      return usageError(std::string(option) +
                        (animationOnly ? " needs --animate" : " needs --animate or --frames"));
    }
  }
  const auto every = render::parseEvery(everyText);
  if (const auto* message = std::get_if<std::string>(&every)) return usageError(*message);
  const std::uint64_t everyTicks = std::get<std::uint64_t>(every);
  render::AnimationSettings animation;
  if (app.count("--frame-ms") > 0) {
    const auto parsed = render::parseFrameMs(frameMsText);
    if (const auto* message = std::get_if<std::string>(&parsed)) return usageError(*message);
    animation.frameMs = std::get<int>(parsed);
  } else {
    // Real time: a frame of N ticks shows for N ms, within what a frame may last.
    animation.frameMs = static_cast<int>(
        std::clamp<std::uint64_t>(everyTicks, render::kMinFrameMs, render::kMaxFrameMs));
  }
  if (app.count("--quality") > 0) {
    const auto parsed = render::parseQuality(qualityText);
    if (const auto* message = std::get_if<std::string>(&parsed)) return usageError(*message);
    animation.quality = std::get<int>(parsed);
  }
  const auto [width, height] = std::get<render::Size>(size);
  const std::uint64_t total = std::get<std::uint64_t>(ticks);
  const walkers::render::FrameClock clock(total, everyTicks);
  if (wantWebp) {
    if (width > render::kMaxWebpSide || height > render::kMaxWebpSide) {
      return usageError("bad --size \"" + sizeText + "\" for --animate: a WebP is at most " +
                        std::to_string(render::kMaxWebpSide) + " pixels a side");
    }
    if (clock.count() > render::kMaxAnimationMs / static_cast<std::uint64_t>(animation.frameMs)) {
      return usageError("bad --every \"" + everyText + "\" for --ticks " + ticksText + ": " +
                        std::to_string(clock.count()) + " frames of " +
                        std::to_string(animation.frameMs) +
                        " ms make an animation longer than a WebP can time (24 days)");
    }
  }
  if (const auto message = checkOutputNames(app, names)) return usageError(*message);
  if (standardOutputClosed) {
    for (const std::string* name : {&names.png, &names.webp, &names.frames}) {
      if (*name != render::kStandardOutput) continue;
      std::fprintf(stderr, "walkers-render: cannot write standard output: %s\n",
                   std::strerror(EBADF));
      return kOutputFailure;
    }
  }

  try {
    // Unwritable paths fail here, before the render.
    std::optional<render::OutputFile> png;
    std::optional<render::OutputFile> webp;
    std::optional<render::OutputFile> frames;
    if (wantPng) png.emplace(names.png);
    if (wantWebp) webp.emplace(names.webp);
    if (wantFrames) frames.emplace(names.frames);
    // Two spellings of one file (through a link, "./x", a full path) would write over each other
    // or mix their bytes, as the same name twice would; refused like that, before the render.
    const std::tuple<const char*, const std::optional<render::OutputFile>*, const std::string*>
        opened[] = {{"--output", &png, &names.png},
                    {"--animate", &webp, &names.webp},
                    {"--frames", &frames, &names.frames}};
    for (std::size_t i = 0; i < std::size(opened); ++i) {
      const auto& [option, output, name] = opened[i];
      for (std::size_t j = 0; j < i; ++j) {
        const auto& [other, otherOutput, otherName] = opened[j];
        if (*output && *otherOutput && (*output)->sameTarget(**otherOutput)) {
          return usageError(std::string(option) + " names the same file as " + other + ": \"" +
                            render::escapeForMessage(*name, render::kEchoLimit) + "\"");
        }
      }
    }
    if (clockSeeded) {
      seed = walkers::clockSeed();
      std::fprintf(stderr, "seed: %" PRIu64 "\n", seed);
    }
    walkers::Form form(width, height, walkers::Random(seed), render::kMaxSide);
    std::optional<render::WebpAnimation> animated;
    if (wantWebp) animated.emplace(width, height, animation);
    std::optional<render::RgbFrames> raw;
    if (wantFrames) {
      raw.emplace([&frames](std::span<const std::uint8_t> piece) {
        frames->write(piece.data(), piece.size());
      });
    }

    const std::uint64_t frameCount = wantWebp || wantFrames ? clock.count() : 0;
    Progress progress(total, frameCount);
    grow(form, total, clock, frameCount, progress, [&] {
      if (animated) animated->add(form.canvas());
      if (raw) raw->add(form.canvas());
    });
    if (animated) {
      progress.finishing("finishing the animation");
      const render::WebpBytes file = animated->finish();
      animated.reset();
      webp->write(file.bytes().data(), file.bytes().size());
    }
    if (png) {
      progress.finishing("writing the picture");
      render::writePng(form.canvas(), *png);
    }
    progress.finish();
    // All or nothing: a failure before the renames leaves every target as it was.
    render::commitTogether(
        {png ? &*png : nullptr, webp ? &*webp : nullptr, frames ? &*frames : nullptr});
  } catch (const std::bad_alloc&) {
    std::fputs("walkers-render: not enough memory to render\n", stderr);
    return kOutputFailure;
  } catch (const std::exception& error) {  // an output, or a canvas too large for memory
    std::fprintf(stderr, "walkers-render: %s\n", error.what());
    return kOutputFailure;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  standardOutputClosed = ::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF;
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
