// The two renderings of a --check report: text lines and one JSON object.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "check/poll.h"

namespace upstest::run {
struct TestState;
}  // namespace upstest::run

namespace upstest::check {

// Appends the poll's lines to a text report: the answer, each object
// (name and condition, OID, the answer's type and value, the trap's value,
// the status, every warning, the other name and whether the device has
// it), and the result.
void AppendPollReport(const PollFindings& findings, std::string& report);

// The report as one JSON object, followed by a newline. Of the node record
// only the address and port appear (never a community); `findings` is none
// for a check without objects (then "answer" and the error fields are null
// and "objects" is empty).
std::string CheckJson(const run::TestState& state, std::optional<int32_t> node_id, bool pollable,
                      bool usable, const std::optional<PollFindings>& findings);

}  // namespace upstest::check
