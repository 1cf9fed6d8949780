// The Prometheus rendering of a --check report with objects
// (--check=prometheus): the text exposition format 0.0.4 that
// node_exporter's textfile collector and the Pushgateway read. It only
// formats the report.
#pragma once

#include <string>

#include "check/report.h"

namespace upstest::check {

// The output, stable as this grammar:
//
//   <output>  ::= <family>+
//   <family>  ::= "# HELP " <metric> " " <help> LF
//                 "# TYPE " <metric> " gauge" LF <sample>+
//   <sample>  ::= <metric> "{node_id=\"" <id> "\"" [<object>] "} " <number> LF
//   <object>  ::= ",slot=\"" ("1".."4") "\",object=\"" <name> "\""
//
// The families, in this order; one with no sample is left out whole:
//   upstest_pollable                1 when a run could poll the node and
//                                   its GET went out, else 0
//   upstest_usable                  1 when a run would judge all four from
//                                   values the device gave (the exit-0
//                                   condition of --check), else 0
//   upstest_poll_status             the poll status (1..4) and
//   upstest_ups_status              the UPS status (0..2) a run's trap would
//                                   carry; only when the GET went out and a
//                                   run would send a trap
//   upstest_object_status <object>  the object status (0 not judged, 1 met,
//                                   2 failed) and
//   upstest_object_present <object> 1 when the device gave the value, else
//                                   0; both only when the GET went out
//   upstest_object_value <object>   the value a run's trap would carry,
//                                   after its scaling; only for a value the
//                                   device gave
//   upstest_check_duration_seconds  the check's duration, 3 decimals
// <id> is the node id as given, each byte that is not UTF-8 replaced by
// U+FFFD, '\' '"' and newline written \\ \" \n; <name> the object's
// accepted name; <number> an integer, or for the duration a decimal.
std::string PrometheusReport(const Report& report);

}  // namespace upstest::check
