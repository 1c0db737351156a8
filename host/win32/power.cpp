// onBattery on Windows: the system's power status.
#include <windows.h>

#include "host/core/seams.hpp"

namespace walkers {

// ACLineStatus is 0 off the mains, 1 on it and 255 when the system cannot tell.
bool onBattery() {
  SYSTEM_POWER_STATUS status{};
  return ::GetSystemPowerStatus(&status) != 0 && status.ACLineStatus == 0;
}

}  // namespace walkers
