// The findings of one `upstest --check`, all collected before anything is
// printed. Each rendering (check/text.h, check/json.h, check/plugin.h,
// check/prometheus.h) only formats them: it looks at nothing else and
// decides no verdict, state or warning that the report does not hold, so
// no two renderings can disagree.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check/node.h"
#include "check/poll.h"

namespace upstest::check {

// The verdict in the four states a scheduler reads.
enum class SchedulerState { kOk, kWarning, kCritical, kUnknown };

struct Report {
  std::string node_argument;  // the node id as the call gave it
  NodeFindings node;
  // With the four objects: the run's poll and the further GETs; none
  // without objects.
  std::optional<PollFindings> poll;
  // A run could poll the node (with objects: and its GET went out).
  bool pollable = false;
  // The exit-0 condition: pollable, and with objects a run would judge all
  // four from values the device gave.
  bool usable = false;
  // The call asked to show the communities (only the text does, and only
  // then); otherwise their length stands for them.
  bool show_communities = false;
  // The verdict (DecideState) and the slots (1..4) it is about, in order.
  SchedulerState state = SchedulerState::kUnknown;
  std::vector<int> concerned;
  int64_t duration_ms = 0;  // from the call's start to its report, monotonic
};

// Sets report.state to the first state that applies, and report.concerned:
//  - kUnknown: no objects, the node cannot be polled or the GET did not go
//    out, a run cannot take the answer in (poll status 3), or its first
//    comparison pass ends it (a range without '-', poll status 2; a
//    condition value that is no number);
//  - kCritical: no answer to either attempt (poll status 4), or a
//    condition failed on a value the device gave (those objects concerned);
//  - kWarning: a value a run would judge was not given by the device
//    (ObjectFinding::present), or an object is left unjudged (those
//    objects concerned): a condition's outcome on such a value is not news
//    about the UPS;
//  - kOk: every condition met on values the device gave.
void DecideState(Report& report);

}  // namespace upstest::check
