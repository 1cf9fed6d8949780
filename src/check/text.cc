#include "check/text.h"

#include <string>
#include <string_view>

#include "check/words.h"
#include "diag/log.h"
#include "run/test_state.h"
#include "snmp/message.h"

namespace upstest::check {

namespace {

// Appends one line: the label, padded to 20 columns, and the value.
void Line(std::string& out, std::string_view label, const std::string& value) {
  out += label;
  out.append(label.size() < 20 ? 20 - label.size() : 1, ' ');
  out += value;
  out += '\n';
}

std::string Quoted(const std::string& text) { return "\"" + diag::Printable(text) + "\""; }

std::string VersionName(const NodeFindings& n) { return "SNMPv" + n.polled_version; }

std::string Community(const std::string& value, bool show) {
  if (show) return Quoted(value);
  return "(" + std::to_string(value.size()) + " bytes; --show-communities shows it)";
}

void AppendSettings(const NodeFindings& n, std::string& out) {
  if (!n.settings_problem.empty()) {
    Line(out, "SqlDbSetupOk:", "(not read: " + diag::Printable(n.settings_problem) + ")");
    return;
  }
  Line(out, "SqlDbSetupOk:", n.setup_ok ? "true" : "0 or Null (no node database)");
  if (n.setup_ok) Line(out, "node database:", n.connection);
}

// The node record, one field a line.
void AppendRecord(const NodeFindings& n, bool show_communities, std::string& out) {
  Line(out, "node record:",
       n.record_problem.empty() ? "node_id " + std::to_string(*n.node_id) + " found in ATR_Nodes"
       : n.record_in_part       ? "read in part: " + n.record_problem
                                : "not read: " + n.record_problem);
  Line(out, "IpAddr:", Quoted(n.address));
  Line(out, "UdpPort:", std::to_string(n.port));
  Line(out, "status:",
       std::to_string(n.status) +
           (n.status == run::kNodeStatusNoAllClear ? " (no all-clear trap)" : ""));
  Line(out, "SnmpVersion:", Quoted(n.snmp_version) + " (polled in " + VersionName(n) + ")");
  Line(out, "readcomm:", Community(n.readcomm, show_communities));
  Line(out, "trapcomm:", Community(n.trapcomm, show_communities));
  Line(out, "LastChange:", Quoted(n.last_change));
  Line(out, "LastMessage:", Quoted(n.last_message));
}

std::string AddressLine(const NodeFindings& n) {
  if (!n.unresolved.empty()) return "no: " + diag::Printable(n.unresolved);
  std::string list;
  for (const std::string& a : n.resolved) list += (list.empty() ? "" : ", ") + a;
  return "yes: " + list;
}

std::string VerdictLine(const NodeFindings& n) {
  if (!n.Pollable()) return "a run could not poll this node: " + n.problem;
  return "a run could poll node " + std::to_string(*n.node_id) + " at " +
         diag::Printable(n.address) + " port " + std::to_string(n.port) + " (" + VersionName(n) +
         ")" +
         (n.record_in_part ? ", with the fields after the record's unreadable column empty" : "");
}

void AppendNode(const Report& report, std::string& out) {
  const NodeFindings& n = report.node;
  Line(out, "base directory:", n.base_directory.empty() ? "(none)" : n.base_directory);
  Line(out, "settings database:", n.settings_path + " (" + diag::Printable(n.settings_kind) + ")");
  if (n.node_id) {
    AppendSettings(n, out);
    AppendRecord(n, report.show_communities, out);
    Line(out, "address resolves:", AddressLine(n));
  }
  Line(out, "verdict:", VerdictLine(n));
}

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
           (o.other_binding ? " (" + snmp::TypeName(o.other_binding->type) + ")" : "");
  }
  return line + (f.answer == AnswerKind::kNotAsked || f.answer == AnswerKind::kNone
                     ? "not asked"
                     : "not told (no answer, or an answer that does not say)");
}

void AppendObject(const PollFindings& f, const ObjectFinding& o, std::string& out) {
  Line(out, "object " + std::to_string(o.slot) + ":", o.name + diag::Printable(o.condition));
  Line(out, "  OID:", o.oid);
  if (f.polled) {
    Line(out, "  answer:",
         o.binding                       ? Describe(*o.binding)
         : f.answer == AnswerKind::kNone ? "none (no answer)"
                                         : "none (the answer has no binding for it)");
    Line(out, "  trap value:", o.value ? std::to_string(*o.value) : "none");
    Line(out, "  status:", std::to_string(o.status) + " (" + StatusName(o.status) + ")");
  }
  for (const std::string& warning : o.warnings) {
    Line(out, "  warning:", diag::Printable(warning));
  }
  Line(out, "  other name:", OtherNameLine(f, o));
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

void AppendPoll(const PollFindings& f, std::string& out) {
  Line(out, "poll:", PollLine(f));
  for (const ObjectFinding& object : f.objects) AppendObject(f, object, out);
  if (!f.asking_stopped.empty()) {
    Line(out, "more GETs:", "stopped: " + diag::Printable(f.asking_stopped));
  }
  Line(out, "result:", ResultLine(f));
}

}  // namespace

std::string TextReport(const Report& report) {
  std::string out;
  AppendNode(report, out);
  if (report.poll) AppendPoll(*report.poll, out);
  return out;
}

}  // namespace upstest::check
