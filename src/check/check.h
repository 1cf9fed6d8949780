// `upstest --check`: what a run would find for one node, and, given the
// four objects, what a run would judge on the device. The call's rules are
// in check/call.h, the findings in check/report.h, one rendering a file.
#pragma once

#include <functional>
#include <string>

#include "check/call.h"
#include "check/report.h"

namespace upstest::run {
struct Context;
}  // namespace upstest::run

namespace upstest::check {

// Carries out `call` on a context of its own, which shares base's system,
// event pump and manager (base.state.AppBase and base.read_node_data are
// taken over) but has a trap sender that sends nothing, and writes no log.
// Collects the report: the node part (ReadNodeForCheck), with objects the
// poll (PollForCheck), the state (DecideState) and the duration. An object
// argument that names no object of its slot ends the program
// (platform::ProgramEnd, exit 2 and its reason) before anything is read
// or sent.
Report CheckReport(run::Context& base, const CheckCall& call);

// CheckReport rendered in the call's form into `out`. The result is the
// exit status: for --check=plugin the state's (PluginExitStatus), for the
// other forms 0 when the report is usable and 1 otherwise.
int RunCheck(run::Context& base, const CheckCall& call, std::string& out);

// Runs `command`, the whole of a --check=plugin call, so that every end is
// a plugin state: the status it returns, or, for any end that escapes it
// (an argument error included), kPluginUnknown with PluginUnknown's line
// in `out` (check/plugin.h).
int PluginStatusOf(const std::function<int()>& command, std::string& out) noexcept;

}  // namespace upstest::check
