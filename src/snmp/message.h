// SNMP messages: the GetRequest and the response PDU of SNMPv1 (RFC 1157)
// and SNMPv2c (RFC 1901, RFC 3416), and the SNMPv1 Trap-PDU.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace upstest::snmp {

// The version field of the message: 0 = SNMPv1, 1 = SNMPv2c.
inline constexpr int32_t kVersionFieldV1 = 0;
inline constexpr int32_t kVersionFieldV2c = 1;

// A GetRequest-PDU with error-status 0, error-index 0 and one binding with a
// NULL value per OID, in order. Throws platform::Failure for an OID text that
// is not a valid object identifier.
std::string EncodeGetRequest(int32_t version_field, std::string_view community, int32_t request_id,
                             const std::vector<std::string>& oids);

struct ReceivedBinding {
  std::string oid;
  // The identifier octet of the value (2, 4, 5, 6, 64 .. 70, 128 .. 130).
  int32_t type = 0;
  // Decimal for the integer types, dotted for OBJECT IDENTIFIER and
  // IpAddress, the raw octets for OCTET STRING and Opaque, empty for NULL
  // and the exception tags.
  std::string value;
};

struct ResponseMessage {
  int32_t version_field = 0;
  std::string community;
  int32_t request_id = 0;
  int16_t error_status = 0;
  int16_t error_index = 0;
  std::vector<ReceivedBinding> bindings;
};

// Decodes one datagram that must hold exactly one SNMPv1 or SNMPv2c message
// with a response PDU (0xa2). Throws ber::DecodeError with code and
// description otherwise: ber::kErrVersion for another version,
// ber::kErrPduType for another PDU, ber::kErrMalformed for a broken
// encoding. Error-status and error-index must fit 16 signed bits.
ResponseMessage DecodeResponse(std::string_view datagram);

// The error-status values the system tests by number (RFC 1157, RFC 3416).
inline constexpr int16_t kErrorStatusNoError = 0;
inline constexpr int16_t kErrorStatusNoSuchName = 2;

// The name of an error status ("noError", "noSuchName" ...; RFC 3416).
std::string ErrorStatusText(int32_t error_status);

// The SMI name of a value type (snmp/manager.h's kType*: "INTEGER",
// "Gauge32", "noSuchObject" ...); "type N" for a type that has none.
std::string TypeName(int32_t type);

struct TrapBinding {
  std::string oid;
  // 2 INTEGER (value in `integer`) or 4 OCTET STRING (value in `octets`).
  int32_t type = 2;
  int32_t integer = 0;
  std::string octets;
};

struct TrapMessage {
  std::string community;
  std::string enterprise;
  std::array<uint8_t, 4> agent_address{};
  int32_t generic_trap = 0;
  int32_t specific_trap = 0;
  uint32_t time_stamp = 0;
  std::vector<TrapBinding> bindings;
};

// An SNMPv1 message with a Trap-PDU (0xa4). Throws platform::Failure for an
// invalid OID text or a binding type other than 2 and 4.
std::string EncodeTrap(const TrapMessage& trap);

}  // namespace upstest::snmp
