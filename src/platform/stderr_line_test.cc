#include "platform/stderr_line.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace upstest::platform {
namespace {

// Lines at the limit stay whole; longer ones end "..." within it, never in
// the middle of a character (here a 2-octet "ä" and a 4-octet emoji at the
// cut).
TEST(StderrLine, LongLinesAreCutAtACharacterWithAMarker) {
  const std::string longest(kLongestStderrLine, 'a');
  const size_t keep = kLongestStderrLine - 3;  // the marker's room
  const std::string emoji = "\xf0\x9f\x94\x8b";
  const std::pair<std::string, std::string> cases[] = {
      {longest, longest},
      {longest + "b", std::string(keep, 'a') + "..."},
      {std::string(keep - 1, 'a') + "\xc3\xa4" + longest, std::string(keep - 1, 'a') + "..."},
      {std::string(keep - 2, 'a') + emoji + longest, std::string(keep - 2, 'a') + "..."},
      {std::string(keep - 4, 'a') + emoji + longest, std::string(keep - 4, 'a') + emoji + "..."},
  };
  for (const auto& [line, written] : cases) EXPECT_EQ(CutStderrLine(line), written);
  EXPECT_EQ(CutStderrLine(std::string(1 << 20, 'x')).size(), kLongestStderrLine);
}

}  // namespace
}  // namespace upstest::platform
