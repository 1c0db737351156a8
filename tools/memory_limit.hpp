// How much more memory this process can have: the system's available memory and its own limits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace walkers::render {

// The bytes this process can still allocate, as far as can be told: the least of the memory the
// system has available (MemAvailable) and what RLIMIT_AS and RLIMIT_DATA leave beside what the
// process already uses. None when nothing limits it or nothing can be read.
std::optional<std::uint64_t> memoryAvailable();

// "1.5 GiB", "320 MiB": a size for messages.
std::string memoryText(std::uint64_t bytes);

}  // namespace walkers::render
