// Reading a screen saver's command line, every fault named in one line.
#include "host/win32/saver_arguments.hpp"

#include <optional>
#include <string_view>

#include "common/option_text.hpp"

namespace walkers {
namespace {

std::string quoted(std::string_view text) {
  std::string shown = "\"";
  shown.append(escapeForMessage(text, kEchoLimit)).append("\"");
  return shown;
}

SaverRequest bad(std::string message) { return {SaverRequest::Mode::kBad, 0, std::move(message)}; }

}  // namespace

SaverRequest parseSaverArguments(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return {};
  const std::string_view first = arguments[0];
  if (first.size() < 2 || (first[0] != '/' && first[0] != '-') ||
      (first.size() > 2 && first[2] != ':')) {
    return bad("unknown argument " + quoted(first) + " (expected /s, /p HWND, /c or /a)");
  }
  SaverRequest request;
  switch (first[1] | 0x20) {  // either case
    case 's':
      request.mode = SaverRequest::Mode::kRun;
      break;
    case 'p':
      request.mode = SaverRequest::Mode::kPreview;
      break;
    case 'c':
      request.mode = SaverRequest::Mode::kSettings;
      break;
    case 'a':
      request.mode = SaverRequest::Mode::kPassword;
      break;
    default:
      return bad("unknown argument " + quoted(first) + " (expected /s, /p HWND, /c or /a)");
  }
  std::string name = "/";
  name.push_back(static_cast<char>(first[1] | 0x20));
  std::optional<std::string_view> handle;
  std::size_t next = 1;
  if (first.size() > 2) {
    handle = first.substr(3);
  } else if (request.mode != SaverRequest::Mode::kRun && arguments.size() > 1) {
    handle = arguments[1];
    next = 2;
  }
  if (next < arguments.size()) return bad("unexpected argument " + quoted(arguments[next]));
  if (request.mode == SaverRequest::Mode::kRun && handle) return bad("/s takes no window handle");
  if (request.mode == SaverRequest::Mode::kPreview && !handle) {
    return bad("/p needs the handle of the window to preview in");
  }
  if (handle) {
    const bool zeroAllowed = request.mode != SaverRequest::Mode::kPreview;
    if (!parseDecimal(*handle, UINT64_MAX, request.window) ||
        (request.window == 0 && !zeroAllowed)) {
      return bad("bad window handle " + quoted(*handle) + " for " + name +
                 ": expected a decimal number 1..18446744073709551615");
    }
  }
  return request;
}

}  // namespace walkers
