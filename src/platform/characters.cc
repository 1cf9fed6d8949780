#include "platform/characters.h"

namespace upstest::platform {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xc0) == 0x80; }

}  // namespace

size_t CharacterLength(std::string_view text, size_t at) {
  if (at >= text.size()) return 0;
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = 1;
  // The lowest second byte that is not overlong, and the highest that stays
  // below the surrogates (for E0-EF) or U+10FFFF (for F0-F4).
  unsigned char low = 0x80, high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  } else {
    return 1;  // ASCII, or a byte that cannot start a sequence
  }
  if (text.size() - at < length) return 1;
  const auto second = static_cast<unsigned char>(text[at + 1]);
  if (second < low || second > high) return 1;
  for (size_t i = 2; i < length; ++i) {
    if (!IsContinuation(static_cast<unsigned char>(text[at + i]))) return 1;
  }
  return length;
}

size_t CharacterCount(std::string_view text) {
  size_t count = 0;
  for (size_t at = 0; at < text.size(); at += CharacterLength(text, at)) ++count;
  return count;
}

}  // namespace upstest::platform
