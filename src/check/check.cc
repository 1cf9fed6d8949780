#include "check/check.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "check/json.h"
#include "check/node.h"
#include "check/plugin.h"
#include "check/poll.h"
#include "check/prometheus.h"
#include "check/report.h"
#include "check/text.h"
#include "platform/error.h"
#include "platform/exit_status.h"
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
Report Collect(run::Context& ctx, const CheckCall& call, int64_t started_ms) {
  Report report;
  report.node_argument = call.node_id;
  report.show_communities = call.show_communities;
  report.node = ReadNodeForCheck(ctx, call.node_id);
  const bool node_pollable = report.node.Pollable();
  if (!call.objects.empty()) {
    report.poll =
        node_pollable ? PollForCheck(ctx) : NotPolled(ctx, "a run could not poll this node");
  }
  report.pollable = node_pollable && (!report.poll || report.poll->polled);
  report.usable = report.poll ? report.poll->usable : report.pollable;
  DecideState(report);
  report.duration_ms = ctx.env.MonotonicMs() - started_ms;
  return report;
}

std::string Render(const Report& report, CheckCall::Form form) {
  switch (form) {
    case CheckCall::Form::kJson:
      return JsonReport(report);
    case CheckCall::Form::kPlugin:
      return PluginReport(report);
    case CheckCall::Form::kPrometheus:
      return PrometheusReport(report);
    case CheckCall::Form::kNone:
    case CheckCall::Form::kText:
      break;
  }
  return TextReport(report);
}

}  // namespace

Report CheckReport(run::Context& base, const CheckCall& call) {
  const int64_t started_ms = base.env.MonotonicMs();
  SilentAgent silent;
  run::Context ctx(base.env, base.pump, base.snmpManager, silent, base.argument_text);
  ctx.state.AppBase = base.state.AppBase;
  ctx.log.SetBase(ctx.state.AppBase);
  ctx.read_node_data = base.read_node_data;
  ctx.command = run::Command::kCheck;
  if (!call.objects.empty()) {
    const std::string problem = ReadCheckObjects(ctx, call.objects);
    if (!problem.empty()) platform::EndProgram(platform::kExitArgumentError, problem);
  }
  return Collect(ctx, call, started_ms);
}

int RunCheck(run::Context& base, const CheckCall& call, std::string& out) {
  const Report report = CheckReport(base, call);
  out = Render(report, call.form);
  if (call.form == CheckCall::Form::kPlugin) return PluginExitStatus(report.state);
  return report.usable ? platform::kExitNormal : platform::kExitFailure;
}

int PluginStatusOf(const std::function<int()>& command, std::string& out) noexcept {
  return platform::ExitStatusOf(command, [&out](int, std::string_view reason) {
    try {
      out = PluginUnknown(reason);
    } catch (...) {
      // No memory left for the line: the state stands without it.
    }
    return kPluginUnknown;
  });
}

}  // namespace upstest::check
