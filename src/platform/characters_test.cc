#include "platform/characters.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace upstest::platform {
namespace {

// The lengths of the characters of `text`, in order.
std::vector<size_t> Lengths(std::string_view text) {
  std::vector<size_t> lengths;
  for (size_t at = 0; at < text.size(); at += lengths.back()) {
    lengths.push_back(CharacterLength(text, at));
  }
  return lengths;
}

TEST(CharactersTest, WellFormedSequencesAreOneCharacterEach) {
  EXPECT_EQ(Lengths("a<"), (std::vector<size_t>{1, 1}));
  EXPECT_EQ(Lengths("\xc3\xa4"), (std::vector<size_t>{2}));  // U+00E4
  EXPECT_EQ(Lengths("\xe2\x89\xa4"
                    "5"),
            (std::vector<size_t>{3, 1}));                                           // U+2264
  EXPECT_EQ(Lengths("\xf0\x9f\x94\x8b"), (std::vector<size_t>{4}));                 // U+1F50B
  EXPECT_EQ(Lengths("\xed\x9f\xbf\xf4\x8f\xbf\xbf"), (std::vector<size_t>{3, 4}));  // edges
  EXPECT_EQ(CharacterCount("USV Geb\xc3\xa4ude"), 11u);
  EXPECT_EQ(CharacterCount(""), 0u);
  EXPECT_EQ(CharacterLength("ab", 2), 0u);
}

TEST(CharactersTest, EveryByteOutsideAWellFormedSequenceIsACharacterOfItsOwn) {
  const struct {
    std::string text;
    std::vector<size_t> lengths;
  } cases[] = {
      {"\x80", {1}},         // a stray continuation byte
      {"\xff\xfe", {1, 1}},  // bytes that start nothing
      {"\xc3", {1}},         // cut off at the end
      {"\xe2\x89", {1, 1}},  // cut off after two of three
      {"\xe2\x89"
       "a",
       {1, 1, 1}},                         // broken by an ASCII byte
      {"\xc0\xaf", {1, 1}},                // overlong '/'
      {"\xe0\x80\xaf", {1, 1, 1}},         // overlong, three bytes
      {"\xf0\x80\x80\xaf", {1, 1, 1, 1}},  // overlong, four bytes
      {"\xed\xa0\x80", {1, 1, 1}},         // a surrogate
      {"\xf4\x90\x80\x80", {1, 1, 1, 1}},  // beyond U+10FFFF
      {"\xf5\x80\x80\x80", {1, 1, 1, 1}},  // a lead byte no sequence has
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Lengths(c.text), c.lengths) << ::testing::PrintToString(c.text);
  }
}

}  // namespace
}  // namespace upstest::platform
