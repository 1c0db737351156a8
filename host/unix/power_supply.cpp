// Reading the kernel's power-supply class for whether the machine runs on battery: the onBattery
// seam on Unix.
#include "host/unix/power_supply.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "host/core/seams.hpp"

namespace walkers {
namespace {

// The longest value read. Every word compared is shorter: a file that fills it says nothing.
constexpr std::size_t kValueBytes = 32;
// More supplies than any machine has; a directory holding more is read no further.
constexpr int kMostSupplies = 256;

using Value = char[kValueBytes];

// The text of file `name` in the supply directory `supply`, without its newline, in `buffer`;
// empty for anything but a short regular file. Only a regular file is opened at all (a device
// node or a FIFO is not), never through a symlink, and never waited for.
std::string_view readValue(int supply, const char* name, Value& buffer) {
  struct stat info {};
  if (::fstatat(supply, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode)) {
    return {};
  }
  const int fd = ::openat(supply, name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return {};
  ssize_t n = -1;
  // Swapped for something else since the look: the open file is checked again.
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    do {
      n = ::read(fd, buffer, sizeof buffer);
    } while (n < 0 && errno == EINTR);
  }
  ::close(fd);
  if (n <= 0 || static_cast<std::size_t>(n) == sizeof buffer) return {};
  std::string_view value(buffer, static_cast<std::size_t>(n));
  if (value.ends_with('\n')) value.remove_suffix(1);
  return value;
}

// What one supply says.
enum class Supply { kNothing, kOutsideOnline, kDischarging };

Supply readSupply(int supply) {
  Value buffer;
  Value typeBuffer;
  // A device's own supply (a wireless mouse's battery, its charger) says nothing of the machine.
  if (readValue(supply, "scope", buffer) == "Device") return Supply::kNothing;
  const std::string_view type = readValue(supply, "type", typeBuffer);
  if (type == "Battery") {
    // "Charging", "Full", "Not charging" (held at a charge limit on mains) and "Unknown" are not.
    return readValue(supply, "status", buffer) == "Discharging" ? Supply::kDischarging
                                                                : Supply::kNothing;
  }
  if (type == "Mains" || type.starts_with("USB") || type == "Wireless" || type == "BrickID") {
    // 1 online, 2 online and programmable; 0 offline.
    const std::string_view online = readValue(supply, "online", buffer);
    const bool number =
        !online.empty() && online.find_first_not_of("0123456789") == std::string_view::npos;
    if (number && online.find_first_not_of('0') != std::string_view::npos) {
      return Supply::kOutsideOnline;
    }
  }
  return Supply::kNothing;
}

}  // namespace

bool runsOnBattery(const char* directory) {
  const int list = ::open(directory, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
  if (list < 0) return false;
  DIR* entries = ::fdopendir(list);
  if (!entries) {
    ::close(list);
    return false;
  }
  bool discharging = false;
  int supplies = 0;
  while (const dirent* entry = ::readdir(entries)) {
    if (entry->d_name[0] == '.') continue;
    if (++supplies > kMostSupplies) break;
    // Each supply is a symlink to its device's directory: followed, but only to a directory (a
    // loop or anything else fails here).
    const int supply =
        ::openat(list, entry->d_name, O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    if (supply < 0) continue;
    const Supply says = readSupply(supply);
    ::close(supply);
    if (says == Supply::kOutsideOnline) {
      discharging = false;
      break;
    }
    if (says == Supply::kDischarging) discharging = true;
  }
  ::closedir(entries);
  return discharging;
}

bool onBattery() { return runsOnBattery(kPowerSupplyClass); }

}  // namespace walkers
