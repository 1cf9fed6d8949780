#include "check/words.h"

#include <string_view>

#include "check/poll.h"
#include "diag/log.h"
#include "run/test_state.h"
#include "snmp/manager.h"

namespace upstest::check {

std::string TypeName(int32_t type) {
  switch (type) {
    case snmp::kTypeInteger:
      return "INTEGER";
    case snmp::kTypeOctetString:
      return "OCTET STRING";
    case snmp::kTypeNull:
      return "NULL";
    case snmp::kTypeObjectId:
      return "OBJECT IDENTIFIER";
    case snmp::kTypeIpAddress:
      return "IpAddress";
    case snmp::kTypeCounter32:
      return "Counter32";
    case snmp::kTypeGauge32:
      return "Gauge32";
    case snmp::kTypeTimeTicks:
      return "TimeTicks";
    case snmp::kTypeOpaque:
      return "Opaque";
    case snmp::kTypeCounter64:
      return "Counter64";
    case snmp::kTypeNoSuchObject:
      return "noSuchObject";
    case snmp::kTypeNoSuchInstance:
      return "noSuchInstance";
    case snmp::kTypeEndOfMibView:
      return "endOfMibView";
    default:
      return "type " + std::to_string(type);
  }
}

std::string Describe(const SeenBinding& binding) {
  std::string text = TypeName(binding.type);
  if (!binding.raw) return text;
  const bool is_text = binding.type == snmp::kTypeOctetString || binding.type == snmp::kTypeOpaque;
  const std::string value = diag::Printable(*binding.raw);
  return text + " " + (is_text ? "\"" + value + "\"" : value);
}

std::string StatusName(int16_t status) {
  switch (status) {
    case run::kObjMet:
      return "met";
    case run::kObjFailed:
      return "failed";
    case run::kObjNotJudged:
      return "not judged";
    default:
      return "code " + std::to_string(status);
  }
}

void ReportLine(std::string& report, std::string_view label, const std::string& value) {
  report += label;
  report.append(label.size() < 20 ? 20 - label.size() : 1, ' ');
  report += value;
  report += '\n';
}

}  // namespace upstest::check
