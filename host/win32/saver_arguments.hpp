// What Windows asks of a screen saver through its command line: run, preview, settings, password.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace walkers {

struct SaverRequest {
  enum class Mode {
    kSettings,  // /c, /c:HWND or no argument: the settings dialog, owned by `window` if given
    kRun,       // /s: cover the monitors until the user comes back
    kPreview,   // /p HWND: draw inside `window`, the settings box's preview
    kPassword,  // /a HWND: the old password dialog, which walkers does not have
    kBad,       // anything else: `message` names the argument
  };
  Mode mode = Mode::kSettings;
  std::uint64_t window = 0;  // 0: none given
  std::string message;
};

// Reads the arguments after the program name. A mode is a letter after "/" or "-", either case;
// a window handle, in decimal, follows after a colon or as the next argument. /p needs one; /c
// and /a may have one; /s has none.
SaverRequest parseSaverArguments(const std::vector<std::string>& arguments);

}  // namespace walkers
