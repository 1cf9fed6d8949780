#include "snmp/message.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "snmp/ber.h"

namespace upstest::snmp {
namespace {

using ::testing::HasSubstr;

std::string FromHex(std::string_view hex) {
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

const std::vector<std::string> kUpsOids = {"1.3.6.1.2.1.33.1.2.3.0", "1.3.6.1.2.1.33.1.3.3.1.3.1",
                                           "1.3.6.1.2.1.33.1.2.7.0", "1.3.6.1.2.1.99.1.1.1.4.1"};

// Captured from net-snmp 5.9.3:
//   snmpget -v1 -r0 -t1 -c public 127.0.0.1:<port> <the four UPS OIDs>
// (request-id 0x1b1c685d, chosen by snmpget).
constexpr std::string_view kSnmpgetV1 =
    "305e02010004067075626c6963a05102041b1c685d0201000201003043300e060a2b06010201210102030005"
    "003010060c2b06010201210103030103010500300e060a2b0601020121010207000500300f060b2b06010201"
    "6301010104010500";
// The same with -v2c (request-id 0x387dba0f).
constexpr std::string_view kSnmpgetV2c =
    "305e02010104067075626c6963a0510204387dba0f0201000201003043300e060a2b06010201210102030005"
    "003010060c2b06010201210103030103010500300e060a2b0601020121010207000500300f060b2b06010201"
    "6301010104010500";
// snmptrap -v1 -c pub 127.0.0.1:<port> 1.3.6.1.4.1.32473.1.22.2 192.0.2.7 6 1 ''
//   <E>.1.1.0 s ups-7  <E>.1.2.0 i 1  <E>.1.3.0 i 2  <E>.1.4.0 i 1  <E>.1.5.0 i 120
//   <E>.1.6.0 i 2  <E>.1.7.0 i -5  <E>.1.8.0 i 3  <E>.1.9.0 i 0  <E>.1.10.0 i 1
//   <E>.1.11.0 i 2147483647          (E = 1.3.6.1.4.1.32473.1.22, time-stamp 0x035f18)
constexpr std::string_view kSnmptrap =
    "308201100201000403707562a4820104060b2b0601040181fd590116024004c00002070201060201014303035f"
    "183081e33016060d2b0601040181fd59011601010004057570732d373012060d2b0601040181fd590116010200"
    "0201013012060d2b0601040181fd5901160103000201023012060d2b0601040181fd59011601040002010130"
    "12060d2b0601040181fd5901160105000201783012060d2b0601040181fd5901160106000201023012060d2b"
    "0601040181fd5901160107000201fb3012060d2b0601040181fd5901160108000201033012060d2b06010401"
    "81fd5901160109000201003012060d2b0601040181fd590116010a000201013015060d2b0601040181fd5901"
    "16010b0002047fffffff";

// Answers of net-snmp's snmpd 5.9.3 (override lines serving the UPS OIDs).
constexpr std::string_view kSnmpdV2cIntegers =
    "306302010104067075626c6963a2560204387dba0f0201000201003048300f060a2b06010201210102030002"
    "012a3012060c2b0601020121010303010301020208fc300f060a2b0601020121010207000201fb3010060b2b"
    "06010201630101010401020119";
// v1, second OID unknown: noSuchName at index 2, the request's bindings echoed.
constexpr std::string_view kSnmpdV1NoSuchName =
    "303b02010004067075626c6963a22e0204793ffa1d0201020201023020300e060a2b06010201210102030005"
    "00300e060a2b0601020121010205000500";
// v2c: Counter32 4000000000, STRING "230", Gauge32 17, TimeTicks 123456,
// noSuchObject, noSuchInstance.
constexpr std::string_view kSnmpdV2cMixed =
    "30818b02010104067075626c6963a27e020425fa6ab802010002010030703014060b2b06010401841601020100"
    "410500ee6b28003014060d2b06010401841601030401020104033233303010060b2b0601040184160106010042"
    "01113012060b2b06010401841601060500430301e240300e060a2b0601020121010205008000300c06082b0601"
    "02010101018100";

TEST(GetRequest, EqualsNetSnmpByteForByte) {
  EXPECT_EQ(EncodeGetRequest(kVersionFieldV1, "public", 0x1b1c685d, kUpsOids), FromHex(kSnmpgetV1));
  EXPECT_EQ(EncodeGetRequest(kVersionFieldV2c, "public", 0x387dba0f, kUpsOids),
            FromHex(kSnmpgetV2c));
}

TEST(GetRequest, RejectsBadOidText) {
  EXPECT_THROW(EncodeGetRequest(0, "public", 1, {"1.3.6.1", "not.an.oid"}), platform::Failure);
}

TEST(Trap, EqualsNetSnmpByteForByte) {
  TrapMessage trap;
  trap.community = "pub";
  trap.enterprise = "1.3.6.1.4.1.32473.1.22.2";
  trap.agent_address = {192, 0, 2, 7};
  trap.generic_trap = 6;
  trap.specific_trap = 1;
  trap.time_stamp = 0x035f18;
  const int32_t values[] = {1, 2, 1, 120, 2, -5, 3, 0, 1, 2147483647};
  trap.bindings.push_back({"1.3.6.1.4.1.32473.1.22.1.1.0", 4, 0, "ups-7"});
  for (int n = 2; n <= 11; ++n) {
    trap.bindings.push_back(
        {"1.3.6.1.4.1.32473.1.22.1." + std::to_string(n) + ".0", 2, values[n - 2], ""});
  }
  EXPECT_EQ(EncodeTrap(trap), FromHex(kSnmptrap));

  trap.bindings[0].type = 64;
  EXPECT_THROW(EncodeTrap(trap), platform::Failure);
}

TEST(Response, DecodesSnmpdAnswers) {
  const ResponseMessage v2c = DecodeResponse(FromHex(kSnmpdV2cIntegers));
  EXPECT_EQ(v2c.version_field, kVersionFieldV2c);
  EXPECT_EQ(v2c.community, "public");
  EXPECT_EQ(v2c.request_id, 0x387dba0f);
  EXPECT_EQ(v2c.error_status, 0);
  ASSERT_EQ(v2c.bindings.size(), 4u);
  const char* values[] = {"42", "2300", "-5", "25"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(v2c.bindings[i].oid, kUpsOids[i]);
    EXPECT_EQ(v2c.bindings[i].type, 2);
    EXPECT_EQ(v2c.bindings[i].value, values[i]);
  }

  const ResponseMessage v1 = DecodeResponse(FromHex(kSnmpdV1NoSuchName));
  EXPECT_EQ(v1.version_field, kVersionFieldV1);
  EXPECT_EQ(v1.error_status, 2);
  EXPECT_EQ(v1.error_index, 2);
  EXPECT_EQ(ErrorStatusText(v1.error_status), "noSuchName");
  ASSERT_EQ(v1.bindings.size(), 2u);
  EXPECT_EQ(v1.bindings[1].oid, "1.3.6.1.2.1.33.1.2.5.0");
  EXPECT_EQ(v1.bindings[1].type, 5);
  EXPECT_EQ(v1.bindings[1].value, "");

  const ResponseMessage mixed = DecodeResponse(FromHex(kSnmpdV2cMixed));
  ASSERT_EQ(mixed.bindings.size(), 6u);
  const std::pair<int32_t, std::string> expected[] = {{65, "4000000000"}, {4, "230"}, {66, "17"},
                                                      {67, "123456"},     {128, ""},  {129, ""}};
  for (size_t i = 0; i < 6; ++i) {
    EXPECT_EQ(mixed.bindings[i].type, expected[i].first) << i;
    EXPECT_EQ(mixed.bindings[i].value, expected[i].second) << i;
  }
}

// A response message built from its parts, for the cases no agent sends.
std::string Response(int64_t version, std::string_view pdu_content, uint8_t pdu_tag = 0xa2) {
  return ber::Tlv(ber::kSequence, ber::EncodeSigned(version) + ber::Tlv(ber::kOctetString, "c") +
                                      ber::Tlv(pdu_tag, pdu_content));
}
std::string Pdu(std::string_view bindings, int64_t status = 0, int64_t index = 0) {
  return ber::EncodeSigned(7) + ber::EncodeSigned(status) + ber::EncodeSigned(index) +
         ber::Tlv(ber::kSequence, bindings);
}
std::string Binding(std::string_view value) {
  return ber::Tlv(ber::kSequence, ber::EncodeOid("1.3.6.1.2.1.1.3.0") + std::string(value));
}

TEST(Response, EveryValueTypeToText) {
  const std::string octets("a\0\xff", 3);
  const std::string bindings =
      Binding(ber::EncodeSigned(-2147483648LL)) + Binding(ber::Tlv(4, octets)) +
      Binding(ber::Tlv(5, "")) + Binding(ber::EncodeOid("1.3.6.1.4.1.534")) +
      Binding(ber::Tlv(0x40, std::string("\x0a\x00\x00\xfe", 4))) +
      Binding(ber::EncodeUnsigned(4294967295u, 0x41)) + Binding(ber::EncodeUnsigned(0, 0x42)) +
      Binding(ber::EncodeUnsigned(100, 0x43)) + Binding(ber::Tlv(0x44, octets)) +
      Binding(ber::EncodeUnsigned(18446744073709551615u, 0x46)) + Binding(ber::Tlv(0x80, "")) +
      Binding(ber::Tlv(0x81, "")) + Binding(ber::Tlv(0x82, ""));
  const ResponseMessage m = DecodeResponse(Response(1, Pdu(bindings)));
  const std::pair<int32_t, std::string> expected[] = {{2, "-2147483648"},
                                                      {4, octets},
                                                      {5, ""},
                                                      {6, "1.3.6.1.4.1.534"},
                                                      {64, "10.0.0.254"},
                                                      {65, "4294967295"},
                                                      {66, "0"},
                                                      {67, "100"},
                                                      {68, octets},
                                                      {70, "18446744073709551615"},
                                                      {128, ""},
                                                      {129, ""},
                                                      {130, ""}};
  ASSERT_EQ(m.bindings.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(m.bindings[i].type, expected[i].first) << i;
    EXPECT_EQ(m.bindings[i].value, expected[i].second) << i;
  }
  EXPECT_TRUE(DecodeResponse(Response(0, Pdu(""))).bindings.empty());
}

std::string Failure(std::string_view datagram, int16_t* code = nullptr) {
  try {
    DecodeResponse(datagram);
  } catch (const ber::DecodeError& e) {
    if (code != nullptr) *code = e.code();
    return e.what();
  }
  return "accepted";
}

TEST(Response, RejectsWhatIsNoResponse) {
  int16_t code = 0;
  EXPECT_THAT(Failure(Response(3, Pdu("")), &code), HasSubstr("unsupported message version 3"));
  EXPECT_EQ(code, ber::kErrVersion);
  EXPECT_THAT(Failure(Response(1, Pdu(""), 0xa0), &code),
              HasSubstr("not a response PDU: tag 0xa0 (GetRequest)"));
  EXPECT_EQ(code, ber::kErrPduType);
  EXPECT_THAT(Failure(FromHex(kSnmptrap), &code), HasSubstr("(Trap)"));
  EXPECT_EQ(code, ber::kErrPduType);
  EXPECT_THAT(Failure(FromHex(kSnmpdV2cIntegers) + "x", &code),
              HasSubstr("1 trailing octets after the message"));
  EXPECT_EQ(code, ber::kErrMalformed);
  EXPECT_THAT(Failure(Response(1, Pdu("") + "\x05\x00")), HasSubstr("trailing octets inside"));
  EXPECT_THAT(Failure(Response(1, Pdu(Binding(ber::EncodeSigned(0)) + "z"))),
              HasSubstr("binding 1: length missing"));
  EXPECT_THAT(Failure(Response(1, Pdu(Binding(ber::EncodeSigned(1) + ber::EncodeSigned(2))))),
              HasSubstr("trailing octets inside binding 0"));
  EXPECT_THAT(Failure(Response(1, Pdu(Binding(ber::EncodeSigned(2147483648LL))))),
              HasSubstr("binding 0 value: integer of 5 octets too wide for 32 bits"));
  EXPECT_THAT(Failure(Response(1, Pdu(Binding(ber::EncodeUnsigned(4294967296u, 0x41))))),
              HasSubstr("too wide for 32 bits"));
  EXPECT_THAT(Failure(Response(1, Pdu(Binding(ber::Tlv(0x30, ber::EncodeSigned(1)))))),
              HasSubstr("constructed value 0x30"));
  EXPECT_THAT(Failure(Response(1, Pdu(Binding(ber::Tlv(0x47, "x"))))),
              HasSubstr("unknown type 0x47"));
  EXPECT_THAT(Failure(Response(1, Pdu(Binding(ber::Tlv(0x05, "x"))))), HasSubstr("with content"));
  EXPECT_THAT(Failure(Response(1, Pdu(Binding(ber::Tlv(0x80, "x"))))), HasSubstr("with content"));
  EXPECT_THAT(Failure(Response(1, Pdu("", 32768))),
              HasSubstr("error-status 32768 outside the 16-bit range"));
  EXPECT_THAT(Failure(Response(1, Pdu("", 0, -32769))), HasSubstr("error-index -32769"));
  EXPECT_EQ(DecodeResponse(Response(1, Pdu("", 32767, -32768))).error_index, -32768);
  EXPECT_THAT(Failure(ber::Tlv(0x30, "")), HasSubstr("version: missing"));
  EXPECT_EQ(ErrorStatusText(18), "inconsistentName");
  EXPECT_EQ(ErrorStatusText(19), "unknown error status 19");
  EXPECT_EQ(ErrorStatusText(-1), "unknown error status -1");
}

TEST(Response, EveryCutAndEveryCorruptedOctetIsHandled) {
  for (std::string_view hex : {kSnmpdV2cIntegers, kSnmpdV1NoSuchName, kSnmpdV2cMixed}) {
    const std::string whole = FromHex(hex);
    for (size_t length = 0; length < whole.size(); ++length) {
      const std::string cut = whole.substr(0, length);
      const std::string why = Failure(cut);
      EXPECT_NE(why, "accepted") << "cut at " << length;
      EXPECT_THAT(
          why, ::testing::AnyOf(HasSubstr("runs past"), HasSubstr("missing"), HasSubstr("cut off"),
                                HasSubstr("without content"), HasSubstr("IpAddress")))
          << "cut at " << length;
    }
    // Each octet replaced by a few telling values: decoding either succeeds
    // or names what failed; it never crashes or reads past the buffer
    // (checked under AddressSanitizer).
    for (size_t at = 0; at < whole.size(); ++at) {
      for (int octet : {0x00, 0x01, 0x7f, 0x80, 0x81, 0x84, 0x85, 0xff}) {
        std::string bad = whole;
        bad[at] = static_cast<char>(octet);
        try {
          const ResponseMessage m = DecodeResponse(bad);
          EXPECT_LE(m.bindings.size(), 6u);
        } catch (const ber::DecodeError& e) {
          EXPECT_GT(std::string(e.what()).size(), 5u);
        }
      }
    }
  }
}

}  // namespace
}  // namespace upstest::snmp
