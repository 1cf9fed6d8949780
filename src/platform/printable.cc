#include "platform/printable.h"

#include <cstddef>

namespace upstest::platform {

namespace {

unsigned char Byte(std::string_view text, size_t i) { return static_cast<unsigned char>(text[i]); }

// The length (2 to 4) of the valid UTF-8 sequence that begins at text[i],
// or 0 when none does (a stray continuation byte, an overlong form, a
// surrogate, a code point past U+10FFFF, a sequence cut short).
size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const unsigned char lead = Byte(text, i);
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  if (Byte(text, i + 1) < low || Byte(text, i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (Byte(text, i + k) < 0x80 || Byte(text, i + k) > 0xBF) return 0;
  }
  return length;
}

bool IsC0Control(unsigned char c) { return (c < 0x20 && c != '\t') || c == 0x7f; }
bool IsC1Byte(unsigned char c) { return c >= 0x80 && c <= 0x9f; }

}  // namespace

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = Byte(text, i);
    if (c < 0x80) {
      shown += IsC0Control(c) ? '?' : static_cast<char>(c);
      ++i;
      continue;
    }
    const size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      shown += IsC1Byte(c) ? '?' : static_cast<char>(c);
      ++i;
    } else if (c == 0xC2 && IsC1Byte(Byte(text, i + 1))) {
      shown += '?';  // U+0080 to U+009F
      i += 2;
    } else {
      shown.append(text.substr(i, length));
      i += length;
    }
  }
  return shown;
}

std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t length = Byte(text, i) < 0x80 ? 1 : Utf8SequenceLength(text, i);
    valid.append(length == 0 ? "\xEF\xBF\xBD" : text.substr(i, length));
    i += length == 0 ? 1 : length;
  }
  return valid;
}

}  // namespace upstest::platform
