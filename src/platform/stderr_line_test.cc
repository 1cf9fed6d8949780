#include "platform/stderr_line.h"

#include <gtest/gtest.h>

#include <string>

namespace upstest::platform {
namespace {

// Lines at the limit stay whole; longer ones end "..." within it, never in
// the middle of a character (here a 2-octet "ä" and a 4-octet emoji at the
// cut).
TEST(StderrLine, LongLinesAreCutAtACharacterWithAMarker) {
  const std::string longest(kLongestStderrLine, 'a');
  EXPECT_EQ(CutStderrLine(longest), longest);
  EXPECT_EQ(CutStderrLine(""), "");
  const size_t keep = kLongestStderrLine - 3;
  EXPECT_EQ(CutStderrLine(longest + "b"), std::string(keep, 'a') + "...");
  EXPECT_EQ(CutStderrLine(std::string(1 << 20, 'x')).size(), kLongestStderrLine);
  const std::string two = std::string(keep - 1, 'a') + "\xc3\xa4" + longest;
  EXPECT_EQ(CutStderrLine(two), std::string(keep - 1, 'a') + "...");
  const std::string four = std::string(keep - 2, 'a') + "\xf0\x9f\x94\x8b" + longest;
  EXPECT_EQ(CutStderrLine(four), std::string(keep - 2, 'a') + "...");
  const std::string whole = std::string(keep - 4, 'a') + "\xf0\x9f\x94\x8b" + longest;
  EXPECT_EQ(CutStderrLine(whole), std::string(keep - 4, 'a') + "\xf0\x9f\x94\x8b...");
}

}  // namespace
}  // namespace upstest::platform
