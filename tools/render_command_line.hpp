// The walkers-render command line: its words read into a request, or a text to print.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/render_options.hpp"

namespace walkers::render {

// What one run is asked to do, every value checked.
struct RenderRequest {
  Size size{510, 370};
  std::uint64_t ticks = 10'000;
  std::optional<std::uint64_t> seed;  // none: from the clock, printed on standard error
  // The outputs as named on the command line ("-" for standard output); at least one is given.
  std::optional<std::string> png;
  std::optional<std::string> webp;
  std::optional<std::string> frames;
  std::uint64_t every = 40;    // a time-lapse frame after every so many ticks
  int frameMs = 40;            // how long each animation frame shows
  std::optional<int> quality;  // lossy animation at 0..100; none for lossless
};

inline constexpr int kRenderUsageStatus = 2;

// A request to run, or a text: help or version for standard output (status 0), or one line
// naming a bad option or value for standard error (status 2).
struct RenderCommandLine {
  std::optional<RenderRequest> request;
  int status = 0;
  std::string text;
};

// Reads the arguments after the program name. Options take their values as `--name value`,
// `--name=value`, `-o value` or `-ovalue`; `--` ends the options.
RenderCommandLine parseRenderCommandLine(const std::vector<std::string>& arguments,
                                         const char* version);

}  // namespace walkers::render
