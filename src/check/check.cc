#include "check/check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "check/poll.h"
#include "check/text.h"
#include "check/words.h"
#include "diag/log.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "run/context.h"
#include "snmp/udp_manager.h"
#include "store/ado.h"
#include "store/connection_string.h"
#include "store/node_reader.h"
#include "trap/agent.h"

namespace upstest::check {

namespace {

// "SQLite", "Access", or why the file is neither, judged as the reader
// judges it.
std::string SettingsKind(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::string("missing: ") + std::strerror(errno);
  if (!S_ISREG(st.st_mode)) return "not an ordinary file";
  try {
    return store::JudgeDatabaseFile(path) == store::DatabaseFileKind::kSqlite ? "SQLite" : "Access";
  } catch (const std::exception& e) {
    return diag::Printable(e.what());
  }
}

const char* VersionName(const run::TestState& state) {
  return run::PolledSnmpVersion(state) == 2 ? "SNMPv2c" : "SNMPv1";
}

std::string Community(const std::string& value, bool show) {
  if (show) return "\"" + diag::Printable(value) + "\"";
  return "(" + std::to_string(value.size()) + " bytes; --show-communities shows it)";
}

// The settings and the node record, one field a line.
void DescribeRecord(run::Context& ctx, bool show_communities, std::string& report) {
  const run::TestState& s = ctx.state;
  try {
    const store::NodeDatabaseSetting setting = store::ReadSettings(store::SettingsPath(s.AppBase));
    ReportLine(report, "SqlDbSetupOk:", setting.setup_ok ? "true" : "0 or Null (no node database)");
    if (setting.setup_ok) {
      ReportLine(report, "node database:", store::MaskedConnectionString(setting.connection));
    }
  } catch (const std::exception& e) {
    ReportLine(report, "SqlDbSetupOk:", "(not read: " + diag::Printable(e.what()) + ")");
  }

  // The run's own node record stage (a test may put its own in place).
  if (ctx.read_node_data) {
    ctx.read_node_data(ctx);
  } else {
    store::ReadNodeData(ctx);
  }
  ReportLine(report, "node record:",
             ctx.node_record_problem.empty()
                 ? "node_id " + std::to_string(s.NodeId) + " found in ATR_Nodes"
             : ctx.node_record_problem_said ? "read in part: " + ctx.node_record_problem
                                            : "not read: " + ctx.node_record_problem);
  ReportLine(report, "IpAddr:", "\"" + diag::Printable(s.IpAddr) + "\"");
  ReportLine(report, "UdpPort:", std::to_string(s.UdpPort));
  ReportLine(report, "status:",
             std::to_string(s.NodeStatus) +
                 (s.NodeStatus == run::kNodeStatusNoAllClear ? " (no all-clear trap)" : ""));
  ReportLine(report, "SnmpVersion:",
             "\"" + diag::Printable(s.SnmpVersion) + "\" (polled in " + VersionName(s) + ")");
  ReportLine(report, "readcomm:", Community(s.readcomm, show_communities));
  ReportLine(report, "trapcomm:", Community(s.trapcomm, show_communities));
  ReportLine(report, "LastChange:", "\"" + diag::Printable(s.LastChange) + "\"");
  ReportLine(report, "LastMessage:", "\"" + diag::Printable(s.LastMessage) + "\"");
}

// Where the node's address resolves to; why it does not, or an empty text.
std::string DescribeAddress(const run::TestState& s, std::string& report) {
  try {
    std::string list;
    for (const std::string& a : snmp::ResolveDestination(s.IpAddr, s.UdpPort)) {
      list += (list.empty() ? "" : ", ") + a;
    }
    ReportLine(report, "address resolves:", "yes: " + list);
    return {};
  } catch (const std::exception& e) {
    const std::string why = diag::Printable(e.what());
    ReportLine(report, "address resolves:", "no: " + why);
    return "node " + std::to_string(s.NodeId) + ": " + why;
  }
}

// The node id as a number, for the JSON report; none when it is no number.
std::optional<int32_t> NodeIdOf(std::string_view text) {
  try {
    return platform::ToInt32(text);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

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

constexpr const char* kCheckUsage =
    "usage: upstest --check [--show-communities] NODEID, or upstest --check[=json] NODEID "
    "[RUNTIME VOLTAGE TEMPERATURE SENSOR]";

// The node id and objects after the option word; `call.problem` set when
// they do not make one of the forms.
void ReadCheckOperands(const std::vector<std::string>& args, CheckCall& call) {
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const auto option = std::find(rest.begin(), rest.end(), "--show-communities");
  if (option != rest.end()) {
    if (call.form == CheckCall::Form::kJson) {
      call.problem = "--check=json never shows the communities";
    } else if (rest.size() != 2) {
      call.problem = "--show-communities combines only with a node id and no objects";
    } else {
      call.show_communities = true;
      call.node_id = option == rest.begin() ? rest[1] : rest[0];
    }
  } else if (rest.size() == 1 || rest.size() == 1 + run::kObjectCount) {
    call.node_id = rest[0];
    call.objects.assign(rest.begin() + 1, rest.end());
  } else {
    call.problem = args[0] + " takes a node id, and either no object or four";
  }
  if (!call.problem.empty()) call.problem += "; " + std::string(kCheckUsage);
}

}  // namespace

CheckCall ReadCheckCall(const std::vector<std::string>& args) {
  CheckCall call;
  constexpr size_t kMostDiagnosticArguments = 6;
  if (args.empty() || args.size() > kMostDiagnosticArguments) return call;
  if (args[0] == "--check") {
    call.form = CheckCall::Form::kText;
  } else if (args[0] == "--check=json") {
    call.form = CheckCall::Form::kJson;
  } else {
    if (args[0].rfind("--check=", 0) == 0) {
      call.problem =
          "\"" + diag::Printable(args[0]) + "\": the only form is --check=json; " + kCheckUsage;
    }
    return call;
  }
  ReadCheckOperands(args, call);
  return call;
}

int CheckNode(run::Context& ctx, std::string_view node_id, bool show_communities,
              std::string& report) {
  run::TestState& s = ctx.state;
  s.DebugOn = false;
  const std::string settings_path = store::SettingsPath(s.AppBase);
  ReportLine(report, "base directory:", s.AppBase.empty() ? "(none)" : s.AppBase);
  ReportLine(report,
             "settings database:", settings_path + " (" + SettingsKind(settings_path) + ")");

  try {
    s.NodeId = platform::ToInt32(node_id);
  } catch (const std::exception& e) {
    ReportLine(report, "verdict:",
               "a run could not poll this node: node id \"" + diag::Printable(node_id) +
                   "\": " + e.what());
    return platform::kExitFailure;
  }

  DescribeRecord(ctx, show_communities, report);
  // A record read in part still gives a run the address and port it read
  // first: the run polls with the fields it got, so only the address can
  // stop it.
  const bool in_part = ctx.node_record_problem_said;
  std::string problem = in_part ? std::string() : ctx.node_record_problem;
  const std::string unresolved = DescribeAddress(s, report);
  if (problem.empty()) problem = unresolved;

  if (!problem.empty()) {
    ReportLine(report, "verdict:", "a run could not poll this node: " + problem);
    return platform::kExitFailure;
  }
  ReportLine(report, "verdict:",
             "a run could poll node " + std::to_string(s.NodeId) + " at " +
                 diag::Printable(s.IpAddr) + " port " + std::to_string(s.UdpPort) + " (" +
                 VersionName(s) + ")" +
                 (in_part ? ", with the fields after the record's unreadable column empty" : ""));
  return platform::kExitNormal;
}

int RunCheck(run::Context& base, const CheckCall& call, std::string& out) {
  SilentAgent silent;
  run::Context ctx(base.env, base.pump, base.snmpManager, silent, base.argument_text);
  ctx.state.AppBase = base.state.AppBase;
  ctx.log.SetBase(ctx.state.AppBase);
  ctx.read_node_data = base.read_node_data;
  const bool with_objects = !call.objects.empty();
  if (with_objects) {
    // The objects follow --check and the node id: arguments 3 to 6.
    const std::string problem = ReadCheckObjects(ctx, call.objects, 3);
    if (!problem.empty()) {
      ctx.env.WriteStderrLine(problem);
      return platform::kExitArgumentError;
    }
  }
  std::string text;
  const bool node_pollable = CheckNode(ctx, call.node_id, call.show_communities, text) == 0;
  std::optional<PollFindings> findings;
  if (with_objects) {
    findings = node_pollable ? PollForCheck(ctx) : NotPolled(ctx, "a run could not poll this node");
  }
  const bool pollable = node_pollable && (!findings || findings->polled);
  const bool usable = findings ? findings->usable : pollable;
  if (call.form == CheckCall::Form::kJson) {
    out = CheckJson(ctx.state, NodeIdOf(call.node_id), pollable, usable, findings);
  } else {
    out = std::move(text);
    if (findings) AppendPollReport(*findings, out);
  }
  return usable ? platform::kExitNormal : platform::kExitFailure;
}

}  // namespace upstest::check
