// The screen saver's two choices, kept under HKEY_CURRENT_USER\Software\walkers.
#pragma once

#include <chrono>

namespace walkers {

struct SaverSettings {
  std::chrono::seconds cycle{0};  // between fresh patterns; 0 never
  bool spanning = false;          // one pattern across every monitor instead of one on each
};

// What the user saved, the defaults for anything missing or out of range.
SaverSettings loadSaverSettings();
// Answers whether both values were written.
bool saveSaverSettings(const SaverSettings& settings);

}  // namespace walkers
