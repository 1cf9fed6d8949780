// The bytes between upstest and its database helper: records, requests,
// answers and frames, each decoded back and each malformed form refused
// with its own text.
#include "store/helper_wire.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace upstest::store {
namespace {

std::string FailureOf(void (*decode)(std::string_view), std::string_view bytes) {
  try {
    decode(bytes);
  } catch (const platform::Failure& e) {
    return e.what();
  }
  return "(decoded)";
}

TEST(HelperWire, RecordsRoundTripWithEveryKindOfValue) {
  FirstRecord record;
  record.has_columns = true;
  record.eof = false;
  record.names = {"a", "", "Umsätze", "d", "e", "f"};
  record.values = {Value(),
                   Value::Text(std::string("x\0y", 3)),
                   Value::Integer(-9223372036854775807LL - 1),
                   Value::Floating(161.5),
                   Value::Boolean(true),
                   Value::Date({1898, 12, 30, 23, 59, 58})};
  const FirstRecord back = DecodeRecord(EncodeRecord(record));
  EXPECT_TRUE(back.has_columns);
  EXPECT_FALSE(back.eof);
  EXPECT_EQ(back.names, record.names);
  ASSERT_EQ(back.values.size(), record.values.size());
  for (size_t i = 0; i < record.values.size(); ++i) {
    EXPECT_EQ(back.values[i].data(), record.values[i].data()) << i;
  }
}

// A text past kLongestText from a sender that did not cut it arrives cut:
// has_columns, eof, one name "a", one text value of 100000 octets.
TEST(HelperWire, ATextPastTheLongestArrivesCut) {
  std::string bytes("\1\0\1\0\0\0\1\0\0\0a\1\0\0\0\1", 16);
  bytes += EncodeFrame(std::string(100000, 'x'));  // a text goes as a frame does
  const FirstRecord back = DecodeRecord(bytes);
  ASSERT_EQ(back.values.size(), 1u);
  EXPECT_TRUE(back.values[0].data() == Value::Data(std::string(kLongestText + 1, 'x')));
}

TEST(HelperWire, EveryCutAndAnyTrailingOctetIsMalformed) {
  FirstRecord record;
  record.has_columns = true;
  record.eof = false;
  record.names = {"address", "status"};
  record.values = {Value::Text("10.0.0.1"), Value::Integer(5)};
  const std::string bytes = EncodeRecord(record);
  for (size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_THROW(DecodeRecord(bytes.substr(0, n)), platform::Failure) << n;
  }
  EXPECT_THROW(DecodeRecord(bytes + "x"), platform::Failure);
  // A count far beyond the octets present fails before anything is built.
  std::string huge = bytes.substr(0, 2) + std::string("\xff\xff\xff\x7f", 4);
  EXPECT_THROW(DecodeRecord(huge), platform::Failure);
}

TEST(HelperWire, RequestsAndAnswersRoundTripAndMalformedOnesAreNamed) {
  const HelperRequest open = DecodeRequest(EncodeOpenRequest(kHelperOdbc, 7, "Driver=x;a=;"));
  EXPECT_EQ(open.kind, kHelperOdbc);
  EXPECT_EQ(open.timeout_s, 7);
  EXPECT_EQ(open.text, "Driver=x;a=;");
  const HelperRequest table = DecodeRequest(EncodeStatementRequest(kHelperTable, "ATR_Nodes"));
  EXPECT_EQ(table.kind, kHelperTable);
  EXPECT_EQ(table.text, "ATR_Nodes");
  const HelperAnswer ok = DecodeAnswer(EncodeAnswer(3, std::string("r\0c", 3)));
  EXPECT_FALSE(ok.failure.has_value());
  EXPECT_EQ(ok.error_count, 3);
  EXPECT_EQ(ok.record, std::string("r\0c", 3));
  EXPECT_EQ(DecodeAnswer(EncodeFailedAnswer("no such table: x")).failure, "no such table: x");
  EXPECT_EQ(EncodeFrame("abc"), std::string("\x03\x00\x00\x00"
                                            "abc",
                                            7));
  EXPECT_EQ(DecodeFrameLength(EncodeFrame(std::string(300, 'x')).substr(0, 4)), 300u);

  const auto request = [](std::string_view b) { DecodeRequest(b); };
  const auto answer = [](std::string_view b) { DecodeAnswer(b); };
  const auto frame = [](std::string_view b) { DecodeFrameLength(b); };
  const std::string cut = "database helper: answer cut short";
  const std::vector<std::pair<std::string, std::string>> requests = {
      {"", "database helper: empty request"},    {"Z", "database helper: unknown request"},
      {"K", "database helper: unknown request"}, {"A", cut},
      {std::string("D\x05\x00\x00", 4), cut},
  };
  for (const auto& [bytes, text] : requests) EXPECT_EQ(FailureOf(request, bytes), text) << bytes;
  const std::string failed = EncodeFailedAnswer("gone");
  for (size_t n = 0; n < failed.size(); ++n) {
    EXPECT_EQ(FailureOf(answer, failed.substr(0, n)), cut) << n;
  }
  EXPECT_EQ(FailureOf(answer, std::string("K\x01\x00\x00", 4)), cut);
  EXPECT_EQ(FailureOf(answer, "Z"), "database helper: malformed answer");
  EXPECT_EQ(FailureOf(frame, EncodeFrame(std::string(3, 'x')).substr(0, 3)), cut);
  // A header is the length as the frame of that many octets begins.
  const auto header = [](uint32_t n) { return EncodeFrame(std::string(n, '\0')).substr(0, 4); };
  EXPECT_EQ(DecodeFrameLength(header(kMaxHelperFrame)), kMaxHelperFrame);
  EXPECT_EQ(FailureOf(frame, header(kMaxHelperFrame + 1)), "database helper: frame too long");
}

}  // namespace
}  // namespace upstest::store
