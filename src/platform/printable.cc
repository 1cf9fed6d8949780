#include "platform/printable.h"

#include <cstddef>

#include "platform/characters.h"

namespace upstest::platform {

namespace {

bool IsC0Control(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }
bool IsC1Byte(unsigned char c) { return c >= 0x80 && c <= 0x9f; }

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = CharacterLength(text, at);
    const auto lead = static_cast<unsigned char>(text[at]);
    if (length == 1) {
      // ASCII, or a byte that is no part of a UTF-8 sequence: a C1 control
      // in a one-byte character set.
      shown += IsC0Control(lead) || IsC1Byte(lead) ? '?' : text[at];
    } else if (lead == 0xc2 && IsC1Byte(static_cast<unsigned char>(text[at + 1]))) {
      shown += '?';  // U+0080 to U+009F
    } else {
      shown.append(text.substr(at, length));
    }
    at += length;
  }
  return shown;
}

std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = CharacterLength(text, at);
    const bool lone = length == 1 && static_cast<unsigned char>(text[at]) >= 0x80;
    valid.append(lone ? "\xEF\xBF\xBD" : text.substr(at, length));
    at += length;
  }
  return valid;
}

}  // namespace upstest::platform
