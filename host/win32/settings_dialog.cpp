// The settings dialog: the seconds between fresh patterns and one pattern per monitor or across.
#include "host/win32/settings_dialog.hpp"

#include <cstdint>
#include <string>

#include "common/option_text.hpp"
#include "host/core/command_line.hpp"
#include "host/win32/resource_ids.h"
#include "host/win32/saver_settings.hpp"

namespace walkers {
namespace {

struct DialogState {
  bool saveFailed = false;
};

void show(HWND dialog, const SaverSettings& settings) {
  ::SetDlgItemTextW(dialog, WALKERS_CYCLE, std::to_wstring(settings.cycle.count()).c_str());
  ::CheckRadioButton(dialog, WALKERS_PER_MONITOR, WALKERS_SPANNING,
                     settings.spanning ? WALKERS_SPANNING : WALKERS_PER_MONITOR);
}

// The settings the dialog shows, or nothing (and the user told why) when the seconds are wrong.
bool read(HWND dialog, SaverSettings& settings) {
  wchar_t text[32] = {};
  ::GetDlgItemTextW(dialog, WALKERS_CYCLE, text, 32);
  std::string digits;
  for (const wchar_t* c = text; *c; ++c) digits.push_back(*c < 128 ? static_cast<char>(*c) : '?');
  std::uint64_t cycle = 0;
  if (!parseDecimal(digits, kMaxCycleSeconds, cycle)) {
    ::MessageBoxW(dialog, L"Seconds between fresh patterns: a whole number from 0 to 1000000.",
                  L"walkers", MB_OK | MB_ICONWARNING);
    ::SetFocus(::GetDlgItem(dialog, WALKERS_CYCLE));
    return false;
  }
  settings.cycle = std::chrono::seconds(cycle);
  settings.spanning = ::IsDlgButtonChecked(dialog, WALKERS_SPANNING) == BST_CHECKED;
  return true;
}

INT_PTR CALLBACK procedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG:
      ::SetWindowLongPtrW(dialog, DWLP_USER, l);
      ::SendDlgItemMessageW(dialog, WALKERS_CYCLE, EM_LIMITTEXT, 7, 0);
      show(dialog, loadSaverSettings());
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(w) == IDOK) {
        SaverSettings settings;
        if (!read(dialog, settings)) return TRUE;
        if (!saveSaverSettings(settings)) {
          reinterpret_cast<DialogState*>(::GetWindowLongPtrW(dialog, DWLP_USER))->saveFailed = true;
          ::MessageBoxW(dialog, L"The settings could not be saved in the registry.", L"walkers",
                        MB_OK | MB_ICONERROR);
        }
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(w) == IDCANCEL) {  // Cancel, Esc and the close button
        ::EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int runSettingsDialog(HWND owner) {
  DialogState state;
  const INT_PTR result =
      ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(WALKERS_SETTINGS), owner,
                        procedure, reinterpret_cast<LPARAM>(&state));
  if (result <= 0) {
    ::MessageBoxW(owner, L"The settings dialog could not be shown.", L"walkers",
                  MB_OK | MB_ICONERROR);
    return 1;
  }
  return state.saveFailed ? 1 : 0;
}

}  // namespace walkers
