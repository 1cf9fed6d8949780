#include "check/poll.h"

#include <exception>
#include <string>
#include <utility>

#include "check/asking.h"
#include "check/words.h"
#include "cmdline/object_name_table.h"
#include "cmdline/read_command_line.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/scaling.h"
#include "run/status_compare.h"
#include "snmp/binding_value.h"
#include "snmp/manager.h"
#include "snmp/message.h"
#include "snmp/response.h"
#include "snmp/status_request.h"

namespace upstest::check {

namespace {

// Takes the manager's events for the check: reads each answer's bindings as
// they came, then hands the answer to the run's own handler, so that
// ObjValue, ResponseReceived and ResponseError are exactly a run's.
class AnswerRecorder final : public snmp::ManagerEvents {
 public:
  explicit AnswerRecorder(run::Context& ctx) : ctx_(ctx) { ctx_.snmpManager.SetEvents(this); }
  ~AnswerRecorder() override { ctx_.snmpManager.SetEvents(nullptr); }
  AnswerRecorder(const AnswerRecorder&) = delete;
  AnswerRecorder& operator=(const AnswerRecorder&) = delete;

  void Response(int32_t request_id, int16_t error_status, int16_t error_index,
                const std::string& error_description) override {
    last = Read(error_status, error_index);
    snmp::snmpManager_Response(ctx_, request_id, error_status, error_index, error_description);
  }
  void BadPacket(int16_t error_code, const std::string& error_description) override {
    snmp::snmpManager_BadPacket(ctx_, error_code, error_description);
  }

  // The last answer delivered, accepted by the run's handler or not: the
  // one whose values ObjValue holds.
  std::optional<SeenAnswer> last;

 private:
  SeenAnswer Read(int16_t error_status, int16_t error_index) {
    SeenAnswer seen;
    seen.error_status = error_status;
    seen.error_index = error_index;
    snmp::Manager& manager = ctx_.snmpManager;
    try {
      seen.count = manager.ObjCount();
      for (int16_t n = 1; n <= seen.count; ++n) {
        const std::string failure = HandlerFailure(manager, n);
        if (!failure.empty() && seen.failing_binding == 0) seen.failing_binding = n;
        if (n > run::kObjectCount) break;  // the objects take four: no more are shown
        SeenBinding binding;
        binding.oid = manager.ObjId(n - 1);
        binding.type = manager.ObjValueType(n - 1);
        if (!snmp::IsValueless(binding.type)) binding.raw = manager.ObjValue(n - 1);
        binding.failure = failure;
        seen.bindings.push_back(std::move(binding));
      }
    } catch (const std::exception&) {
      // A binding that cannot be read stays out; the run's handler reads the
      // same and reports its failure through the flags.
    }
    return seen;
  }

  // Why the run's handler fails on binding n, or an empty text when it
  // takes its value.
  static std::string HandlerFailure(snmp::Manager& manager, int n) {
    try {
      snmp::BindingValue(manager, n);
      return {};
    } catch (const std::exception& e) {
      return e.what();
    }
  }

  run::Context& ctx_;
};

// The accepted name of slot k that polls `oid`, and the slot's other name.
void NameObject(ObjectFinding& object, int k, const std::string& oid) {
  for (const cmdline::ObjectName& row : cmdline::ObjectNameTable[static_cast<size_t>(k - 1)]) {
    if (row.oid == oid) {
      object.name = std::string(row.name);
    } else {
      object.other_name = std::string(row.name);
      object.other_oid = std::string(row.oid);
    }
  }
}

AnswerKind KindOf(const run::TestState& state, const std::optional<SeenAnswer>& seen) {
  if (!state.ResponseReceived) return AnswerKind::kNone;
  if (state.ResponseError) return AnswerKind::kFailed;
  if (seen && seen->error_status != snmp::kErrorStatusNoError) return AnswerKind::kError;
  return AnswerKind::kJudged;
}

// A binding that names another OID than the one asked in its place: a run
// judges bindings by their place in the answer, never by their OIDs, so the
// value it takes may be another object's.
void OidWarning(ObjectFinding& object) {
  const std::optional<SeenBinding>& b = object.binding;
  object.wrong_oid = b && b->oid != object.oid;
  if (!object.wrong_oid) return;
  object.warnings.push_back("the device answered " + b->oid +
                            " in this place, not the OID asked (" + object.oid +
                            "): a run takes the value by its place all the same");
}

// What the answer left for object k, before judging.
void AnswerWarnings(const PollFindings& f, ObjectFinding& object, const std::string& failure) {
  auto& w = object.warnings;
  if (f.answer == AnswerKind::kNone) {
    w.push_back("no answer to either attempt: a run judges nothing (poll status 4)");
    return;
  }
  if (f.answer == AnswerKind::kError) {
    w.push_back("the answer is an error (" + snmp::ErrorStatusText(f.seen->error_status) +
                ", index " + std::to_string(f.seen->error_index) + "): a run judges the " +
                std::to_string(object.value.value_or(0)) +
                " it leaves here, not a value the device gave");
    return;
  }
  const std::optional<SeenBinding>& b = object.binding;
  if (!b) {
    w.push_back("the answer has no binding for this object: a run keeps 0 for it");
  } else if (b->type == snmp::kTypeNoSuchObject || b->type == snmp::kTypeNoSuchInstance) {
    w.push_back("the device does not have this object (" + snmp::TypeName(b->type) +
                "): a run counts it as 0, the same as a real 0");
  } else if (b->type == snmp::kTypeNull) {
    w.push_back("the device gave NULL: a run counts it as 0");
  } else if (!b->failure.empty()) {
    w.push_back(Describe(*b) + " fails a run's whole poll (poll status 3): " + b->failure);
    return;
  }
  if (f.answer == AnswerKind::kFailed) {
    w.push_back("the poll fails on " + failure + ": a run judges nothing (poll status 3)");
  }
}

// What fails the run's handler: the first value that does not convert, or
// a fifth binding.
std::string FailureCause(const PollFindings& f) {
  const int n = f.seen ? f.seen->failing_binding : 0;
  if (n == 0) return "a binding that cannot be read";
  return (n <= run::kObjectCount ? "the value of object " : "the answer's binding ") +
         std::to_string(n);
}

struct RunEnd {
  int object = 0;  // 0: the first pass ends normally
  int status = 0;
  std::string reason;
};

// A run's first comparison pass, which may end the run (a range condition
// without '-', a condition value that is no number).
RunEnd FirstPass(run::Context& ctx) {
  for (int16_t i = 1; i <= run::kObjectCount; ++i) {
    try {
      run::StatusCompare(ctx, i);
    } catch (const platform::ProgramEnd& end) {
      return {i, end.status, end.reason};
    }
  }
  return {};
}

// Why a judged answer leaves object k without a verdict of its own.
void JudgingWarnings(const run::TestState& s, const RunEnd& end, ObjectFinding& object) {
  const int k = object.slot;
  const std::string& op = s.ObjCondSign(k);
  auto& w = object.warnings;
  if (end.object == k) {
    w.push_back(end.status == platform::kExitArgumentError
                    ? "a run ends here with poll status 2 (argument error): " + end.reason
                    : "a run ends here by an error, without a trap: " + end.reason);
  } else if (end.object != 0) {
    w.push_back("a run ends at object " + std::to_string(end.object) +
                ", so no verdict on this one is reported");
  } else if (op == "|" && !run::RangesAreJudged(s)) {
    const std::string why = "a range is judged only while object 4's value is above 0 (it is " +
                            std::to_string(s.ObjValue(4)) + ")";
    w.push_back(k == 4 ? "counted as met without judging: " + why : "not judged: " + why);
  } else if (!run::IsJudgedOperator(op)) {
    w.push_back("not judged: the condition's operator \"" + op + "\" is none of = < > |");
  } else {
    object.judged = true;
  }
}

// The poll and UPS status of a run's trap, and where its first pass ends it.
void RunStatuses(const RunEnd& end, PollFindings& f) {
  if (f.answer == AnswerKind::kNone || f.answer == AnswerKind::kFailed) {
    f.poll_status = f.answer == AnswerKind::kNone ? run::kPollNoAnswer : run::kPollHandlerFailed;
    return;
  }
  f.run_end_object = end.object;
  f.run_end_reason = end.reason;
  if (end.object != 0) {
    // A range error sends its trap; an error ends the run without one.
    if (end.status == platform::kExitArgumentError) f.poll_status = run::kPollArgumentError;
    return;
  }
  f.poll_status = run::kPollJudged;
  f.ups_status = run::kUpsAllMet;
  for (const ObjectFinding& object : f.objects) {
    if (object.status == run::kObjFailed) f.ups_status = run::kUpsConditionFailed;
  }
}

// The answer and the first pass, as a run would take them.
void JudgeAsRun(run::Context& ctx, const std::optional<SeenAnswer>& seen, PollFindings& f) {
  run::TestState& s = ctx.state;
  f.answer = KindOf(s, seen);
  if (f.answer != AnswerKind::kNone) f.seen = seen;
  for (ObjectFinding& object : f.objects) {
    if (f.seen && static_cast<size_t>(object.slot) <= f.seen->bindings.size()) {
      object.binding = f.seen->bindings[static_cast<size_t>(object.slot - 1)];
    }
  }
  run::ScaleValues(s);
  RunEnd end;
  if (f.answer == AnswerKind::kNone || f.answer == AnswerKind::kFailed) {
    run::SetNotJudged(s,
                      f.answer == AnswerKind::kNone ? run::kPollNoAnswer : run::kPollHandlerFailed);
  } else {
    end = FirstPass(ctx);
  }
  const std::string failure = FailureCause(f);
  for (ObjectFinding& object : f.objects) {
    object.value = s.ObjValue(object.slot);
    object.status = s.ObjStatus(object.slot);
    OidWarning(object);
    // A value the device gave is one the answer leaves no warning about.
    const size_t before = object.warnings.size();
    AnswerWarnings(f, object, failure);
    object.present = object.warnings.size() == before && !object.wrong_oid;
    if (f.answer == AnswerKind::kJudged || f.answer == AnswerKind::kError) {
      JudgingWarnings(s, end, object);
    }
  }
  RunStatuses(end, f);
}

}  // namespace

std::string ReadCheckObjects(run::Context& ctx, const std::vector<std::string>& objects) {
  for (int k = 1; k <= run::kObjectCount && static_cast<size_t>(k) <= objects.size(); ++k) {
    const std::string& arg = objects[static_cast<size_t>(k - 1)];
    if (!cmdline::ReadObject(ctx.state, k, arg)) {
      return cmdline::UnacceptedObject(ctx, k, arg);
    }
  }
  return {};
}

PollFindings NotPolled(const run::Context& ctx, std::string why) {
  PollFindings f;
  f.poll_problem = std::move(why);
  for (int k = 1; k <= run::kObjectCount; ++k) {
    ObjectFinding& object = f.objects[static_cast<size_t>(k - 1)];
    object.slot = k;
    object.oid = ctx.state.ObjOid(k);
    object.condition = ctx.state.ObjCondSign(k) + ctx.state.ObjCondVal(k);
    object.met = run::MetValues(ctx.state.ObjCondSign(k), ctx.state.ObjCondVal(k));
    NameObject(object, k, object.oid);
  }
  return f;
}

PollFindings PollForCheck(run::Context& ctx) {
  PollFindings f = NotPolled(ctx, {});
  AnswerRecorder recorder(ctx);
  const int64_t started_ms = ctx.env.MonotonicMs();
  try {
    snmp::StartManager(ctx);
    snmp::CheckStatus(ctx);
  } catch (const platform::ProgramEnd& end) {
    f.poll_problem = end.reason;
    return f;
  }
  f.polled = true;
  JudgeAsRun(ctx, recorder.last, f);
  // The answer a run would judge is taken; only then is the device asked
  // more, and not at all when it did not answer.
  if (f.answer != AnswerKind::kNone) {
    Asking asking{ctx, recorder.last, started_ms, f.asking_stopped};
    AskOtherNames(asking, f);
  }
  f.usable = f.answer == AnswerKind::kJudged;
  for (const ObjectFinding& object : f.objects) {
    if (!object.warnings.empty()) f.usable = false;
  }
  return f;
}

}  // namespace upstest::check
