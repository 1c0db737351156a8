// Start-up: read the command line, then run at the place it names on this platform's hosts.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "common/option_reader.hpp"
#include "host/core/command_line.hpp"
#include "host/core/places.hpp"
#include "host/core/seams.hpp"

#ifndef WALKERS_VERSION
#define WALKERS_VERSION "unknown"
#endif

int main(int argc, char** argv) {
  const auto outputClosed = walkers::openStandardStreams();  // before anything opens a file
  if (!outputClosed) return 1;
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto line = walkers::parseCommandLine(
      arguments, WALKERS_VERSION, {walkers::parseOtherWindow, walkers::otherWindowForms()});
  if (!line.options) {
    if (line.status == 0) return walkers::printHelpText("walkers", line.text, *outputClosed);
    std::fprintf(stderr, "walkers: %s\n", line.text.c_str());
    return line.status;
  }
  try {
    const auto stop = walkers::makeStopRequest();
    return walkers::runAtPlace(*line.options, stop.get());
  } catch (const std::bad_alloc&) {  // the canvas names its own size; anything else lands here
    std::fputs("walkers: not enough memory\n", stderr);
    return 1;
  } catch (const std::exception& error) {  // cannot open a window, out of memory and the like
    std::fprintf(stderr, "walkers: %s\n", error.what());
    return 1;
  }
}
