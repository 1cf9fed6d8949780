#include "platform/printable.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace upstest::platform {
namespace {

// Every control character shows as one '?', whichever range and encoding
// it comes in; text in any script, and bytes that are no control, stay.
TEST(PrintableTest, ControlCharactersOfBothRangesShowAsQuestionMarks) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain text 123", "plain text 123"},
      {"a\tb", "a\tb"},
      {std::string("a\0b", 3), "a?b"},
      {"\x01\x1f\x7f", "???"},
      {"line\r\nforged", "line??forged"},
      // C1 as UTF-8: U+0080, U+0085 (NEL), U+009B (CSI), U+009F.
      {"\xc2\x80|\xc2\x85|\xc2\x9b[2J|\xc2\x9f", "?|?|?[2J|?"},
      // C1 as lone bytes (a one-byte character set), and stray
      // continuation bytes.
      {"\x9b[2J \x85 \x80\x9f", "?[2J ? ??"},
      // The neighbours of C1 in UTF-8 stay: U+00A0, U+00E4, U+0100.
      {"\xc2\xa0 \xc3\xa4 \xc4\x80", "\xc2\xa0 \xc3\xa4 \xc4\x80"},
      // Three- and four-byte characters whose later bytes lie in 0x80-0x9F.
      {"\xe2\x80\x94 \xe2\x82\xac \xf0\x9f\x98\x80", "\xe2\x80\x94 \xe2\x82\xac \xf0\x9f\x98\x80"},
      // Not UTF-8: an overlong NUL, a surrogate, a cut sequence; their C1
      // bytes are controls, the others stay.
      {"\xc0\x80", "\xc0?"},
      {"\xed\xa0\x80", "\xed\xa0?"},
      {"\xe2\x82", "\xe2?"},
      {"\xc2", "\xc2"},
      // Latin-1 text stays as it is.
      {"Geb\xe4ude", "Geb\xe4ude"},
  };
  for (const auto& [text, shown] : cases) EXPECT_EQ(Printable(text), shown) << text;
}

// Each byte outside a valid UTF-8 sequence becomes U+FFFD; valid text,
// controls included, stays.
TEST(PrintableTest, ValidUtf8ReplacesWhatIsNotUtf8) {
  EXPECT_EQ(ValidUtf8("a\n\xc3\xa4\xf0\x9f\x98\x80"), "a\n\xc3\xa4\xf0\x9f\x98\x80");
  EXPECT_EQ(ValidUtf8("\xff|\xc0\x80|\xed\xa0\x80|\xe2\x82"),
            "\uFFFD|\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD");
}

}  // namespace
}  // namespace upstest::platform
