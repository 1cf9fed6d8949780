#include "run/check.h"

#include <sys/stat.h>

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "diag/log.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "run/context.h"
#include "snmp/udp_manager.h"
#include "store/ado.h"
#include "store/connection_string.h"
#include "store/node_reader.h"

namespace upstest::run {

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

const char* VersionName(const TestState& state) {
  return PolledSnmpVersion(state) == 2 ? "SNMPv2c" : "SNMPv1";
}

std::string Community(const std::string& value, bool show) {
  if (show) return "\"" + diag::Printable(value) + "\"";
  return "(" + std::to_string(value.size()) + " bytes; --show-communities shows it)";
}

void Line(std::string& report, std::string_view label, const std::string& value) {
  report += std::string(label);
  report.append(label.size() < 20 ? 20 - label.size() : 1, ' ');
  report += value;
  report += '\n';
}

}  // namespace

int CheckNode(Context& ctx, std::string_view node_id, bool show_communities, std::string& report) {
  TestState& s = ctx.state;
  s.DebugOn = false;
  const std::string settings_path = store::SettingsPath(s.AppBase);
  Line(report, "base directory:", s.AppBase.empty() ? "(none)" : s.AppBase);
  Line(report, "settings database:", settings_path + " (" + SettingsKind(settings_path) + ")");

  try {
    s.NodeId = platform::ToInt32(node_id);
  } catch (const std::exception& e) {
    Line(report, "verdict:",
         "a run could not poll this node: node id \"" + diag::Printable(node_id) +
             "\": " + e.what());
    return platform::kExitFailure;
  }

  try {
    const store::NodeDatabaseSetting setting = store::ReadSettings(settings_path);
    Line(report, "SqlDbSetupOk:", setting.setup_ok ? "true" : "0 or Null (no node database)");
    if (setting.setup_ok) {
      Line(report, "node database:", store::MaskedConnectionString(setting.connection));
    }
  } catch (const std::exception& e) {
    Line(report, "SqlDbSetupOk:", std::string("(not read: ") + diag::Printable(e.what()) + ")");
  }

  store::ReadNodeData(ctx);
  const bool record_read = ctx.node_record_problem.empty();
  Line(report, "node record:",
       record_read ? "node_id " + std::to_string(s.NodeId) + " found in ATR_Nodes"
                   : "not read: " + ctx.node_record_problem);
  Line(report, "IpAddr:", "\"" + diag::Printable(s.IpAddr) + "\"");
  Line(report, "UdpPort:", std::to_string(s.UdpPort));
  Line(report, "status:",
       std::to_string(s.NodeStatus) +
           (s.NodeStatus == kNodeStatusNoAllClear ? " (no all-clear trap)" : ""));
  Line(report, "SnmpVersion:",
       "\"" + diag::Printable(s.SnmpVersion) + "\" (polled in " + VersionName(s) + ")");
  Line(report, "readcomm:", Community(s.readcomm, show_communities));
  Line(report, "trapcomm:", Community(s.trapcomm, show_communities));
  Line(report, "LastChange:", "\"" + diag::Printable(s.LastChange) + "\"");
  Line(report, "LastMessage:", "\"" + diag::Printable(s.LastMessage) + "\"");

  std::string problem = ctx.node_record_problem;
  try {
    std::string list;
    for (const std::string& a : snmp::ResolveDestination(s.IpAddr, s.UdpPort)) {
      list += (list.empty() ? "" : ", ") + a;
    }
    Line(report, "address resolves:", "yes: " + list);
  } catch (const std::exception& e) {
    const std::string why = diag::Printable(e.what());
    Line(report, "address resolves:", "no: " + why);
    if (problem.empty()) problem = "node " + std::to_string(s.NodeId) + ": " + why;
  }

  if (!problem.empty()) {
    Line(report, "verdict:", "a run could not poll this node: " + problem);
    return platform::kExitFailure;
  }
  Line(report, "verdict:",
       "a run could poll node " + std::to_string(s.NodeId) + " at " + diag::Printable(s.IpAddr) +
           " port " + std::to_string(s.UdpPort) + " (" + VersionName(s) + ")");
  return platform::kExitNormal;
}

}  // namespace upstest::run
