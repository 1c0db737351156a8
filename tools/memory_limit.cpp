// Reading the memory the system has available and the process's own limits from /proc.
#include "tools/memory_limit.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

namespace walkers::render {
namespace {

// A "Name: N kB" line of a /proc file, in bytes.
std::optional<std::uint64_t> procKilobytes(const char* path, const std::string& name) {
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(name + ":", 0) != 0) continue;
    try {
      return std::stoull(line.substr(name.size() + 1)) * 1024;
    } catch (const std::exception&) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

// What the soft limit `resource` leaves beside `used` bytes.
std::optional<std::uint64_t> leftUnder(int resource, std::optional<std::uint64_t> used) {
  rlimit limit{};
  if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
  const std::uint64_t cap = limit.rlim_cur;
  return cap - std::min(cap, used.value_or(0));
}

}  // namespace

std::optional<std::uint64_t> memoryAvailable() {
  std::optional<std::uint64_t> least = procKilobytes("/proc/meminfo", "MemAvailable");
  for (const auto left : {leftUnder(RLIMIT_AS, procKilobytes("/proc/self/status", "VmSize")),
                          leftUnder(RLIMIT_DATA, procKilobytes("/proc/self/status", "VmData"))}) {
    if (left) least = std::min(least.value_or(*left), *left);
  }
  return least;
}

std::string memoryText(std::uint64_t bytes) {
  constexpr double kMiB = 1024.0 * 1024.0;
  char text[32];
  if (bytes >= 1024 * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(bytes) / (1024 * kMiB));
  } else {
    std::snprintf(text, sizeof text, "%.0f MiB", static_cast<double>(bytes) / kMiB);
  }
  return text;
}

}  // namespace walkers::render
