#include "check/node.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <string>

#include "diag/log.h"
#include "platform/convert.h"
#include "run/context.h"
#include "snmp/udp_manager.h"
#include "store/ado.h"
#include "store/connection_string.h"
#include "store/node_reader.h"

namespace upstest::check {

namespace {

// "SQLite", "Access", or why the file is neither: judged as the reader
// judges it (an ordinary file, of one of the two kinds).
std::string SettingsKind(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return std::string("missing: ") + std::strerror(errno);
  try {
    return store::JudgeDatabaseFile(path) == store::DatabaseFileKind::kSqlite ? "SQLite" : "Access";
  } catch (const std::exception& e) {
    return e.what();
  }
}

// SqlDbSetupOk and the node database's connection string.
void ReadSettings(const std::string& base, NodeFindings& n) {
  try {
    const store::NodeDatabaseSetting setting = store::ReadSettings(store::SettingsPath(base));
    n.setup_ok = setting.setup_ok;
    if (setting.setup_ok) n.connection = store::MaskedConnectionString(setting.connection);
  } catch (const std::exception& e) {
    n.settings_problem = e.what();
  }
}

// The run's own node record stage (a test may put its own in place), and
// the fields it left.
void ReadRecord(run::Context& ctx, NodeFindings& n) {
  if (ctx.read_node_data) {
    ctx.read_node_data(ctx);
  } else {
    store::ReadNodeData(ctx);
  }
  n.record_problem = ctx.node_record_problem;
  n.record_in_part = ctx.node_record_problem_said;
}

void TakeFields(const run::TestState& s, NodeFindings& n) {
  n.address = s.IpAddr;
  n.port = s.UdpPort;
  n.status = s.NodeStatus;
  n.snmp_version = s.SnmpVersion;
  n.polled_version = run::PolledSnmpVersionName(s);
  n.readcomm = s.readcomm;
  n.trapcomm = s.trapcomm;
  n.last_change = s.LastChange;
  n.last_message = s.LastMessage;
}

// Where the node's address resolves to, or why it does not.
void Resolve(const run::TestState& s, NodeFindings& n) {
  try {
    n.resolved = snmp::ResolveDestination(s.IpAddr, s.UdpPort);
  } catch (const std::exception& e) {
    n.unresolved = e.what();
  }
}

}  // namespace

NodeFindings ReadNodeForCheck(run::Context& ctx, std::string_view node_id) {
  run::TestState& s = ctx.state;
  s.DebugOn = false;
  NodeFindings n;
  n.base_directory = s.AppBase;
  n.settings_path = store::SettingsPath(s.AppBase);
  n.settings_kind = SettingsKind(n.settings_path);
  try {
    s.NodeId = platform::ToInt32(node_id);
  } catch (const std::exception& e) {
    n.problem = "node id \"" + diag::Printable(node_id) + "\": " + e.what();
    TakeFields(s, n);
    return n;
  }
  n.node_id = s.NodeId;
  ReadSettings(s.AppBase, n);
  ReadRecord(ctx, n);
  TakeFields(s, n);
  Resolve(s, n);
  if (!n.record_in_part) n.problem = n.record_problem;
  if (n.problem.empty() && !n.unresolved.empty()) {
    n.problem = "node " + std::to_string(s.NodeId) + ": " + diag::Printable(n.unresolved);
  }
  return n;
}

}  // namespace upstest::check
