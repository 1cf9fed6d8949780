#include "run/failure.h"

#include <string>

#include "diag/log.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/wait.h"

namespace upstest::run {

namespace {

std::string Lines(Context& ctx, const FailureHandling& handling, std::string_view description) {
  switch (handling.lines) {
    case FailureLines::kCommandLine:
      return diag::CommandLineErrorGroup(ctx.env, description, ctx.argument_text);
    case FailureLines::kManagerStart:
      return diag::ManagerFailedGroup(ctx.env, description);
    case FailureLines::kErrorLine:
      break;
  }
  return diag::ErrorLine(ctx.env, handling.procedure, description, handling.empty_line_after);
}

// A send that fails for want of an address or port comes from the node
// record that was not read: that is the reason worth reading, unless the
// reader has said it already.
std::string Reason(const Context& ctx, const FailureHandling& handling,
                   std::string_view description) {
  if (handling.procedure == kSnmpSendFailure.procedure && !ctx.node_record_problem.empty() &&
      !ctx.node_record_problem_said) {
    return ctx.node_record_problem;
  }
  return std::string(handling.procedure) + ": " + diag::Printable(description);
}

}  // namespace

void HandleFailure(Context& ctx, const FailureHandling& handling, std::string_view description) {
  if (ctx.state.DebugOn) {
    diag::AppendNodeLog(ctx, Lines(ctx, handling, description));
    Wait(ctx, handling.pause_ms);
  }
  if (handling.ends_run) {
    platform::EndProgram(platform::kExitFailure, Reason(ctx, handling, description));
  }
}

}  // namespace upstest::run
