// The findings of one `upstest --check`, all collected before anything is
// printed. Each rendering (check/text.h, check/json.h) only formats them:
// it looks at nothing else and decides no verdict, state or warning that
// the report does not hold, so no two renderings can disagree.
#pragma once

#include <optional>

#include "check/node.h"
#include "check/poll.h"

namespace upstest::check {

struct Report {
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
};

}  // namespace upstest::check
