#include "store/value.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace upstest::store {
namespace {

TEST(ValueAsText, EveryKind) {
  EXPECT_EQ(Value::Text("public").AsText(), "public");
  EXPECT_EQ(Value::Integer(2).AsText(), "2");
  EXPECT_EQ(Value::Integer(-7).AsText(), "-7");
  EXPECT_EQ(Value::Floating(2.0).AsText(), "2");
  EXPECT_EQ(Value::Floating(161.5).AsText(), "161.5");
  EXPECT_EQ(Value::Floating(0.1).AsText(), "0.1");
  EXPECT_EQ(Value::Boolean(true).AsText(), "True");
  EXPECT_EQ(Value::Date({2026, 3, 4, 5, 6, 7}).AsText(), "2026-03-04 05:06:07");
  EXPECT_THROW(Value().AsText(), platform::Failure);
}

TEST(ValueAsInteger, RoundingRangesAndFailures) {
  EXPECT_EQ(Value::Floating(161.5).AsInt32(), 162);
  EXPECT_EQ(Value::Floating(160.5).AsInt32(), 160);
  EXPECT_EQ(Value::Text(" 161.5 ").AsInt32(), 162);
  EXPECT_EQ(Value::Text("160.5").AsInt32(), 160);
  EXPECT_EQ(Value::Integer(2147483647).AsInt32(), 2147483647);
  EXPECT_THROW(Value::Integer(2147483648).AsInt32(), platform::Failure);
  EXPECT_EQ(Value::Integer(-32768).AsInt16(), -32768);
  EXPECT_THROW(Value::Integer(40000).AsInt16(), platform::Failure);
  EXPECT_THROW(Value::Floating(32767.5).AsInt16(), platform::Failure);
  EXPECT_THROW(Value::Text("40000").AsInt16(), platform::Failure);
  EXPECT_THROW(Value::Text("abc").AsInt32(), platform::Failure);
  EXPECT_THROW(Value::Text("").AsInt32(), platform::Failure);
  EXPECT_THROW(Value().AsInt32(), platform::Failure);
  EXPECT_THROW(Value::Date({2026, 1, 1, 0, 0, 0}).AsInt32(), platform::Failure);
  EXPECT_EQ(Value::Boolean(true).AsInt16(), -1);
}

// A text past kLongestText is kept cut and fails as text and as a number
// (the digits it lost could have made another number).
TEST(ValueLongestText, ATextPastTheLongestIsKeptCutAndFails) {
  EXPECT_EQ(Value::Text(std::string(kLongestText, '7')).AsText().size(), kLongestText);
  const Value v = Value::Text(std::string(1 << 20, '0') + "1");
  EXPECT_TRUE(v.data() == Value::Data(std::string(kLongestText + 1, '0')));
  EXPECT_THROW(v.AsText(), platform::Failure);
  EXPECT_THROW(v.AsInt32(), platform::Failure);
  EXPECT_THROW(v.AsInt16(), platform::Failure);
  EXPECT_FALSE(v.AsBool());
}

TEST(ValueAsBool, NumbersTextsAndNull) {
  EXPECT_FALSE(Value().AsBool());
  EXPECT_TRUE(Value::Integer(-1).AsBool());
  EXPECT_TRUE(Value::Integer(5).AsBool());
  EXPECT_FALSE(Value::Integer(0).AsBool());
  EXPECT_TRUE(Value::Floating(0.5).AsBool());
  for (const char* t : {"-1", "1", "true", "TRUE", "Yes", "yEs"}) {
    EXPECT_TRUE(Value::Text(t).AsBool()) << t;
  }
  for (const char* t : {"0", "false", "no", "", "2", "true "}) {
    EXPECT_FALSE(Value::Text(t).AsBool()) << t;
  }
  EXPECT_FALSE(Value::Text(std::string("yes\0x", 5)).AsBool());
}

TEST(OleDate, DaysTimeAndSign) {
  EXPECT_EQ(FormatDate(FromOleDate(0.0)), "1899-12-30 00:00:00");
  EXPECT_EQ(FormatDate(FromOleDate(2.5)), "1900-01-01 12:00:00");
  // The fraction is the time of day also before 1899-12-30.
  EXPECT_EQ(FormatDate(FromOleDate(-1.25)), "1899-12-29 06:00:00");
  EXPECT_EQ(FormatDate(FromOleDate(44532.0)), "2021-12-02 00:00:00");
  EXPECT_EQ(FormatDate(FromOleDate(2958465.0)), "9999-12-31 00:00:00");
  EXPECT_EQ(FormatDate(FromOleDate(-657434.0)), "0100-01-01 00:00:00");
  // A time that rounds up to midnight moves to the next day.
  EXPECT_EQ(FormatDate(FromOleDate(1.0 - 1e-9)), "1899-12-31 00:00:00");
  EXPECT_THROW(FromOleDate(1e300), platform::Failure);
  EXPECT_THROW(FromOleDate(-1e9), platform::Failure);
  EXPECT_THROW(FromOleDate(std::numeric_limits<double>::quiet_NaN()), platform::Failure);
}

}  // namespace
}  // namespace upstest::store
