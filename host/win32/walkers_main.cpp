// walkers.exe's start-up: read the command line, then run at the place it names (the window
// "Form1" unless told otherwise); the Windows twin of main.cpp, with a wide-character entry.
#include <exception>
#include <new>

#include "host/core/command_line.hpp"
#include "host/core/places.hpp"
#include "host/core/seams.hpp"
#include "host/win32/program.hpp"
#include "host/win32/standard_streams.hpp"

#ifndef WALKERS_VERSION
#define WALKERS_VERSION "unknown"
#endif

int wmain(int argc, wchar_t** argv) {
  static_cast<void>(walkers::openStandardStreams());  // before anything is written
  const auto line =
      walkers::parseCommandLine(walkers::utf8Arguments(argc, argv), WALKERS_VERSION,
                                {walkers::parseOtherWindow, walkers::otherWindowForms()});
  if (!line.options) {
    if (line.status != 0) return walkers::fail(line.text, line.status);
    if (walkers::writeStandardOutput(line.text)) return 0;
    return walkers::fail("cannot write standard output", 1);
  }
  try {
    return walkers::runAtPlace(*line.options, nullptr);  // no stop signals on Windows
  } catch (const std::bad_alloc&) {
    return walkers::fail("not enough memory", 1);
  } catch (const std::exception& error) {
    return walkers::fail(error.what(), 1);
  }
}
