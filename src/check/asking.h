// `upstest --check NODEID OBJ1..OBJ4`, once the run's own poll is judged:
// the device asked for what the run did not poll, so that the report can
// say whether it has each slot's other name (and, with SNMPv1, which
// object an error answer is about).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "check/poll.h"

namespace upstest::run {
struct Context;
}  // namespace upstest::run

namespace upstest::check {

// The further GETs are sent only while the check's poll has lasted less
// than this: each may take as long as a run's two attempts, so a check
// ends within this and one more GET.
inline constexpr int64_t kAskingMs = 12000;

// What the further GETs work with.
struct Asking {
  run::Context& ctx;
  // The last answer the check's receiver of the manager's events took in;
  // cleared before each GET.
  std::optional<SeenAnswer>& last;
  int64_t started_ms;  // when the check's poll began (monotonic)
  // Why the asking stopped before all was asked; empty while it has not.
  std::string& stopped;
};

// Asks the device for the other name of every slot in one GET. With SNMPv1
// and an error answer to the run's GET (f.answer == kError), each polled
// OID is first asked alone (a warning on its object says what the device
// gives for it, or that it has no such object), and, when the GET of the
// other names is answered with an error too, each other name alone. Sets
// other_present and other_binding of f.objects where an answer tells them;
// an answer whose bindings do not name the OIDs asked, in order, is taken
// for a late answer to an earlier GET and tells nothing.
//
// Each GET is snmp::CheckStatus on ctx: it writes ctx.state's ObjOid (the
// OIDs asked), RequestId, ObjValue, ResponseReceived and ResponseError, and
// sends one or two datagrams. It never ends the program: the asking stops,
// with the reason in `stopped`, when a GET cannot be sent, goes unanswered,
// or would begin kAskingMs or more after started_ms.
void AskOtherNames(Asking& a, PollFindings& f);

}  // namespace upstest::check
