// Strict decimal parsing and safe echoing of option text, shared by walkers and walkers-render.
#include "common/option_text.hpp"

#include <charconv>
#include <cstdio>
#include <utility>

namespace walkers {
namespace {

// The code point of the UTF-8 sequence at the start of `text` and its length, or length 0 if the
// first byte does not start a well-formed sequence.
std::pair<char32_t, std::size_t> decodeUtf8(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t point = 0;
  char32_t least = 0;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, point = lead & 0x1fU, least = 0x80;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, point = lead & 0x0fU, least = 0x800;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, point = lead & 0x07U, least = 0x10000;
  } else {
    return {0, 0};
  }
  if (text.size() < length) return {0, 0};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return {0, 0};
    point = (point << 6) | (byte(i) & 0x3fU);
  }
  if (point < least || point > 0x10ffff || (point >= 0xd800 && point <= 0xdfff)) return {0, 0};
  return {point, length};
}

bool isControl(char32_t point) {
  return point < 0x20 || (point >= 0x7f && point <= 0x9f) || point == 0x2028 || point == 0x2029 ||
         (point >= 0x202a && point <= 0x202e) || (point >= 0x2066 && point <= 0x2069);
}

}  // namespace

bool parseDecimal(std::string_view text, std::uint64_t max, std::uint64_t& value) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc{} && end == text.data() + text.size() && value <= max;
}

bool parseWindowNumber(std::string_view text, std::uint64_t max, std::uint64_t& value) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty() || text.front() == '+' || text.front() == '-') return false;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  return error == std::errc{} && end == text.data() + text.size() && value != 0 && value <= max;
}

std::string escapeForMessage(std::string_view text, std::size_t limit) {
  std::string shown;
  std::size_t characters = 0;
  while (!text.empty()) {
    const auto [point, length] = decodeUtf8(text);
    char escape[16];
    std::string_view piece = text.substr(0, length);
    if (length == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned char>(text[0]));
      piece = escape;
    } else if (point == '\n' || point == '\t' || point == '\r') {
      std::snprintf(escape, sizeof escape, "\\%c", point == '\n' ? 'n' : point == '\t' ? 't' : 'r');
      piece = escape;
    } else if (isControl(point)) {
      if (point < 0x100) {
        std::snprintf(escape, sizeof escape, "\\x%02x", static_cast<unsigned>(point));
      } else {
        std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(point));
      }
      piece = escape;
    }
    const std::size_t width = length == 1 || piece.data() == escape ? piece.size() : 1;
    if (characters + width > limit) {
      shown += "…";
      break;
    }
    shown += piece;
    characters += width;
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return shown;
}

std::string badValue(std::string_view option, std::string_view text, std::string_view expected) {
  // Built by appending (GCC 12 misreports chained +).
  std::string message = "bad --";
  message.append(option)
      .append(" \"")
      .append(escapeForMessage(text, kEchoLimit))
      .append("\": ")
      .append(expected);
  return message;
}

}  // namespace walkers
