#include "check/report.h"

#include "run/test_state.h"

namespace upstest::check {

namespace {

// The slots of the objects that `pick` takes.
template <typename Pick>
std::vector<int> Slots(const PollFindings& f, Pick pick) {
  std::vector<int> slots;
  for (const ObjectFinding& object : f.objects) {
    if (pick(object)) slots.push_back(object.slot);
  }
  return slots;
}

}  // namespace

void DecideState(Report& report) {
  report.concerned.clear();
  report.state = SchedulerState::kUnknown;
  if (!report.poll || !report.pollable) return;
  const PollFindings& f = *report.poll;
  if (f.answer == AnswerKind::kFailed || f.run_end_object != 0) return;
  report.state = SchedulerState::kCritical;
  if (f.answer == AnswerKind::kNone) return;
  report.concerned =
      Slots(f, [](const ObjectFinding& o) { return o.present && o.status == run::kObjFailed; });
  if (!report.concerned.empty()) return;
  report.concerned = Slots(f, [](const ObjectFinding& o) { return !o.present || !o.judged; });
  report.state = report.concerned.empty() ? SchedulerState::kOk : SchedulerState::kWarning;
}

}  // namespace upstest::check
