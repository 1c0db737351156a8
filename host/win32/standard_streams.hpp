// Writing to standard output and error from a program without a console of its own.
#pragma once

#include <string_view>

namespace walkers {

// Whether standard error leads anywhere (a file, a pipe, a console).
bool hasStandardError();

// Writes all of `text` to standard output or error; answers whether it all went. The handles are
// those openStandardStreams (host/core/seams.hpp) found.
bool writeStandardOutput(std::string_view text);
bool writeStandardError(std::string_view text);

}  // namespace walkers
