// Reading the walkers-render command line: words to options, options to a checked request.
#include "tools/render_command_line.hpp"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "common/option_reader.hpp"
#include "common/option_text.hpp"
#include "tools/animation.hpp"
#include "tools/output_file.hpp"

namespace walkers::render {
namespace {

enum Option : std::size_t {
  kHelp,
  kVersion,
  kSize,
  kTicks,
  kSeed,
  kOutput,
  kAnimate,
  kFrames,
  kEvery,
  kFrameMs,
  kQuality,
  kOptionCount
};

constexpr std::array<OptionSpec, kOptionCount> kOptions{{{"--help", 'h'},
                                                         {"--version"},
                                                         {"--size", 0, true},
                                                         {"--ticks", 0, true},
                                                         {"--seed", 0, true},
                                                         {"--output", 'o', true},
                                                         {"--animate", 0, true},
                                                         {"--frames", 0, true},
                                                         {"--every", 0, true},
                                                         {"--frame-ms", 0, true},
                                                         {"--quality", 0, true}}};

constexpr const char* kHelpText =
    "Usage: walkers-render [OPTIONS]\n"
    "\n"
    "Grows a walkers pattern without a window and writes the canvas as an 8-bit RGB\n"
    "PNG, its growth as an animated WebP, or its growth as raw RGB frames. The first\n"
    "tick seeds the pattern; the same arguments always give the same files. Without\n"
    "--seed the seed comes from the clock and is printed on stderr.\n"
    "\n"
    "Options:\n"
    "  -h, --help             print this help and exit\n"
    "  --version              print the version and exit\n"
    "  --size WxH             canvas size, each side 1..16384 (default 510x370)\n"
    "  --ticks N              timer ticks to run, 0..10^12 (default 10000)\n"
    "  --seed S               random seed, 0..2^64-1 (default: from the clock)\n"
    "  -o, --output FILE.png  the PNG file to write; - for standard output\n"
    "  --animate FILE.webp    an animated WebP of the growth; - for standard output\n"
    "  --frames FILE          raw 8-bit RGB frames of the growth, back to back;\n"
    "                         - for standard output\n"
    "  --every N              a frame after every N ticks, 1..10^12 (default 40: 25 a\n"
    "                         second)\n"
    "  --frame-ms M           show each animation frame for M ms, 20..60000 (default:\n"
    "                         N, which plays in real time)\n"
    "  --quality Q            make the animation lossy at quality 0..100 (default:\n"
    "                         lossless)\n"
    "\n"
    "At least one of --output, --animate and --frames is required; -- ends the\n"
    "options. Exit status: 0 written, 1 an output could not be written or not\n"
    "enough memory, 2 bad command line.\n";

using Given = GivenOptions;

RenderCommandLine usage(std::string message) {
  return {std::nullopt, kRenderUsageStatus, std::move(message)};
}

// A reason to refuse the outputs given: a name that can never be written, or two outputs with
// the same name (two files renamed over each other, or two streams mixed on standard output).
std::optional<std::string> checkOutputNames(const Given& given) {
  constexpr std::array<Option, 3> kOutputs{kOutput, kAnimate, kFrames};
  for (std::size_t i = 0; i < kOutputs.size(); ++i) {
    const auto& name = given[kOutputs[i]];
    if (!name) continue;
    const std::string_view option = kOptions[kOutputs[i]].name;
    for (std::size_t j = 0; j < i; ++j) {
      const std::string other(kOptions[kOutputs[j]].name);
      if (given[kOutputs[j]] != name) continue;
      if (*name == kStandardOutput) {
        return other + " and " + std::string(option) +
               " both name standard output; only one output can go there";
      }
      return std::string(option) + " names the same file as " + other + ": " + quoted(*name);
    }
  }
  for (const Option output : kOutputs) {
    if (!given[output]) continue;
    if (auto message = checkOutputName(kOptions[output].name, *given[output])) return message;
  }
  return std::nullopt;
}

// Reads one value into `field`, if given (else `field` keeps its default); a message if it is bad.
template <class T, class Field>
std::optional<std::string> take(const std::optional<std::string>& text,
                                Parsed<T> (*parse)(std::string_view), Field& field) {
  if (!text) return std::nullopt;
  auto parsed = parse(*text);
  if (auto* message = std::get_if<std::string>(&parsed)) return std::move(*message);
  field = std::get<T>(parsed);
  return std::nullopt;
}

// The time-lapse options: only with an output that uses them, and an animation WebP can hold.
std::optional<std::string> readTimeLapse(const Given& given, RenderRequest& request) {
  const bool webp = given[kAnimate].has_value();
  for (const Option option : {kEvery, kFrameMs, kQuality}) {
    const bool animationOnly = option != kEvery;
    if (given[option] && !webp && (animationOnly || !given[kFrames])) {
      return std::string(kOptions[option].name) +
             (animationOnly ? " needs --animate" : " needs --animate or --frames");
    }
  }
  if (auto message = take(given[kEvery], parseEvery, request.every)) return message;
  // Real time by default: a frame of N ticks shows for N ms, within what a frame may last.
  request.frameMs =
      static_cast<int>(std::clamp<std::uint64_t>(request.every, kMinFrameMs, kMaxFrameMs));
  if (auto message = take(given[kFrameMs], parseFrameMs, request.frameMs)) return message;
  if (auto message = take(given[kQuality], parseQuality, request.quality)) return message;
  if (!webp) return std::nullopt;
  const auto [width, height] = request.size;
  if (width > kMaxWebpSide || height > kMaxWebpSide) {
    return "bad --size " + quoted(given[kSize].value_or("")) +
           " for --animate: a WebP is at most " + std::to_string(kMaxWebpSide) + " pixels a side";
  }
  const std::uint64_t frames = FrameClock(request.ticks, request.every).count();
  if (frames <= kMaxAnimationMs / static_cast<std::uint64_t>(request.frameMs)) return std::nullopt;
  const std::string length = std::to_string(frames) + " frames of " +
                             std::to_string(request.frameMs) +
                             " ms make an animation longer than a WebP can time (24 days)";
  if (given[kEvery]) {
    return "bad --every " + quoted(*given[kEvery]) + " for --ticks " +
           std::to_string(request.ticks) + ": " + length;
  }
  return "bad --ticks " + quoted(given[kTicks].value_or(std::to_string(request.ticks))) +
         " for --animate with a frame every " + std::to_string(request.every) +
         " ticks: " + length + "; give a larger --every";
}

}  // namespace

RenderCommandLine parseRenderCommandLine(const std::vector<std::string>& arguments,
                                         const char* version) {
  Given given;
  if (auto message = readOptions(kOptions, arguments, given)) return usage(std::move(*message));
  for (const Option alone : {kHelp, kVersion}) {
    if (!given[alone]) continue;
    const auto other = std::find_if(given.begin(), given.end(), [&](const auto& value) {
      return &value != &given[alone] && value.has_value();
    });
    if (other != given.end()) {
      return usage(std::string(kOptions[alone].name) + " goes alone, without " +
                   std::string(kOptions[static_cast<std::size_t>(other - given.begin())].name));
    }
    return {std::nullopt, 0,
            alone == kHelp ? kHelpText : "walkers-render " + std::string(version) + "\n"};
  }
  RenderRequest request;
  if (auto message = take(given[kSize], parseSize, request.size)) return usage(*message);
  if (auto message = take(given[kTicks], parseTicks, request.ticks)) return usage(*message);
  if (auto message = take(given[kSeed], parseSeed, request.seed)) return usage(*message);
  request.png = given[kOutput];
  request.webp = given[kAnimate];
  request.frames = given[kFrames];
  if (!request.png && !request.webp && !request.frames) {
    return usage("nothing to write: give --output FILE.png, --animate FILE.webp or --frames FILE");
  }
  if (auto message = readTimeLapse(given, request)) return usage(*message);
  if (auto message = checkOutputNames(given)) return usage(*message);
  return {std::move(request), 0, {}};
}

}  // namespace walkers::render
