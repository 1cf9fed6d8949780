#include "platform/convert.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/error.h"

namespace upstest::platform {
namespace {

TEST(ConvertTest, AcceptsSignedDecimalsWithBlanks) {
  EXPECT_EQ(ToInt32("25"), 25);
  EXPECT_EQ(ToInt32(" 25 "), 25);
  EXPECT_EQ(ToInt32("\t-7"), -7);
  EXPECT_EQ(ToInt32("+3"), 3);
  EXPECT_EQ(ToInt32("5."), 5);
  EXPECT_EQ(ToInt32(".5"), 0);
  EXPECT_EQ(ToInt32("0007"), 7);
}

TEST(ConvertTest, RoundsHalfToEvenOnTheDecimalDigits) {
  EXPECT_EQ(ToInt32("2.5"), 2);
  EXPECT_EQ(ToInt32("3.5"), 4);
  EXPECT_EQ(ToInt32("-2.5"), -2);
  EXPECT_EQ(ToInt32("-3.5"), -4);
  EXPECT_EQ(ToInt32("161.5"), 162);
  EXPECT_EQ(ToInt32("160.5"), 160);
  EXPECT_EQ(ToInt32("2.50000000000000000001"), 3);
  EXPECT_EQ(ToInt32("2.4999999999999999999"), 2);
  EXPECT_EQ(ToInt32("2.51"), 3);
}

TEST(ConvertTest, RangeLimits) {
  EXPECT_EQ(ToInt32("2147483647"), 2147483647);
  EXPECT_EQ(ToInt32("-2147483648"), INT32_MIN);
  EXPECT_EQ(ToInt32("2147483646.5"), 2147483646);
  EXPECT_EQ(ToInt16("32767"), 32767);
  EXPECT_EQ(ToInt16("-32768"), -32768);
  EXPECT_EQ(ToInt16("-32768.5"), -32768);
}

TEST(ConvertTest, FailuresCarryTheirDescription) {
  auto description = [](auto f) {
    try {
      f();
    } catch (const Failure& e) {
      return std::string(e.what());
    }
    return std::string("no failure");
  };
  EXPECT_EQ(description([] { ToInt32("abc"); }), "Type mismatch: 'abc' is not a number");
  EXPECT_EQ(description([] { ToInt32(""); }), "Type mismatch: '' is not a number");
  EXPECT_EQ(description([] { ToInt16("40000"); }), "Overflow: 40000 does not fit in 16 bits");
  EXPECT_EQ(description([] { ToInt32("2147483648"); }),
            "Overflow: 2147483648 does not fit in 32 bits");
  EXPECT_EQ(description([] { ToInt32("2147483647.5"); }),
            "Overflow: 2147483647.5 does not fit in 32 bits");
  EXPECT_EQ(description([] { ToInt32("99999999999999999999999"); }),
            "Overflow: 99999999999999999999999 does not fit in 32 bits");
  for (const char* bad : {"-", "+", ".", "1e3", "1,000", "- 5", "5-", "0x10", "1 2", "--1"}) {
    EXPECT_THROW(ToInt32(bad), Failure) << bad;
  }
}

TEST(ConvertTest, RoundsDoubles) {
  EXPECT_EQ(RoundToInt32(161.5), 162);
  EXPECT_EQ(RoundToInt32(160.5), 160);
  EXPECT_EQ(RoundToInt32(-0.5), 0);
  EXPECT_EQ(RoundToInt32(2147483647.4), 2147483647);
  EXPECT_EQ(RoundToInt32(-2147483648.5), INT32_MIN);
  EXPECT_THROW(RoundToInt32(2147483647.5), Failure);
  EXPECT_THROW(RoundToInt16(32767.5), Failure);
  EXPECT_EQ(RoundToInt16(-32768.4), -32768);
  EXPECT_THROW(RoundToInt32(std::nan("")), Failure);
}

}  // namespace
}  // namespace upstest::platform
