// The further GETs of a check: each one the run's own request, with its
// retry rule, for OIDs the run did not poll.
#include "check/asking.h"

#include <array>
#include <optional>
#include <string>

#include "check/words.h"
#include "platform/error.h"
#include "run/context.h"
#include "snmp/manager.h"
#include "snmp/message.h"
#include "snmp/response.h"
#include "snmp/status_request.h"

namespace upstest::check {

namespace {

using Oids = std::array<std::string, run::kObjectCount>;

// One more GET of `oids` with the run's own request and retry rule. The
// answer, or none when none came, the request could not be sent, or the
// check's time for asking (kAskingMs) is used up.
std::optional<SeenAnswer> AskAgain(Asking& a, const Oids& oids) {
  if (a.ctx.env.MonotonicMs() - a.started_ms >= kAskingMs) {
    a.stopped = "the device answered too slowly: the check asks no more after " +
                std::to_string(kAskingMs / 1000) + " s";
    return std::nullopt;
  }
  for (int n = 1; n <= run::kObjectCount; ++n) {
    a.ctx.state.ObjOid(n) = oids[static_cast<size_t>(n - 1)];
  }
  a.last.reset();
  try {
    snmp::CheckStatus(a.ctx);
  } catch (const platform::ProgramEnd& end) {
    a.stopped = "a GET could not be sent: " + end.reason;
    return std::nullopt;
  }
  if (!a.ctx.state.ResponseReceived || !a.last) {
    a.stopped = "the device did not answer a GET of the check; it asks no more";
    return std::nullopt;
  }
  return a.last;
}

// Every binding names the OID asked for in its place: an answer to this
// request, not a late one to an earlier request of the check (every
// request carries the same identifier).
bool AnswersRequest(const SeenAnswer& answer, const Oids& oids) {
  if (answer.bindings.size() != oids.size()) return false;
  for (size_t i = 0; i < oids.size(); ++i) {
    if (answer.bindings[i].oid != oids[i]) return false;
  }
  return true;
}

bool GivesValue(const SeenBinding& binding) {
  return !snmp::IsValueless(binding.type) && binding.type != snmp::kTypeEndOfMibView;
}

// Asks for `oid` alone (as all four bindings of the run's request).
// Returns false when no answer came; otherwise sets `present` (none when
// the answer does not tell) and `binding`.
bool AskAlone(Asking& a, const std::string& oid, std::optional<bool>& present,
              std::optional<SeenBinding>& binding) {
  const Oids oids{oid, oid, oid, oid};
  const std::optional<SeenAnswer> answer = AskAgain(a, oids);
  if (!answer) return false;
  if (!AnswersRequest(*answer, oids)) return true;
  if (answer->error_status == snmp::kErrorStatusNoSuchName) {
    present = false;
  } else if (answer->error_status == snmp::kErrorStatusNoError) {
    present = GivesValue(answer->bindings[0]);
    binding = answer->bindings[0];
  }
  return true;
}

// With SNMPv1 and an error answer: each polled OID asked alone. Returns
// false when one went unanswered.
bool AskPolledAlone(Asking& a, PollFindings& f) {
  for (ObjectFinding& object : f.objects) {
    std::optional<bool> present;
    std::optional<SeenBinding> binding;
    if (!AskAlone(a, object.oid, present, binding)) return false;
    if (present == false) {
      object.warnings.push_back("asked alone, the device does not have this object (noSuchName)");
    } else if (present == true) {
      object.warnings.push_back("asked alone, the device gives " + Describe(*binding));
    }
  }
  return true;
}

}  // namespace

void AskOtherNames(Asking& a, PollFindings& f) {
  const bool v1 = run::PolledSnmpVersion(a.ctx.state) == 1;
  if (v1 && f.answer == AnswerKind::kError && !AskPolledAlone(a, f)) return;
  Oids others;
  for (size_t i = 0; i < others.size(); ++i) others[i] = f.objects[i].other_oid;
  const std::optional<SeenAnswer> answer = AskAgain(a, others);
  if (!answer) return;
  if (answer->error_status == snmp::kErrorStatusNoError && AnswersRequest(*answer, others)) {
    for (size_t i = 0; i < others.size(); ++i) {
      f.objects[i].other_present = GivesValue(answer->bindings[i]);
      f.objects[i].other_binding = answer->bindings[i];
    }
  } else if (v1 && answer->error_status != snmp::kErrorStatusNoError) {
    for (ObjectFinding& object : f.objects) {
      if (!AskAlone(a, object.other_oid, object.other_present, object.other_binding)) {
        return;
      }
    }
  }
}

}  // namespace upstest::check
