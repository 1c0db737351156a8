// What both Windows programs do at start-up and on the way out, besides their windows.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "host/core/loop.hpp"

namespace walkers {

// The arguments after the program name, UTF-8.
std::vector<std::string> utf8Arguments(int argc, wchar_t** argv);

// Device pixels on every monitor (the manifest says so too; this covers a copied program whose
// manifest is lost): the canvas is never blurred by scaling.
void becomeDpiAware();

// Shows "walkers: <line>" on standard error, or in a message box when there is none at all (a
// standard error that fails to take it gets no box); answers `status`.
int fail(const std::string& line, int status);

}  // namespace walkers
