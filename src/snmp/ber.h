// A small BER codec for the SNMP messages of this program: INTEGER, OCTET
// STRING, NULL, OBJECT IDENTIFIER, SEQUENCE, the SNMP application types and
// the three v2c exception tags.
//
// Decoding works over a std::string_view and never reads past its end. Every
// fault of the input is reported as a DecodeError naming what failed; the
// decoder accepts only what the messages need: primitive values, definite
// lengths of at most four octets, integers that fit their type, OID
// sub-identifiers of at most 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"

namespace upstest::snmp::ber {

// Identifier octets.
inline constexpr uint8_t kInteger = 0x02;
inline constexpr uint8_t kOctetString = 0x04;
inline constexpr uint8_t kNull = 0x05;
inline constexpr uint8_t kObjectId = 0x06;
inline constexpr uint8_t kSequence = 0x30;
inline constexpr uint8_t kIpAddress = 0x40;
inline constexpr uint8_t kCounter32 = 0x41;
inline constexpr uint8_t kGauge32 = 0x42;
inline constexpr uint8_t kTimeTicks = 0x43;
inline constexpr uint8_t kOpaque = 0x44;
inline constexpr uint8_t kCounter64 = 0x46;
inline constexpr uint8_t kNoSuchObject = 0x80;
inline constexpr uint8_t kNoSuchInstance = 0x81;
inline constexpr uint8_t kEndOfMibView = 0x82;
inline constexpr uint8_t kConstructed = 0x20;

// Codes of DecodeError, passed on as the error code of a rejected packet.
inline constexpr int16_t kErrMalformed = 1;
inline constexpr int16_t kErrVersion = 2;
inline constexpr int16_t kErrPduType = 3;
inline constexpr int16_t kErrTooLong = 4;

// A received octet string that is not what it should be.
class DecodeError : public platform::Failure {
 public:
  explicit DecodeError(const std::string& description, int16_t code = kErrMalformed)
      : platform::Failure(description), code_(code) {}
  int16_t code() const { return code_; }

 private:
  int16_t code_;
};

// ---- Encoding (definite, shortest lengths; shortest integers) ----

void AppendLength(std::string& out, size_t length);
// Identifier, length and content.
std::string Tlv(uint8_t tag, std::string_view content);
// A two's-complement integer in its fewest octets.
std::string EncodeSigned(int64_t value, uint8_t tag = kInteger);
// A non-negative integer (Counter32, Gauge32, TimeTicks, Counter64).
std::string EncodeUnsigned(uint64_t value, uint8_t tag);
// Dotted OID text to its arcs. Accepted: one optional leading ".", then at
// least two decimal arcs separated by "."; the first arc 0, 1 or 2, the
// second below 40 unless the first is 2; each arc at most 4294967295; at
// most 128 arcs. Throws platform::Failure otherwise.
std::vector<uint32_t> ParseOid(std::string_view dotted);
// The whole OBJECT IDENTIFIER element of a dotted text (ParseOid's rules).
std::string EncodeOid(std::string_view dotted);

// ---- Decoding ----

struct Element {
  uint8_t tag = 0;
  std::string_view content;
};

// Takes elements off the front of `data` one by one.
class Reader {
 public:
  // `outer`: the data is the whole datagram (only changes the wording of
  // errors).
  explicit Reader(std::string_view data, bool outer = false) : rest_(data), outer_(outer) {}

  bool AtEnd() const { return rest_.empty(); }
  size_t Remaining() const { return rest_.size(); }
  // The next element, any tag; `what` names it in errors.
  Element Next(std::string_view what);
  // The next element, which must carry `tag`.
  Element Expect(uint8_t tag, std::string_view what);
  // Fails when anything is left inside the value named `what`.
  void ExpectEnd(std::string_view what) const;

 private:
  std::string_view rest_;
  bool outer_;
};

// Content of a signed integer of at most `bits` (8..64) bits.
int64_t DecodeSigned(std::string_view content, int bits, std::string_view what);
// Content of a non-negative integer of at most `bits` (8..64) bits.
uint64_t DecodeUnsigned(std::string_view content, int bits, std::string_view what);
// Content of an OBJECT IDENTIFIER as dotted text.
std::string DecodeOid(std::string_view content, std::string_view what);
// Content of an IpAddress (exactly four octets) as dotted text.
std::string DecodeIpAddress(std::string_view content, std::string_view what);

// "0x4a".
std::string HexTag(uint8_t tag);

}  // namespace upstest::snmp::ber
