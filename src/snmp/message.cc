#include "snmp/message.h"

#include <array>
#include <limits>
#include <string_view>

#include "platform/error.h"
#include "snmp/ber.h"
#include "snmp/manager.h"

namespace upstest::snmp {

namespace {

constexpr uint8_t kGetRequestPdu = 0xa0;
constexpr uint8_t kGetNextRequestPdu = 0xa1;
constexpr uint8_t kResponsePdu = 0xa2;
constexpr uint8_t kSetRequestPdu = 0xa3;
constexpr uint8_t kTrapPdu = 0xa4;

std::string PduName(uint8_t tag) {
  switch (tag) {
    case kGetRequestPdu:
      return "GetRequest";
    case kGetNextRequestPdu:
      return "GetNextRequest";
    case kSetRequestPdu:
      return "SetRequest";
    case kTrapPdu:
      return "Trap";
    case 0xa5:
      return "GetBulkRequest";
    case 0xa6:
      return "InformRequest";
    case 0xa7:
      return "SNMPv2-Trap";
    case 0xa8:
      return "Report";
    default:
      return "unknown";
  }
}

int16_t To16(int64_t value, const char* what) {
  if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) {
    throw ber::DecodeError(std::string(what) + " " + std::to_string(value) +
                           " outside the 16-bit range");
  }
  return static_cast<int16_t>(value);
}

ReceivedBinding DecodeBinding(std::string_view content, size_t index) {
  const std::string what = "binding " + std::to_string(index);
  ber::Reader reader(content);
  ReceivedBinding binding;
  binding.oid =
      ber::DecodeOid(reader.Expect(ber::kObjectId, what + " name").content, what + " name");
  const std::string value_what = what + " value";
  const ber::Element value = reader.Next(value_what);
  reader.ExpectEnd(what);
  binding.type = value.tag;
  switch (value.tag) {
    case ber::kInteger:
      binding.value = std::to_string(ber::DecodeSigned(value.content, 32, value_what));
      break;
    case ber::kOctetString:
    case ber::kOpaque:
      binding.value = std::string(value.content);
      break;
    case ber::kNull:
    case ber::kNoSuchObject:
    case ber::kNoSuchInstance:
    case ber::kEndOfMibView:
      if (!value.content.empty()) {
        throw ber::DecodeError(value_what + ": " + ber::HexTag(value.tag) + " with content");
      }
      break;
    case ber::kObjectId:
      binding.value = ber::DecodeOid(value.content, value_what);
      break;
    case ber::kIpAddress:
      binding.value = ber::DecodeIpAddress(value.content, value_what);
      break;
    case ber::kCounter32:
    case ber::kGauge32:
    case ber::kTimeTicks:
      binding.value = std::to_string(ber::DecodeUnsigned(value.content, 32, value_what));
      break;
    case ber::kCounter64:
      binding.value = std::to_string(ber::DecodeUnsigned(value.content, 64, value_what));
      break;
    default:
      if (value.tag & ber::kConstructed) {
        throw ber::DecodeError(value_what + ": constructed value " + ber::HexTag(value.tag) +
                               " where a simple value belongs");
      }
      throw ber::DecodeError(value_what + ": unknown type " + ber::HexTag(value.tag));
  }
  return binding;
}

}  // namespace

std::string EncodeGetRequest(int32_t version_field, std::string_view community, int32_t request_id,
                             const std::vector<std::string>& oids) {
  std::string bindings;
  for (const std::string& oid : oids) {
    bindings += ber::Tlv(ber::kSequence, ber::EncodeOid(oid) + ber::Tlv(ber::kNull, ""));
  }
  const std::string pdu = ber::EncodeSigned(request_id) + ber::EncodeSigned(0) +
                          ber::EncodeSigned(0) + ber::Tlv(ber::kSequence, bindings);
  return ber::Tlv(ber::kSequence, ber::EncodeSigned(version_field) +
                                      ber::Tlv(ber::kOctetString, community) +
                                      ber::Tlv(kGetRequestPdu, pdu));
}

ResponseMessage DecodeResponse(std::string_view datagram) {
  ber::Reader outer(datagram, /*outer=*/true);
  const ber::Element message = outer.Expect(ber::kSequence, "message");
  outer.ExpectEnd("the message");

  ResponseMessage response;
  ber::Reader fields(message.content);
  const int64_t version =
      ber::DecodeSigned(fields.Expect(ber::kInteger, "version").content, 32, "version");
  if (version != kVersionFieldV1 && version != kVersionFieldV2c) {
    throw ber::DecodeError("unsupported message version " + std::to_string(version),
                           ber::kErrVersion);
  }
  response.version_field = static_cast<int32_t>(version);
  response.community = std::string(fields.Expect(ber::kOctetString, "community").content);
  const ber::Element pdu = fields.Next("PDU");
  if (pdu.tag != kResponsePdu) {
    throw ber::DecodeError(
        "not a response PDU: tag " + ber::HexTag(pdu.tag) + " (" + PduName(pdu.tag) + ")",
        ber::kErrPduType);
  }
  fields.ExpectEnd("the message");

  ber::Reader pdu_fields(pdu.content);
  response.request_id = static_cast<int32_t>(
      ber::DecodeSigned(pdu_fields.Expect(ber::kInteger, "request-id").content, 32, "request-id"));
  response.error_status =
      To16(ber::DecodeSigned(pdu_fields.Expect(ber::kInteger, "error-status").content, 32,
                             "error-status"),
           "error-status");
  response.error_index = To16(
      ber::DecodeSigned(pdu_fields.Expect(ber::kInteger, "error-index").content, 32, "error-index"),
      "error-index");
  const ber::Element list = pdu_fields.Expect(ber::kSequence, "variable-bindings");
  pdu_fields.ExpectEnd("the PDU");

  ber::Reader items(list.content);
  while (!items.AtEnd()) {
    if (response.bindings.size() == static_cast<size_t>(std::numeric_limits<int16_t>::max())) {
      throw ber::DecodeError("more than 32767 bindings");
    }
    const size_t index = response.bindings.size();
    const ber::Element item = items.Expect(ber::kSequence, "binding " + std::to_string(index));
    response.bindings.push_back(DecodeBinding(item.content, index));
  }
  return response;
}

namespace {

// Indexed by the error status.
constexpr std::array<const char*, 19> kErrorStatusNames = {"noError",
                                                           "tooBig",
                                                           "noSuchName",
                                                           "badValue",
                                                           "readOnly",
                                                           "genErr",
                                                           "noAccess",
                                                           "wrongType",
                                                           "wrongLength",
                                                           "wrongEncoding",
                                                           "wrongValue",
                                                           "noCreation",
                                                           "inconsistentValue",
                                                           "resourceUnavailable",
                                                           "commitFailed",
                                                           "undoFailed",
                                                           "authorizationError",
                                                           "notWritable",
                                                           "inconsistentName"};
static_assert(std::string_view(kErrorStatusNames[kErrorStatusNoError]) == "noError");
static_assert(std::string_view(kErrorStatusNames[kErrorStatusNoSuchName]) == "noSuchName");

}  // namespace

std::string ErrorStatusText(int32_t error_status) {
  if (error_status >= 0 && static_cast<size_t>(error_status) < kErrorStatusNames.size()) {
    return kErrorStatusNames[static_cast<size_t>(error_status)];
  }
  return "unknown error status " + std::to_string(error_status);
}

std::string TypeName(int32_t type) {
  switch (type) {
    case kTypeInteger:
      return "INTEGER";
    case kTypeOctetString:
      return "OCTET STRING";
    case kTypeNull:
      return "NULL";
    case kTypeObjectId:
      return "OBJECT IDENTIFIER";
    case kTypeIpAddress:
      return "IpAddress";
    case kTypeCounter32:
      return "Counter32";
    case kTypeGauge32:
      return "Gauge32";
    case kTypeTimeTicks:
      return "TimeTicks";
    case kTypeOpaque:
      return "Opaque";
    case kTypeCounter64:
      return "Counter64";
    case kTypeNoSuchObject:
      return "noSuchObject";
    case kTypeNoSuchInstance:
      return "noSuchInstance";
    case kTypeEndOfMibView:
      return "endOfMibView";
    default:
      return "type " + std::to_string(type);
  }
}

std::string EncodeTrap(const TrapMessage& trap) {
  std::string bindings;
  for (const TrapBinding& binding : trap.bindings) {
    std::string value;
    if (binding.type == ber::kInteger) {
      value = ber::EncodeSigned(binding.integer);
    } else if (binding.type == ber::kOctetString) {
      value = ber::Tlv(ber::kOctetString, binding.octets);
    } else {
      throw platform::Failure("binding type " + std::to_string(binding.type) +
                              " cannot be sent in a trap");
    }
    bindings += ber::Tlv(ber::kSequence, ber::EncodeOid(binding.oid) + value);
  }
  const std::string address(reinterpret_cast<const char*>(trap.agent_address.data()), 4);
  const std::string pdu =
      ber::EncodeOid(trap.enterprise) + ber::Tlv(ber::kIpAddress, address) +
      ber::EncodeSigned(trap.generic_trap) + ber::EncodeSigned(trap.specific_trap) +
      ber::EncodeUnsigned(trap.time_stamp, ber::kTimeTicks) + ber::Tlv(ber::kSequence, bindings);
  return ber::Tlv(ber::kSequence, ber::EncodeSigned(kVersionFieldV1) +
                                      ber::Tlv(ber::kOctetString, trap.community) +
                                      ber::Tlv(kTrapPdu, pdu));
}

}  // namespace upstest::snmp
