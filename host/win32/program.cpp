// Arguments, DPI awareness, lines on standard error and failure messages of the Windows programs.
#include "host/win32/program.hpp"

#include <windows.h>

#include "host/core/seams.hpp"
#include "host/win32/standard_streams.hpp"

namespace walkers {
namespace {

std::string utf8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string converted(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, converted.data(), size, nullptr, nullptr);
  converted.pop_back();  // the terminating zero
  return converted;
}

std::wstring wide(const std::string& text) {
  const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  if (size <= 1) return {};
  std::wstring converted(static_cast<std::size_t>(size), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, converted.data(), size);
  converted.pop_back();
  return converted;
}

}  // namespace

std::vector<std::string> utf8Arguments(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(utf8(argv[i]));
  return arguments;
}

void becomeDpiAware() {
  ::SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
}

std::unique_ptr<StopRequest> makeStopRequest() { return nullptr; }  // no stop signals here

void reportLine(const std::string& line) {
  static_cast<void>(writeStandardError("walkers: " + line + "\n"));
}

int fail(const std::string& line, int status) {
  // The box only where there is no standard error at all: one that fails to take the line (a
  // full disk) must not hold an unattended script up on a box nobody sees.
  if (hasStandardError()) {
    static_cast<void>(writeStandardError("walkers: " + line + "\n"));
  } else {
    ::MessageBoxW(nullptr, wide(line).c_str(), L"walkers", MB_OK | MB_ICONERROR);
  }
  return status;
}

}  // namespace walkers
