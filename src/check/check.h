// `upstest --check`: what a run would find for one node, and, given the
// four objects, what a run would judge on the device. The call's rules are
// in check/call.h, the findings in check/report.h, one rendering a file.
#pragma once

#include <string>

#include "check/call.h"

namespace upstest::run {
struct Context;
}  // namespace upstest::run

namespace upstest::check {

// Carries out `call` on a context of its own, which shares base's system,
// event pump and manager (base.state.AppBase and base.read_node_data are
// taken over) but has a trap sender that sends nothing, and writes no log.
// Collects the report (the node part, ReadNodeForCheck; with objects the
// poll, PollForCheck) and renders it in the call's form into `out`. The
// result is the exit status: 0 when the report is usable, 1 otherwise, 2
// (its reason written to stderr, `out` empty) when an object argument names
// no object of its slot.
int RunCheck(run::Context& base, const CheckCall& call, std::string& out);

}  // namespace upstest::check
