#include "store/node_reader.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "diag/log.h"
#include "run/context.h"
#include "run/failure.h"
#include "store/ado.h"
#include "store/connection_string.h"

namespace upstest::store {
namespace {

constexpr int kNodeOpenTimeoutS = 5;
// The first column of the node record: while it is being read, nothing of
// the record is stored yet.
constexpr const char* kFirstColumn = "address";

// The settings file's name as a connection string value. A base directory
// holding ';' or beginning with a quote is quoted, so that it still names
// the file.
std::string DataSourceValue(const std::string& path) {
  const bool plain = path.find(';') == std::string::npos &&
                     (path.empty() || (path.front() != '"' && path.front() != '\''));
  if (plain) return path;
  std::string quoted = "\"";
  for (char c : path) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

// The node's record, found by its id as a quoted literal.
std::string NodeQuery(int32_t node_id) {
  return "SELECT address, status, readcomm, trapcomm, SnmpVersion, LastChange, LastMessage, "
         "UdpPort FROM ATR_Nodes WHERE node_id = '" +
         std::to_string(node_id) + "'";
}

// How far the reader came: for the one line that says why no full record
// was read, which is built only when one was not.
struct Progress {
  enum class Stage { kSettings, kNoSetup, kNodeDatabase, kRow } stage = Stage::kSettings;
  // The column of the row being read when a failure came.
  const char* stopped_at = kFirstColumn;
  NodeDatabaseSetting setting;
};

void SetProblem(run::Context& ctx, const std::string& what) {
  ctx.node_record_problem = "node " + std::to_string(ctx.state.NodeId) + ": " + what;
}

// Paths B and C: the node database left errors after its open or after the
// query, so nothing is read. The line and the pause come while the
// connection is still open; it closes when the caller returns.
void ErrorsLeft(run::Context& ctx, const std::string& what) {
  SetProblem(ctx, what);
  run::HandleFailure(ctx, run::kReadNodeDataErrors, "");
}

// Only the first record counts. Each field is stored as soon as its column
// is read, so a failing column leaves the earlier ones stored.
void StoreRecord(const Recordset& rs, run::TestState& s, const char*& stopped_at) {
  const auto column = [&](const char* name) -> const Value& {
    stopped_at = name;
    return rs.Fields(name);
  };
  s.IpAddr = column(kFirstColumn).AsText();
  s.UdpPort = column("UdpPort").AsInt32();
  s.NodeStatus = column("status").AsInt16();
  s.SnmpVersion = column("SnmpVersion").AsText();
  s.readcomm = column("readcomm").AsText();
  s.trapcomm = column("trapcomm").AsText();
  s.LastChange = column("LastChange").AsText();
  s.LastMessage = column("LastMessage").AsText();
}

// Opens the node database, runs the query and stores the node's record.
// False when the database left errors (path B or C, taken here). The
// recordset and then the connection close as this returns or throws.
bool ReadNodeRow(run::Context& ctx, ProviderOpener opener, Progress& progress) {
  const std::string& DbConnString = progress.setting.connection;
  Connection conn(opener);
  conn.ConnectionString = DbConnString;
  conn.ConnectionTimeout = kNodeOpenTimeoutS;
  conn.Open("", "", "", kConnectUnspecified);
  if (conn.ErrorsCount() > 0) {
    ErrorsLeft(ctx, "the node database " + MaskedConnectionString(DbConnString) +
                        " reported errors when opened");
    return false;
  }
  const std::unique_ptr<Recordset> rs =
      conn.Execute(NodeQuery(ctx.state.NodeId), kOptionUnspecified);
  if (conn.ErrorsCount() > 0) {
    ErrorsLeft(ctx, "the query of ATR_Nodes in " + MaskedConnectionString(DbConnString) +
                        " reported errors");
    return false;
  }
  if (rs->Eof()) {
    SetProblem(ctx, "no row in ATR_Nodes of " + MaskedConnectionString(DbConnString));
  } else {
    progress.stage = Progress::Stage::kRow;
    StoreRecord(*rs, ctx.state, progress.stopped_at);
  }
  return true;
}

// Path A: says why no full record was read, then takes the reader's
// failure handling. The databases are closed by now, and the log is
// written with one append each time, so no log file is left open either.
void ReadFailed(run::Context& ctx, const Progress& progress, const std::string& settings_path,
                const std::exception& e) {
  const std::string& DbConnString = progress.setting.connection;
  switch (progress.stage) {
    case Progress::Stage::kSettings:
      SetProblem(ctx, "cannot read the settings database " + settings_path);
      break;
    case Progress::Stage::kNoSetup:
      SetProblem(ctx,
                 "SqlDbSetupOk in " + settings_path + " is 0 or Null: no node database is set up");
      break;
    case Progress::Stage::kNodeDatabase:
      SetProblem(ctx, "cannot read the node database " + MaskedConnectionString(DbConnString));
      break;
    case Progress::Stage::kRow:
      SetProblem(ctx,
                 "cannot read the row of ATR_Nodes in " + MaskedConnectionString(DbConnString));
      // A row read in part lets the run go on with the fields before the
      // column that stopped it, and poll, perhaps with an empty community:
      // that is said at once, since the run may well end normally. Said
      // here, it is not said again as the reason of an end.
      if (progress.stopped_at != kFirstColumn) {
        ctx.env.WriteStderrLine("node " + std::to_string(ctx.state.NodeId) +
                                ": record read up to column " + progress.stopped_at + ": " +
                                diag::Printable(e.what()) + "; the fields after it are empty");
        ctx.node_record_problem_said = true;
      }
      break;
  }
  ctx.node_record_problem += ": " + diag::Printable(e.what());
  run::HandleFailure(ctx, run::kReadNodeDataFailure, e.what());
}

}  // namespace

std::string SettingsPath(const std::string& app_base) { return app_base + "/Kovatrel.mdb"; }

diag::NodeRecord LoggedRecord(const run::TestState& s) {
  return {.address = s.IpAddr,
          .port = s.UdpPort,
          .status = s.NodeStatus,
          .snmp_version = s.SnmpVersion,
          .read_community = s.readcomm,
          .trap_community = s.trapcomm,
          .last_change = s.LastChange,
          .last_message = s.LastMessage};
}

NodeDatabaseSetting ReadSettings(const std::string& settings_path, ProviderOpener opener) {
  // The settings database's connection text.
  const std::string settings_connection =
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + DataSourceValue(settings_path) +
      ";Persist Security Info=False";
  NodeDatabaseSetting setting;

  Connection conn(opener);
  conn.ConnectionString = settings_connection;
  conn.Open("", "", "", kConnectUnspecified);

  // Its table, positioned on the first record.
  Recordset rs;
  rs.CursorType = kOpenStatic;
  rs.LockType = kLockOptimistic;
  rs.Open("Settings_Console", conn, kOpenUnspecified, kLockUnspecified, kCmdTable);

  // Whether the node database is set up, and how to reach it.
  if (rs.Fields("SqlDbSetupOk").AsBool()) {
    setting.setup_ok = true;
    setting.connection = rs.Fields("DbConnStringSql").AsText();
  }
  return setting;  // the recordset closes, then the connection
}

void ReadNodeData(run::Context& ctx, ProviderOpener opener) {
  const std::string settings_path = SettingsPath(ctx.state.AppBase);
  Progress progress;
  try {
    progress.setting = ReadSettings(settings_path, opener);
    progress.stage =
        progress.setting.setup_ok ? Progress::Stage::kNodeDatabase : Progress::Stage::kNoSetup;
    if (!ReadNodeRow(ctx, opener, progress)) return;
    // Written also when no record was found: it then shows the old values.
    if (ctx.state.DebugOn) ctx.log.AppendNodeLog(diag::NodeRecordGroup(LoggedRecord(ctx.state)));
  } catch (const std::exception& e) {
    ReadFailed(ctx, progress, settings_path, e);
  }
}

}  // namespace upstest::store
