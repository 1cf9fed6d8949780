#include "cmdline/split_args.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The limit counts characters: a multi-byte UTF-8 character is one, a
// byte outside any sequence is one too.
TEST(SplitArgsTest, TheLengthLimitCountsCharactersNotBytes) {
  const std::string umlaut = "\xc3\xa4";
  std::string longest;
  for (int i = 0; i < 32766; ++i) longest += umlaut;  // 65532 bytes
  EXPECT_EQ(Split(longest)[0], longest);
  std::string one_more = longest + "\xff";  // a stray byte counts as one
  try {
    Split(one_more);
    ADD_FAILURE() << "32767 characters did not overflow";
  } catch (const platform::Failure& e) {
    EXPECT_STREQ(e.what(),
                 "Overflow: an argument text of 32767 characters does not fit in 16 bits");
  }
}

// Seven arguments are the fields as they stand; any other number is split
// from the rebuilt text.
TEST(TakeFieldsTest, SevenArgumentsAreTakenAsTheyStand) {
  const std::vector<std::string> seven = {"19\" Rack UPS",
                                          "17",
                                          "5",
                                          "upsEstimatedMinutesRemaining>10",
                                          "upsBatteryVoltage|200-250",
                                          "upsBatteryTemperature<40",
                                          "entPhySensorValue<35"};
  const std::string text =
      "\"19\" Rack UPS\" 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
      "upsBatteryTemperature<40 entPhySensorValue<35";
  EXPECT_EQ(
      TakeFields(text, seven),
      (Fields{"19\" Rack UPS", "17", "5", "upsEstimatedMinutesRemaining>10",
              "upsBatteryVoltage|200-250", "upsBatteryTemperature<40", "entPhySensorValue<35"}));
  // A name built to smuggle in another node stays one name.
  const std::vector<std::string> smuggled = {
      "a\" 99 5 w x y z \"x", "17", "5", "o1", "o2", "o3", "o4"};
  EXPECT_EQ(TakeFields("ignored", smuggled)[0], "a\" 99 5 w x y z \"x");
  EXPECT_EQ(TakeFields("ignored", smuggled)[1], "17");
  // An empty argument stays an empty field.
  EXPECT_EQ(TakeFields("", {"n", "", "5", "a", "b", "c", "d"})[1], "");

  // Six or eight arguments, or none: the text is split.
  EXPECT_EQ(TakeFields("a \"b c\" d e f g h i", {"a", "b c", "d", "e", "f", "g", "h", "i"}),
            (Fields{"a", "b c", "d", "e", "f", "g", "h i"}));
  EXPECT_EQ(TakeFields("1 2 3 4 5 6 7 8", {}), (Fields{"1", "2", "3", "4", "5", "6", "7 8"}));
  EXPECT_EQ(TakeFields("1 2", {"1", "2"}), (Fields{"1", "2", "", "", "", "", ""}));

  // The length limit holds for seven arguments too.
  EXPECT_THROW(TakeFields(std::string(32767, 'a'), seven), platform::Failure);
}

}  // namespace
}  // namespace upstest::cmdline
