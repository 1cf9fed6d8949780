#include "check/check.h"

#include <string>
#include <vector>

#include "check/json.h"
#include "check/node.h"
#include "check/poll.h"
#include "check/report.h"
#include "check/text.h"
#include "platform/error.h"
#include "run/context.h"
#include "trap/agent.h"

namespace upstest::check {

namespace {

// The trap sender of a check: it sends nothing, whatever it is asked.
class SilentAgent final : public trap::Agent {
 public:
  void Reset() override {}
  void SetVersion(int32_t) override {}
  void Config(const std::string&) override {}
  void SetObjCount(int16_t) override {}
  void SetObjId(int32_t, const std::string&) override {}
  void SetObjType(int32_t, int32_t) override {}
  void SetObjValue(int32_t, const std::string&) override {}
  void SendTrap(const std::string&, const std::string&) override {}
};

// Every finding of the call, with the objects already read into ctx.state.
Report Collect(run::Context& ctx, const CheckCall& call) {
  Report report;
  report.show_communities = call.show_communities;
  report.node = ReadNodeForCheck(ctx, call.node_id);
  const bool node_pollable = report.node.Pollable();
  if (!call.objects.empty()) {
    report.poll =
        node_pollable ? PollForCheck(ctx) : NotPolled(ctx, "a run could not poll this node");
  }
  report.pollable = node_pollable && (!report.poll || report.poll->polled);
  report.usable = report.poll ? report.poll->usable : report.pollable;
  return report;
}

std::string Render(const Report& report, CheckCall::Form form) {
  return form == CheckCall::Form::kJson ? JsonReport(report) : TextReport(report);
}

}  // namespace

int RunCheck(run::Context& base, const CheckCall& call, std::string& out) {
  SilentAgent silent;
  run::Context ctx(base.env, base.pump, base.snmpManager, silent, base.argument_text);
  ctx.state.AppBase = base.state.AppBase;
  ctx.log.SetBase(ctx.state.AppBase);
  ctx.read_node_data = base.read_node_data;
  ctx.command = run::Command::kCheck;
  if (!call.objects.empty()) {
    const std::string problem = ReadCheckObjects(ctx, call.objects);
    if (!problem.empty()) {
      ctx.env.WriteStderrLine(problem);
      return platform::kExitArgumentError;
    }
  }
  const Report report = Collect(ctx, call);
  out = Render(report, call.form);
  return report.usable ? platform::kExitNormal : platform::kExitFailure;
}

}  // namespace upstest::check
