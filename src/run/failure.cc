#include "run/failure.h"

#include <string>

#include "diag/log.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/wait.h"
#include "trap/status_trap.h"

namespace upstest::run {

namespace {

void WriteLines(Context& ctx, const FailureHandling& handling, std::string_view description) {
  platform::Env& env = ctx.env;
  switch (handling.lines) {
    case FailureLines::kNone:
      return;
    case FailureLines::kErrorLine:
      ctx.log.AppendNodeLog(
          diag::ErrorLine(env, handling.procedure, description, handling.empty_line_after));
      return;
    case FailureLines::kCommandLine:
      ctx.log.AppendNodeLog(diag::CommandLineErrorGroup(env, description, ctx.argument_text));
      return;
    case FailureLines::kManagerStart:
      ctx.log.AppendNodeLog(diag::ManagerFailedGroup(env, description));
      return;
    case FailureLines::kArgumentError:
      ctx.log.AppendSwitchFile(diag::ArgumentErrorGroup(env, ctx.argument_text));
      return;
  }
}

std::string Reason(const Context& ctx, const FailureHandling& handling,
                   std::string_view description) {
  switch (handling.reason) {
    case FailureReason::kDescription:
      return std::string(description);
    case FailureReason::kNodeRecord:
      if (!ctx.node_record_problem.empty() && !ctx.node_record_problem_said) {
        return ctx.node_record_problem;
      }
      break;
    case FailureReason::kProcedure:
      break;
  }
  return std::string(handling.procedure) + ": " + diag::Printable(description);
}

// Everything an entry does before its end: lines, trap, pause.
void CarryOut(Context& ctx, const FailureHandling& handling, std::string_view description) {
  const bool log_on = ctx.state.DebugOn;
  if (log_on) WriteLines(ctx, handling, description);
  if (handling.trap != kNoTrap) {
    SetNotJudged(ctx.state, handling.trap);
    trap::SendTrap(ctx);
  }
  if (handling.pause_ms > 0 && (log_on || handling.pause_with_log_off)) {
    Wait(ctx, handling.pause_ms);
  }
}

[[noreturn]] void End(const Context& ctx, const FailureHandling& handling,
                      std::string_view description) {
  platform::EndProgram(handling.exit_status, Reason(ctx, handling, description));
}

}  // namespace

void HandleFailure(Context& ctx, const FailureHandling& handling, std::string_view description) {
  CarryOut(ctx, handling, description);
  if (handling.exit_status != kReturns) End(ctx, handling, description);
}

void EndWithArgumentError(Context& ctx, std::string_view reason) {
  CarryOut(ctx, kArgumentErrorEnd, reason);
  End(ctx, kArgumentErrorEnd, reason);
}

}  // namespace upstest::run
