// Whether the machine runs on battery, as the kernel's power-supply class tells.
#pragma once

namespace walkers {

// Where the kernel lists the power supplies: one directory per supply, each with small text
// files (type, online, scope, status).
inline constexpr const char* kPowerSupplyClass = "/sys/class/power_supply";

// Whether the supplies listed in `directory` (kPowerSupplyClass; another only for tests) say the
// machine runs on battery: no outside supply (Mains, USB and its kinds, Wireless, BrickID) is
// online, and a battery of the system (type Battery, scope other than "Device": not a wireless
// mouse's) is "Discharging". A machine without a battery, or a battery "Not charging", says
// mains. A file that cannot be read (missing, not a regular file, a symlink, longer than a
// value) says nothing: a battery status so is not discharging, a charger's `online` so is not
// online.
// Reads a few dozen bytes from each file and never waits.
bool runsOnBattery(const char* directory);

}  // namespace walkers
