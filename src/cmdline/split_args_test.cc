#include "cmdline/split_args.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"

namespace upstest::cmdline {
namespace {

Fields Split(std::string_view text) {
  Fields fields{};
  SplitArgs(text, fields);
  return fields;
}

TEST(SplitArgsTest, EmptyTextLeavesEveryFieldEmpty) { EXPECT_EQ(Split(""), Fields{}); }

TEST(SplitArgsTest, OneWordPerFieldAndTheRestInFieldSeven) {
  EXPECT_EQ(Split("a b c d e f g"), (Fields{"a", "b", "c", "d", "e", "f", "g"}));
  EXPECT_EQ(Split("a b c d e f g h"), (Fields{"a", "b", "c", "d", "e", "f", "g h"}));
  EXPECT_EQ(Split("a b c d e f g\th  i"), (Fields{"a", "b", "c", "d", "e", "f", "g\th  i"}));
}

TEST(SplitArgsTest, SeparatorsAreNotMerged) {
  EXPECT_EQ(Split("a b c  d e f g"), (Fields{"a", "b", "c", "", "d", "e", "f g"}));
  EXPECT_EQ(Split(" a"), (Fields{"", "a", "", "", "", "", ""}));
  EXPECT_EQ(Split("a  "), (Fields{"a", "", "", "", "", "", ""}));
}

TEST(SplitArgsTest, TabSeparatesLikeABlankOtherWhiteSpaceDoesNot) {
  EXPECT_EQ(Split("a\tb"), (Fields{"a", "b", "", "", "", "", ""}));
  EXPECT_EQ(Split("a\rb\nc\xc2\xa0"
                  "d"),
            (Fields{"a\rb\nc\xc2\xa0"
                    "d",
                    "", "", "", "", "", ""}));
}

TEST(SplitArgsTest, TrailingSeparatorAfterSevenOrSixWords) {
  EXPECT_EQ(Split("a b c d e f g "), (Fields{"a", "b", "c", "d", "e", "f", "g "}));
  EXPECT_EQ(Split("a b c d e f "), (Fields{"a", "b", "c", "d", "e", "f", ""}));
}

TEST(SplitArgsTest, QuotesGroupAndAreDropped) {
  EXPECT_EQ(Split("\"Main UPS\" 17"), (Fields{"Main UPS", "17", "", "", "", "", ""}));
  EXPECT_EQ(Split("a \"\" b"), (Fields{"a", "", "b", "", "", "", ""}));
  EXPECT_EQ(Split("a\" b\"c d"), (Fields{"a bc", "d", "", "", "", "", ""}));
  EXPECT_EQ(Split("a\tb\"\t\"c"), (Fields{"a", "b\tc", "", "", "", "", ""}));
  // In field 7 the quotes are still dropped.
  EXPECT_EQ(Split("a b c d e f \"g\" \"h\""), (Fields{"a", "b", "c", "d", "e", "f", "g h"}));
}

TEST(SplitArgsTest, UnclosedQuoteTakesTheRestIntoTheCurrentField) {
  EXPECT_EQ(Split("a \"b c d e f g h"), (Fields{"a", "b c d e f g h", "", "", "", "", ""}));
}

TEST(SplitArgsTest, AppendsToWhatTheFieldsHold) {
  Fields fields{"x", "", "", "", "", "", "y"};
  SplitArgs("1 2 3 4 5 6 7", fields);
  EXPECT_EQ(fields, (Fields{"x1", "2", "3", "4", "5", "6", "y7"}));
}

TEST(SplitArgsTest, TextsOf32767CharactersOrMoreOverflow) {
  const std::string longest(32766, 'a');
  EXPECT_EQ(Split(longest)[0], longest);
  for (const size_t size : {size_t{32767}, size_t{40000}}) {
    Fields fields{};
    try {
      SplitArgs(std::string(size, ' '), fields);
      ADD_FAILURE() << size << " characters did not overflow";
    } catch (const platform::Failure& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Overflow", 0), 0u) << e.what();
    }
    EXPECT_EQ(fields, Fields{}) << "nothing is split before the overflow";
  }
}

}  // namespace
}  // namespace upstest::cmdline
