#include "check/plugin.h"

#include <algorithm>
#include <string>

#include "check/words.h"
#include "diag/log.h"

namespace upstest::check {

namespace {

// Text as it may stand in a plugin's output: '|' would begin the
// performance data, and a control character a line of its own.
std::string Shown(std::string_view text) {
  std::string shown = diag::Printable(text);
  std::replace(shown.begin(), shown.end(), '|', '/');
  return shown;
}

std::string StateName(SchedulerState state) {
  switch (state) {
    case SchedulerState::kOk:
      return "OK";
    case SchedulerState::kWarning:
      return "WARNING";
    case SchedulerState::kCritical:
      return "CRITICAL";
    case SchedulerState::kUnknown:
      break;
  }
  return "UNKNOWN";
}

// The condition as the text shows it: a range without its '|'.
std::string Condition(const ObjectFinding& o) {
  return o.condition.starts_with('|') ? "in " + o.condition.substr(1) : o.condition;
}

std::string ValueText(const ObjectFinding& o) {
  return o.present && o.value ? std::to_string(*o.value) : "not given";
}

// One object the state is about: its value and its condition, and for a
// value not given the slot's other name when the device has that.
std::string Concerned(const ObjectFinding& o) {
  std::string text = o.name + " " + ValueText(o) + (o.present && !o.judged ? " not judged" : "");
  text += " (" + Condition(o);
  if (!o.present && o.other_present == true) text += "; the device has " + o.other_name;
  return text + ")";
}

// Why nothing could be judged.
std::string UnknownSummary(const Report& report) {
  if (!report.poll) return "no objects to poll";
  const PollFindings& f = *report.poll;
  if (!report.node.Pollable()) {
    // The first line names the node already.
    std::string_view problem = report.node.problem;
    const std::string named = "node " + report.node_argument + ": ";
    if (problem.starts_with(named)) problem.remove_prefix(named.size());
    return "a run could not poll this node: " + std::string(problem);
  }
  if (!f.polled) return "not polled: " + f.poll_problem;
  if (f.answer == AnswerKind::kFailed) return "a run cannot take the answer in (poll status 3)";
  return "a run ends at object " + std::to_string(f.run_end_object) +
         (f.poll_status ? " with poll status " + std::to_string(*f.poll_status) : " by an error") +
         ": " + f.run_end_reason;
}

std::string Summary(const Report& report) {
  switch (report.state) {
    case SchedulerState::kOk:
      return "all four conditions met on values the device gave";
    case SchedulerState::kWarning:
    case SchedulerState::kCritical:
      break;
    case SchedulerState::kUnknown:
      return UnknownSummary(report);
  }
  if (report.poll->answer == AnswerKind::kNone)
    return "no answer to either attempt (poll status 4)";
  std::string text;
  for (const int slot : report.concerned) {
    text +=
        (text.empty() ? "" : ", ") + Concerned(report.poll->objects[static_cast<size_t>(slot - 1)]);
  }
  return text;
}

std::string Range(const std::optional<run::ValueInterval>& met) {
  if (!met) return {};
  return (met->low ? std::to_string(*met->low) : "~") + ":" +
         (met->high ? std::to_string(*met->high) : "");
}

std::string PerfData(const PollFindings& f) {
  std::string items;
  for (const ObjectFinding& o : f.objects) {
    items += (items.empty() ? "" : " ") + o.name + "=" +
             (o.present && o.value ? std::to_string(*o.value) : "U") + ";;" + Range(o.met);
  }
  return items;
}

std::string ObjectLine(const ObjectFinding& o) {
  std::string line = std::to_string(o.slot) + " " + o.name + " " + Condition(o) + ": " +
                     ValueText(o) + " (" + StatusName(o.status) + ")";
  for (const std::string& warning : o.warnings) line += "; " + warning;
  if (o.other_present == true) line += "; the device has " + o.other_name;
  return Shown(line) + "\n";
}

}  // namespace

int PluginExitStatus(SchedulerState state) {
  switch (state) {
    case SchedulerState::kOk:
      return 0;
    case SchedulerState::kWarning:
      return 1;
    case SchedulerState::kCritical:
      return 2;
    case SchedulerState::kUnknown:
      break;
  }
  return kPluginUnknown;
}

std::string PluginReport(const Report& report) {
  std::string out = "UPS " + StateName(report.state) + " - node " + Shown(report.node_argument) +
                    ": " + Shown(Summary(report));
  if (!report.poll) return out + "\n";
  out += " | " + PerfData(*report.poll) + "\n";
  for (const ObjectFinding& o : report.poll->objects) out += ObjectLine(o);
  return out;
}

std::string PluginUnknown(std::string_view reason) {
  return "UPS UNKNOWN - " + Shown(reason) + "\n";
}

}  // namespace upstest::check
