// The seed line on any descriptor, written so that no reader can hold up the drawing.
#pragma once

#include <cstdint>

namespace walkers {

// Writes "seed: S\n" on `fd` only if it can be taken at once, whole: a reader that is slow, stopped
// or never reads loses the line instead of stopping the pattern. Answers whether it was written.
// printSeedLine (host/core/seams.hpp) is this on standard output.
bool writeSeedLineOrDrop(int fd, std::uint64_t seed);

}  // namespace walkers
