#include "check/text.h"

#include <string>

#include "check/words.h"
#include "diag/log.h"
#include "snmp/message.h"

namespace upstest::check {

namespace {

std::string PollLine(const PollFindings& f) {
  switch (f.answer) {
    case AnswerKind::kNotAsked:
      return "not sent: " + diag::Printable(f.poll_problem);
    case AnswerKind::kJudged:
      return "answered (error status 0): a run judges the four values (poll status 1)";
    case AnswerKind::kError:
      return "answered with error status " + std::to_string(f.seen->error_status) + " (" +
             snmp::ErrorStatusText(f.seen->error_status) + "), index " +
             std::to_string(f.seen->error_index) + ": a run judges what the answer carries";
    case AnswerKind::kFailed:
      return "answered, but a run's handling of the answer fails (poll status 3)";
    case AnswerKind::kNone:
      return "no answer to either attempt (poll status 4)";
  }
  return {};
}

std::string OtherNameLine(const PollFindings& f, const ObjectFinding& o) {
  std::string line = o.other_name + " (" + o.other_oid + "): ";
  if (o.other_present == true)
    return line + "the device has it (" + Describe(*o.other_binding) + ")";
  if (o.other_present == false) {
    return line + "the device does not have it" +
           (o.other_binding ? " (" + TypeName(o.other_binding->type) + ")" : "");
  }
  return line + (f.answer == AnswerKind::kNotAsked || f.answer == AnswerKind::kNone
                     ? "not asked"
                     : "not told (no answer, or an answer that does not say)");
}

void AppendObject(const PollFindings& f, const ObjectFinding& o, std::string& report) {
  ReportLine(report, "object " + std::to_string(o.slot) + ":",
             o.name + diag::Printable(o.condition));
  ReportLine(report, "  OID:", o.oid);
  if (f.polled) {
    ReportLine(report, "  answer:",
               o.binding                       ? Describe(*o.binding)
               : f.answer == AnswerKind::kNone ? "none (no answer)"
                                               : "none (the answer has no binding for it)");
    ReportLine(report, "  trap value:", o.value ? std::to_string(*o.value) : "none");
    ReportLine(report, "  status:", std::to_string(o.status) + " (" + StatusName(o.status) + ")");
  }
  for (const std::string& warning : o.warnings) {
    ReportLine(report, "  warning:", diag::Printable(warning));
  }
  ReportLine(report, "  other name:", OtherNameLine(f, o));
}

std::string ResultLine(const PollFindings& f) {
  if (f.usable) return "a run would judge all four objects from values the device gave (exit 0)";
  if (!f.polled) return "not polled (exit 1)";
  std::string objects;
  int count = 0;
  for (const ObjectFinding& o : f.objects) {
    if (o.warnings.empty()) continue;
    objects += (count++ == 0 ? "" : ", ") + std::to_string(o.slot);
  }
  return "a run would not judge all four from values the device gave: see the warnings of " +
         std::string(count == 1 ? "object " : "objects ") + objects + " (exit 1)";
}

}  // namespace

void AppendPollReport(const PollFindings& findings, std::string& report) {
  ReportLine(report, "poll:", PollLine(findings));
  for (const ObjectFinding& object : findings.objects) AppendObject(findings, object, report);
  if (!findings.asking_stopped.empty()) {
    ReportLine(report, "more GETs:", "stopped: " + diag::Printable(findings.asking_stopped));
  }
  ReportLine(report, "result:", ResultLine(findings));
}

}  // namespace upstest::check
