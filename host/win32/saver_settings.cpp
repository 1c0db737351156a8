// Reading and writing the screen saver's settings in the registry, as two DWORD values.
#include "host/win32/saver_settings.hpp"

#include <windows.h>

#include <optional>

#include "host/core/command_line.hpp"

namespace walkers {
namespace {

constexpr wchar_t kKey[] = L"Software\\walkers";
constexpr wchar_t kCycle[] = L"Cycle";
constexpr wchar_t kSpanning[] = L"Spanning";

std::optional<DWORD> readNumber(HKEY key, const wchar_t* name) {
  DWORD value = 0;
  DWORD size = sizeof value;
  DWORD type = 0;
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof value) {
    return std::nullopt;
  }
  return value;
}

bool writeNumber(HKEY key, const wchar_t* name, DWORD value) {
  return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value) == ERROR_SUCCESS;
}

}  // namespace

SaverSettings loadSaverSettings() {
  SaverSettings settings;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return settings;
  if (const auto cycle = readNumber(key, kCycle); cycle && *cycle <= kMaxCycleSeconds) {
    settings.cycle = std::chrono::seconds(*cycle);
  }
  if (const auto spanning = readNumber(key, kSpanning); spanning && *spanning <= 1) {
    settings.spanning = *spanning == 1;
  }
  ::RegCloseKey(key);
  return settings;
}

bool saveSaverSettings(const SaverSettings& settings) {
  HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool written = writeNumber(key, kCycle, static_cast<DWORD>(settings.cycle.count())) &&
                       writeNumber(key, kSpanning, settings.spanning ? 1 : 0);
  ::RegCloseKey(key);
  return written;
}

}  // namespace walkers
