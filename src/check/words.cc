#include "check/words.h"

#include "check/poll.h"
#include "diag/log.h"
#include "run/test_state.h"
#include "snmp/manager.h"
#include "snmp/message.h"

namespace upstest::check {

std::string Describe(const SeenBinding& binding) {
  std::string text = snmp::TypeName(binding.type);
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

}  // namespace upstest::check
