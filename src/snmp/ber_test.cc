#include "snmp/ber.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

namespace upstest::snmp::ber {
namespace {

using ::testing::HasSubstr;

std::string Bytes(std::initializer_list<int> octets) {
  std::string out;
  for (int o : octets) out.push_back(static_cast<char>(o));
  return out;
}

std::string DecodeFailure(std::string_view data, uint8_t tag = kInteger) {
  try {
    Reader reader(data, true);
    reader.Expect(tag, "value");
    reader.ExpectEnd("the value");
  } catch (const DecodeError& e) {
    return e.what();
  }
  return "";
}

TEST(BerLength, ShortAndLongFormsAtTheirBoundaries) {
  struct Case {
    size_t length;
    std::string header;
  } cases[] = {{0, Bytes({0x00})},
               {127, Bytes({0x7f})},
               {128, Bytes({0x81, 0x80})},
               {255, Bytes({0x81, 0xff})},
               {256, Bytes({0x82, 0x01, 0x00})},
               {65535, Bytes({0x82, 0xff, 0xff})},
               {65536, Bytes({0x83, 0x01, 0x00, 0x00})}};
  for (const Case& c : cases) {
    const std::string content(c.length, 'x');
    const std::string tlv = Tlv(kOctetString, content);
    EXPECT_EQ(tlv.substr(1, c.header.size()), c.header) << c.length;
    EXPECT_EQ(tlv.size(), 1 + c.header.size() + c.length);
    Reader reader(tlv, true);
    const Element e = reader.Expect(kOctetString, "string");
    EXPECT_EQ(e.content.size(), c.length);
    EXPECT_TRUE(reader.AtEnd());
  }
}

TEST(BerLength, RejectsIndefiniteOverlongAndShortData) {
  EXPECT_THAT(DecodeFailure(Bytes({0x30, 0x80, 0x00, 0x00}), kSequence),
              HasSubstr("indefinite length"));
  EXPECT_THAT(DecodeFailure(Bytes({0x02, 0x85, 0, 0, 0, 0, 1, 5})),
              HasSubstr("length field of 5 octets"));
  EXPECT_THAT(DecodeFailure(Bytes({0x02, 0x82, 0x01})), HasSubstr("length field runs past"));
  EXPECT_THAT(DecodeFailure(Bytes({0x02, 0x84, 0xff, 0xff, 0xff, 0xff, 1})),
              HasSubstr("length 4294967295 runs past the datagram (1 octets left)"));
  EXPECT_THAT(DecodeFailure(Bytes({0x02, 0x02, 0x01})), HasSubstr("length 2 runs past"));
  EXPECT_THAT(DecodeFailure(Bytes({0x02})), HasSubstr("length missing"));
  EXPECT_THAT(DecodeFailure(""), HasSubstr("missing"));
  EXPECT_THAT(DecodeFailure(Bytes({0x1f, 0x01, 0x00})), HasSubstr("multi-octet tag"));
  EXPECT_THAT(DecodeFailure(Bytes({0x02, 0x01, 0x05, 0x00})), HasSubstr("1 trailing octets"));
  EXPECT_THAT(DecodeFailure(Bytes({0x04, 0x01, 0x05})), HasSubstr("tag 0x04 where 0x02"));
  // A long form with redundant zero octets is still a definite length.
  const std::string padded = Bytes({0x02, 0x82, 0x00, 0x01, 0x07});
  Reader reader(padded, true);
  EXPECT_EQ(DecodeSigned(reader.Expect(kInteger, "n").content, 32, "n"), 7);
}

TEST(BerInteger, SignedBoundariesRoundTrip) {
  struct Case {
    int64_t value;
    std::string content;
  } cases[] = {{0, Bytes({0x00})},
               {-1, Bytes({0xff})},
               {127, Bytes({0x7f})},
               {128, Bytes({0x00, 0x80})},
               {-128, Bytes({0x80})},
               {-129, Bytes({0xff, 0x7f})},
               {255, Bytes({0x00, 0xff})},
               {256, Bytes({0x01, 0x00})},
               {32767, Bytes({0x7f, 0xff})},
               {32768, Bytes({0x00, 0x80, 0x00})},
               {2147483647, Bytes({0x7f, 0xff, 0xff, 0xff})},
               {-2147483648LL, Bytes({0x80, 0x00, 0x00, 0x00})},
               {std::numeric_limits<int64_t>::min(), Bytes({0x80, 0, 0, 0, 0, 0, 0, 0})}};
  for (const Case& c : cases) {
    const std::string tlv = EncodeSigned(c.value);
    EXPECT_EQ(tlv, Tlv(kInteger, c.content)) << c.value;
    EXPECT_EQ(DecodeSigned(c.content, 64, "n"), c.value);
    if (c.content.size() <= 4) {
      EXPECT_EQ(DecodeSigned(c.content, 32, "n"), c.value);
    }
  }
}

TEST(BerInteger, RejectsEmptyAndTooWide) {
  EXPECT_THROW(DecodeSigned("", 32, "n"), DecodeError);
  try {
    DecodeSigned(Bytes({0x00, 0x80, 0x00, 0x00, 0x00}), 32, "request-id");
    FAIL() << "2^31 accepted as a 32-bit INTEGER";
  } catch (const DecodeError& e) {
    EXPECT_THAT(e.what(), HasSubstr("request-id: integer of 5 octets too wide for 32 bits"));
  }
}

TEST(BerUnsigned, BoundariesOf32And64Bits) {
  EXPECT_EQ(EncodeUnsigned(0, kCounter32), Bytes({0x41, 0x01, 0x00}));
  EXPECT_EQ(EncodeUnsigned(127, kGauge32), Bytes({0x42, 0x01, 0x7f}));
  EXPECT_EQ(EncodeUnsigned(128, kTimeTicks), Bytes({0x43, 0x02, 0x00, 0x80}));
  EXPECT_EQ(EncodeUnsigned(4294967295u, kCounter32),
            Bytes({0x41, 0x05, 0, 0xff, 0xff, 0xff, 0xff}));
  EXPECT_EQ(EncodeUnsigned(std::numeric_limits<uint64_t>::max(), kCounter64),
            Bytes({0x46, 0x09, 0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}));
  EXPECT_EQ(DecodeUnsigned(Bytes({0, 0xff, 0xff, 0xff, 0xff}), 32, "c"), 4294967295u);
  EXPECT_EQ(DecodeUnsigned(Bytes({0x7f, 0xff, 0xff, 0xff}), 32, "c"), 2147483647u);
  EXPECT_EQ(DecodeUnsigned(Bytes({0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), 64, "c"),
            std::numeric_limits<uint64_t>::max());
  // 2^32 in a Counter32, a sixth octet, a negative value.
  EXPECT_THROW(DecodeUnsigned(Bytes({0x01, 0, 0, 0, 0}), 32, "c"), DecodeError);
  EXPECT_THROW(DecodeUnsigned(Bytes({0, 0, 0, 0, 0, 1}), 32, "c"), DecodeError);
  EXPECT_THROW(DecodeUnsigned(Bytes({0x01, 0, 0, 0, 0, 0, 0, 0, 0}), 64, "c"), DecodeError);
  try {
    DecodeUnsigned(Bytes({0xff}), 32, "c");
    FAIL();
  } catch (const DecodeError& e) {
    EXPECT_THAT(e.what(), HasSubstr("negative value"));
  }
}

TEST(BerOid, ArcBoundariesRoundTrip) {
  struct Case {
    uint32_t arc;
    std::string encoded;
  } cases[] = {{0, Bytes({0x00})},
               {127, Bytes({0x7f})},
               {128, Bytes({0x81, 0x00})},
               {16383, Bytes({0xff, 0x7f})},
               {16384, Bytes({0x81, 0x80, 0x00})},
               {4294967295u, Bytes({0x8f, 0xff, 0xff, 0xff, 0x7f})}};
  for (const Case& c : cases) {
    const std::string dotted = "1.3.6." + std::to_string(c.arc);
    const std::string tlv = EncodeOid(dotted);
    EXPECT_EQ(tlv, Tlv(kObjectId, Bytes({0x2b, 0x06}) + c.encoded)) << dotted;
    EXPECT_EQ(DecodeOid(tlv.substr(2), "oid"), dotted);
  }
  EXPECT_EQ(EncodeOid(".1.3.6.1"), EncodeOid("1.3.6.1"));
  EXPECT_EQ(DecodeOid(EncodeOid("2.999.3").substr(2), "oid"), "2.999.3");
  EXPECT_EQ(DecodeOid(EncodeOid("0.39").substr(2), "oid"), "0.39");
  EXPECT_EQ(DecodeOid(EncodeOid("1.0").substr(2), "oid"), "1.0");
}

TEST(BerOid, RejectsBadTextAndBadContent) {
  for (const char* bad :
       {"", ".", "1", "1..3", "1.3.", "3.1", "1.40", "1.3.x", "1.3.-1", "1.3.4294967296", " 1.3"}) {
    EXPECT_THROW(EncodeOid(bad), platform::Failure) << bad;
  }
  std::string long_oid = "1.3";
  for (int i = 0; i < 126; ++i) long_oid += ".1";
  EXPECT_NO_THROW(EncodeOid(long_oid));
  EXPECT_THROW(EncodeOid(long_oid + ".1"), platform::Failure);

  EXPECT_THROW(DecodeOid("", "oid"), DecodeError);
  try {
    DecodeOid(Bytes({0x2b, 0x90, 0x80, 0x80, 0x80, 0x00}), "oid");  // 2^32
    FAIL();
  } catch (const DecodeError& e) {
    EXPECT_THAT(e.what(), HasSubstr("sub-identifier over 32 bits"));
  }
  EXPECT_THROW(DecodeOid(Bytes({0x2b, 0x86}), "oid"), DecodeError);        // cut off
  EXPECT_THROW(DecodeOid(Bytes({0x2b, 0x80, 0x01}), "oid"), DecodeError);  // not shortest
  EXPECT_THROW(DecodeOid(std::string(130, '\x01'), "oid"), DecodeError);   // 131 arcs
}

TEST(BerIpAddress, ExactlyFourOctets) {
  EXPECT_EQ(DecodeIpAddress(Bytes({192, 0, 2, 255}), "a"), "192.0.2.255");
  EXPECT_THROW(DecodeIpAddress(Bytes({192, 0, 2}), "a"), DecodeError);
  EXPECT_THROW(DecodeIpAddress(Bytes({192, 0, 2, 1, 1}), "a"), DecodeError);
}

}  // namespace
}  // namespace upstest::snmp::ber
