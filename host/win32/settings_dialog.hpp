// The screen saver's settings dialog.
#pragma once

#include <windows.h>

namespace walkers {

// Shows the dialog, modal to `owner` (none when null), with the saved settings. OK saves them,
// Cancel, Esc and the close button leave them. Answers the exit status: 0, or 1 when the dialog
// could not be shown or the settings could not be saved (said in a message box).
int runSettingsDialog(HWND owner);

}  // namespace walkers
