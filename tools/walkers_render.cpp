// walkers-render: grows a pattern without a window and writes the canvas as a PNG, and its growth
// as an animated WebP or raw RGB frames: read the request, open the outputs, render, commit.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/option_reader.hpp"
#include "common/option_text.hpp"
#include "engine/form.hpp"
#include "engine/random.hpp"
#include "host/unix/standard_descriptors.hpp"
#include "tools/animation.hpp"
#include "tools/memory_limit.hpp"
#include "tools/output_file.hpp"
#include "tools/png_file.hpp"
#include "tools/progress.hpp"
#include "tools/render_command_line.hpp"

#ifndef WALKERS_VERSION
#define WALKERS_VERSION "unknown"
#endif

namespace {

namespace render = walkers::render;

constexpr int kOutputFailure = 1;

// Which of the standard descriptors were closed when the program started (and are now
// /dev/null): an output that reaches one ("-", /dev/stdout) has nowhere to go, nor has the seed
// line on a closed standard error.
std::array<bool, 3> closedAtStart{};
bool standardOutputClosed() { return closedAtStart[STDOUT_FILENO]; }

int say(const std::string& message, int status) {
  std::fprintf(stderr, "walkers-render: %s\n", message.c_str());
  return status;
}

// The outputs of one run, open and not yet committed.
struct Outputs {
  std::optional<render::OutputFile> png;
  std::optional<render::OutputFile> webp;
  std::optional<render::OutputFile> frames;
};

// Writes the seed line on standard error, whole, waiting for it if it does not block; answers 0,
// or the errno value of the failure (EBADF when standard error was closed at start).
int writeSeedLineWaiting(std::uint64_t seed) {
  if (closedAtStart[STDERR_FILENO]) return EBADF;
  const std::string line = "seed: " + std::to_string(seed) + "\n";
  std::fflush(stderr);
  std::size_t done = 0;
  while (done < line.size()) {
    const ssize_t written = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
    if (written >= 0) {
      done += static_cast<std::size_t>(written);
    } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd ready{STDERR_FILENO, POLLOUT, 0};
      if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return errno;
    } else if (errno != EINTR) {
      return errno;
    }
  }
  return 0;
}

// Opens every output the request names; unwritable paths throw OutputError here, before the
// render. Answers a reason to refuse the command line (status 2) when two outputs reach one file.
std::optional<std::string> open(const render::RenderRequest& request, Outputs& outputs) {
  const std::tuple<const char*, const std::optional<std::string>*,
                   std::optional<render::OutputFile>*>
      named[] = {{"--output", &request.png, &outputs.png},
                 {"--animate", &request.webp, &outputs.webp},
                 {"--frames", &request.frames, &outputs.frames}};
  // The descriptors the names reach, found before any output is opened, so that none of them is
  // one the renderer opened itself.
  std::array<std::optional<int>, std::size(named)> reached;
  for (std::size_t i = 0; i < std::size(named); ++i) {
    const auto& [option, name, output] = named[i];
    if (!*name) continue;
    reached[i] = render::descriptorReached(**name);
    if (reached[i] && *reached[i] >= 0 && *reached[i] < 3 &&
        closedAtStart[static_cast<std::size_t>(*reached[i])]) {
      throw render::OutputError("cannot write " +
                                (**name == render::kStandardOutput
                                     ? std::string("standard output")
                                     : walkers::escapeForMessage(**name, walkers::kEchoLimit)) +
                                ": " + std::strerror(EBADF));
    }
  }
  for (std::size_t i = 0; i < std::size(named); ++i) {
    const auto& [option, name, output] = named[i];
    if (*name) output->emplace(**name, reached[i]);
  }
  // Two spellings of one file (through a link, "./x", a full path) would write over each other
  // or mix their bytes, as the same name twice would; refused like that, before the render.
  for (std::size_t i = 0; i < std::size(named); ++i) {
    const auto& [option, name, output] = named[i];
    for (std::size_t j = 0; j < i; ++j) {
      const auto& [other, otherName, otherOutput] = named[j];
      if (*output && *otherOutput && (*output)->sameTarget(**otherOutput)) {
        return std::string(option) + " names the same file as " + other + ": \"" +
               walkers::escapeForMessage(**name, walkers::kEchoLimit) + "\"";
      }
    }
  }
  return std::nullopt;
}

// A reason to refuse, before anything is opened, an animation whose encoding cannot fit in the
// memory this process can have (status 1), rather than failing after a long render.
std::optional<std::string> checkMemory(const render::RenderRequest& request) {
  if (!request.webp) return std::nullopt;
  const auto [width, height] = request.size;
  const std::uint64_t need = render::animationMemoryNeed(width, height);
  const auto available = render::memoryAvailable();
  if (!available || need <= *available) return std::nullopt;
  return "not enough memory for a " + std::to_string(width) + "x" + std::to_string(height) +
         " animation: it needs up to " + render::memoryText(need) + ", and " +
         render::memoryText(*available) + " is available";
}

// Runs the pattern for `total` ticks, calling take() after the tick of each of the first
// `frames` frames of `clock` (after none if `frames` is 0).
template <class Take>
void grow(walkers::Form& form, std::uint64_t total, const render::FrameClock& clock,
          std::uint64_t frames, render::Progress& progress, Take take) {
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

// Grows the pattern from `seed`, streams the raw frames as they are taken, and writes the
// finished animation and picture into their outputs (not yet committed).
void renderInto(const render::RenderRequest& request, std::uint64_t seed, Outputs& outputs) {
  const auto [width, height] = request.size;
  walkers::Form form(width, height, walkers::Random(seed), render::kMaxSide);
  std::optional<render::WebpAnimation> animated;
  if (outputs.webp)
    animated.emplace(width, height, render::AnimationSettings{request.frameMs, request.quality});
  std::optional<render::RgbFrames> raw;
  if (outputs.frames) {
    raw.emplace([&outputs](std::span<const std::uint8_t> piece) {
      outputs.frames->write(piece.data(), piece.size());
    });
  }
  const render::FrameClock clock(request.ticks, request.every);
  const std::uint64_t frameCount = animated || raw ? clock.count() : 0;
  render::Progress progress(request.ticks, frameCount);
  grow(form, request.ticks, clock, frameCount, progress, [&] {
    if (animated) animated->add(form.canvas(), form.canvas().takeChanged());
    if (raw) raw->add(form.canvas());
  });
  if (animated) {
    progress.finishing("finishing the animation");
    const render::WebpBytes file = animated->finish();
    animated.reset();
    outputs.webp->write(file.bytes().data(), file.bytes().size());
  }
  if (outputs.png) {
    progress.finishing("writing the picture");
    render::writePng(form.canvas(), *outputs.png);
  }
}

// Puts every output in place, all or nothing: a failure before the renames leaves every target
// as it was.
void commit(Outputs& outputs) {
  const auto pending = [](std::optional<render::OutputFile>& output) {
    return output ? &*output : nullptr;
  };
  render::commitTogether({pending(outputs.png), pending(outputs.webp), pending(outputs.frames)});
}

int run(const render::RenderRequest& request) {
  if (auto refused = checkMemory(request)) return say(*refused, kOutputFailure);
  try {
    Outputs outputs;
    if (auto refused = open(request, outputs)) return say(*refused, render::kRenderUsageStatus);
    std::uint64_t seed = 0;
    if (request.seed) {
      seed = *request.seed;
    } else {
      seed = walkers::clockSeed();
      // The seed is what makes the picture again: without it on record, nothing is rendered.
      if (const int error = writeSeedLineWaiting(seed)) {
        return say(std::string("cannot write the seed to standard error: ") + std::strerror(error),
                   kOutputFailure);
      }
    }
    renderInto(request, seed, outputs);
    commit(outputs);
  } catch (const std::bad_alloc&) {
    return say("not enough memory to render", kOutputFailure);
  } catch (const std::exception& error) {  // an output, or a canvas too large for memory
    return say(error.what(), kOutputFailure);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  for (int fd = 0; fd < 3; ++fd) {
    closedAtStart[static_cast<std::size_t>(fd)] = ::fcntl(fd, F_GETFD) == -1 && errno == EBADF;
  }
  // Before anything is opened, so that no output can take the number of a closed standard one.
  if (!walkers::openStandardDescriptors()) return kOutputFailure;
  try {
    const auto line = render::parseRenderCommandLine(
        std::vector<std::string>(argv + 1, argv + argc), WALKERS_VERSION);
    if (line.request) return run(*line.request);
    if (line.status != 0) return say(line.text, line.status);
    return walkers::printHelpText("walkers-render", line.text, standardOutputClosed());
  } catch (const std::bad_alloc&) {
    std::fputs("walkers-render: not enough memory\n", stderr);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "walkers-render: %s\n", walkers::escapeForMessage(error.what()).c_str());
  }
  return kOutputFailure;
}
