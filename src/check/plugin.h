// The monitoring-plugin rendering of a --check report with objects
// (--check=plugin): the state and why in the first line, the objects'
// values as performance data, then one line per object. The state and the
// objects it names are the report's (DecideState); this file only formats
// them.
#pragma once

#include <string>
#include <string_view>

#include "check/report.h"

namespace upstest::check {

// A state as an exit status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN.
int PluginExitStatus(SchedulerState state);
inline constexpr int kPluginUnknown = 3;

// The output, stable as this grammar (the wording of <summary> and
// <detail> may change):
//
//   <output>    ::= "UPS " <state> " - node " <node> ": " <summary>
//                   " | " <perfdata> LF <object-line>{4}
//   <state>     ::= "OK" | "WARNING" | "CRITICAL" | "UNKNOWN"
//   <summary>   ::= for OK, a sentence; for CRITICAL and WARNING, the
//                   objects concerned, ", " between them, each
//                   <name> " " (<value> | "not given") [" not judged"]
//                   " (" <condition> ["; the device has " <other-name>] ")",
//                   the other name of the slot only for a value not given
//                   (or the poll's outcome when no answer came); for
//                   UNKNOWN, why nothing could be judged
//   <perfdata>  ::= <item> " " <item> " " <item> " " <item>  (slot order)
//   <item>      ::= <name> "=" <value> ";;" [<range>]
//   <name>      ::= the object's accepted name (letters only, unquoted)
//   <value>     ::= ["-"] DIGIT+   the value a run's trap would carry
//                                  (after its scaling), given by the device
//                 | "U"            the device did not give it
//   <range>     ::= INT ":" INT | "~:" INT | INT ":"
//                   the values that meet the condition; none where no
//                   range says it (an operator not judged, a value that
//                   does not convert, LOW above HIGH, < or > beyond the
//                   32-bit values)
//   <object-line> ::= <slot> " " <name> " " <condition> ": "
//                   (<value> | "not given") " (" <status> ")"
//                   *("; " <detail>) LF
//   <condition> ::= "<" V | ">" V | "=" V | "in " LOW "-" HIGH | the
//                   operator and value as given, for another operator
//   <status>    ::= "met" | "failed" | "not judged"
// The exit status is PluginExitStatus(report.state). No text but the
// separator holds '|' (shown as '/'), nor a control character ('?').
std::string PluginReport(const Report& report);

// The output of a call that ends before a report can be made (an argument
// error, an end that escapes the check): "UPS UNKNOWN - " <reason> LF,
// exit status kPluginUnknown.
std::string PluginUnknown(std::string_view reason);

}  // namespace upstest::check
