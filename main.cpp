// Start-up: read the command line, then run at the place it names on this platform's hosts.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "host/core/command_line.hpp"
#include "host/core/places.hpp"
#include "host/core/seams.hpp"

#ifndef WALKERS_VERSION
#define WALKERS_VERSION "unknown"
#endif

namespace {

// Help or version on standard output, status 0; status 1 with one line if it cannot be written
// (a full device, a closed output).
int printText(const std::string& text, bool outputClosed) {
  errno = 0;
  std::fputs(text.c_str(), stdout);
  if (outputClosed || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    const int error = outputClosed ? EBADF : errno != 0 ? errno : EIO;
    std::fprintf(stderr, "walkers: cannot write standard output: %s\n", std::strerror(error));
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const auto outputClosed = walkers::openStandardStreams();  // before anything opens a file
  if (!outputClosed) return 1;
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto line = walkers::parseCommandLine(
      arguments, WALKERS_VERSION, {walkers::parseOtherWindow, walkers::otherWindowForms()});
  if (!line.options) {
    if (line.status == 0) return printText(line.text, *outputClosed);
    std::fprintf(stderr, "walkers: %s\n", line.text.c_str());
    return line.status;
  }
  try {
    return walkers::runAtPlace(*line.options);
  } catch (const std::bad_alloc&) {  // the canvas names its own size; anything else lands here
    std::fputs("walkers: not enough memory\n", stderr);
    return 1;
  } catch (const std::exception& error) {  // cannot open a window, out of memory and the like
    std::fprintf(stderr, "walkers: %s\n", error.what());
    return 1;
  }
}
