// `upstest --check NODEID OBJ1..OBJ4`: the run's own poll of the four
// objects, and what a run would judge of each, with what the device itself
// answered beside it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "run/status_compare.h"
#include "run/test_state.h"

namespace upstest::run {
struct Context;
}  // namespace upstest::run

namespace upstest::check {

// One binding as the answer carried it.
struct SeenBinding {
  std::string oid;
  int32_t type = 0;
  // The value's text; none for NULL, noSuchObject and noSuchInstance,
  // whose value a run does not read either.
  std::optional<std::string> raw;
  // Why a run's handler fails on this binding (snmp::BindingValue); empty
  // when it takes its value.
  std::string failure;
};

// One answer as the manager delivered it, read before the run's handler
// took it in.
struct SeenAnswer {
  int16_t error_status = 0;
  int16_t error_index = 0;
  int16_t count = 0;  // bindings the answer had; only the first four are kept
  std::vector<SeenBinding> bindings;
  // The first binding (from 1) a run's handler fails on (snmp::BindingValue:
  // a value that is no number, or a binding beyond the four objects); 0
  // when it takes them all.
  int failing_binding = 0;
};

// What the check found for one object slot.
struct ObjectFinding {
  int slot = 0;
  std::string name;       // the accepted name the argument gave
  std::string oid;        // the OID that name polls
  std::string condition;  // operator and value, as written
  // The values that meet the condition as a run judges it (run::MetValues);
  // none where no interval says it.
  std::optional<run::ValueInterval> met;
  // The answer's binding for this slot; none when the answer had none (or
  // no answer came).
  std::optional<SeenBinding> binding;
  // That binding names another OID than the one asked in its place: a run
  // takes its value all the same, by position (a warning says so).
  bool wrong_oid = false;
  // The value a run's trap would carry, after the run's scaling; none
  // when nothing was polled.
  std::optional<int32_t> value;
  int16_t status = 0;  // the object status of a run's first comparison pass
  // Why a run would not judge this object from a value the device gave,
  // or would fail or end on it; empty when it would judge it.
  std::vector<std::string> warnings;
  // The device gave the value a run judges here: the answer a run takes in
  // (error status 0) has a binding in this place that names the OID asked
  // and carries a value (not NULL, noSuchObject or noSuchInstance).
  bool present = false;
  // A run's first comparison pass judges this object: its operator is one
  // of = < > |, a range while object 4's value is above 0, and the pass
  // does not end the run.
  bool judged = false;
  std::string other_name;
  std::string other_oid;
  // Whether the device has the other name's object: none when that could
  // not be told (not asked, no answer, an answer that does not say).
  std::optional<bool> other_present;
  std::optional<SeenBinding> other_binding;  // what it gave for it
};

// The answer of the run's GET, in the words of the report.
enum class AnswerKind {
  kNotAsked,  // no GET was sent
  kJudged,    // values taken in, error status 0: poll status 1
  kError,     // an answer with an error status: judged on what it carries
  kFailed,    // the run's handler failed on it: poll status 3
  kNone,      // no answer to either attempt: poll status 4
};

struct PollFindings {
  bool polled = false;       // the manager started and the GET went out
  std::string poll_problem;  // why not, when a run would end before that
  AnswerKind answer = AnswerKind::kNotAsked;
  std::optional<SeenAnswer> seen;  // the answer a run would judge
  std::array<ObjectFinding, run::kObjectCount> objects;
  // Why the check stopped asking the device before the other names (and,
  // with SNMPv1, each OID alone) were all asked; empty when it did not.
  std::string asking_stopped;
  // A run would judge all four from values the device gave.
  bool usable = false;
  // The poll and UPS status a run's trap would carry; none when no GET went
  // out, or when a run's first comparison pass ends it by an error, which
  // sends no trap.
  std::optional<int16_t> poll_status;
  int16_t ups_status = run::kUpsNotJudged;
  // The object at which a run's first comparison pass ends the run (0: it
  // does not) and why: a range without '-' (poll status 2), or a condition
  // value that is no number (an error).
  int run_end_object = 0;
  std::string run_end_reason;
};

// Reads the four object arguments into ctx.state as a run does. Returns
// the one-line reason, numbering the arguments on ctx's command line
// (cmdline::ObjectArgument), when one names no object of its slot, else an
// empty text.
std::string ReadCheckObjects(run::Context& ctx, const std::vector<std::string>& objects);

// With the node record in ctx.state (ctx.state.DebugOn false) and the
// objects read: starts the manager and sends the run's GET with its retry
// rule, scales and judges as a run's first pass does, then asks the device
// for each slot's other name in one more GET (with SNMPv1 and an error
// answer, for each OID alone). Installs its own receiver of the manager's
// events, which hands every answer on to the run's handler. Sends no trap
// (ctx's trap sender must send nothing) and writes no log.
PollFindings PollForCheck(run::Context& ctx);

// The findings for four objects that were not polled (the node cannot be
// polled): names, OIDs, conditions and other names only.
PollFindings NotPolled(const run::Context& ctx, std::string why);

}  // namespace upstest::check
