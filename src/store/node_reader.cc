#include "store/node_reader.h"

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

}  // namespace

std::string SettingsPath(const std::string& app_base) { return app_base + "/Kovatrel.mdb"; }

NodeDatabaseSetting ReadSettings(const std::string& settings_path, ProviderOpener opener) {
  // The settings database's connection text.
  const std::string settings_connection =
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + DataSourceValue(settings_path) +
      ";Persist Security Info=False";
  NodeDatabaseSetting setting;

  auto conn = std::make_unique<Connection>(opener);
  conn->ConnectionString = settings_connection;
  conn->Open("", "", "", kConnectUnspecified);

  // Its table, positioned on the first record.
  auto rs = std::make_unique<Recordset>();
  rs->CursorType = kOpenStatic;
  rs->LockType = kLockOptimistic;
  rs->Open("Settings_Console", *conn, kOpenUnspecified, kLockUnspecified, kCmdTable);

  // Whether the node database is set up, and how to reach it.
  if (rs->Fields("SqlDbSetupOk").AsBool()) {
    setting.setup_ok = true;
    setting.connection = rs->Fields("DbConnStringSql").AsText();
  }

  if (rs->State() == kStateOpen) rs->Close();
  if (conn->State() == kStateOpen) conn->Close();
  return setting;
}

void ReadNodeData(run::Context& ctx, ProviderOpener opener) {
  run::TestState& s = ctx.state;
  const std::string settings_path = SettingsPath(s.AppBase);
  // What the reader was doing, for the one line that says why no record
  // was read; the line itself is built only when one was not.
  enum class Stage { kSettings, kNoSetup, kNodeDatabase, kRow } stage = Stage::kSettings;
  // The column of the row being read when a failure came.
  const char* stopped_at = kFirstColumn;
  NodeDatabaseSetting setting;
  const std::string& DbConnString = setting.connection;
  const auto problem = [&](const std::string& what) {
    ctx.node_record_problem = "node " + std::to_string(s.NodeId) + ": " + what;
  };
  try {
    setting = ReadSettings(settings_path, opener);
    stage = setting.setup_ok ? Stage::kNodeDatabase : Stage::kNoSetup;

    // The node database.
    auto conn = std::make_unique<Connection>(opener);
    conn->ConnectionString = DbConnString;
    conn->ConnectionTimeout = kNodeOpenTimeoutS;
    conn->Open("", "", "", kConnectUnspecified);

    // Errors left by the open: nothing is read.
    if (conn->ErrorsCount() > 0) {
      problem("the node database " + MaskedConnectionString(DbConnString) +
              " reported errors when opened");
      run::HandleFailure(ctx, run::kReadNodeDataErrors, "");
      return;
    }

    // The node's record, found by its id as a quoted literal.
    const std::string query =
        "SELECT address, status, readcomm, trapcomm, SnmpVersion, LastChange, LastMessage, "
        "UdpPort FROM ATR_Nodes WHERE node_id = '" +
        std::to_string(s.NodeId) + "'";
    auto rs = conn->Execute(query, kOptionUnspecified);

    // Errors left by the query: nothing is read.
    if (conn->ErrorsCount() > 0) {
      problem("the query of ATR_Nodes in " + MaskedConnectionString(DbConnString) +
              " reported errors");
      run::HandleFailure(ctx, run::kReadNodeDataErrors, "");
      if (rs->State() == kStateOpen) rs->Close();
      if (conn->State() == kStateOpen) conn->Close();
      return;
    }

    // Only the first record counts. Each field is stored as soon as its
    // column is read, so a failing column leaves the earlier ones stored.
    if (rs->Eof()) {
      problem("no row in ATR_Nodes of " + MaskedConnectionString(DbConnString));
    } else {
      stage = Stage::kRow;
      const auto column = [&](const char* name) -> const Value& {
        stopped_at = name;
        return rs->Fields(name);
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

    if (rs->State() == kStateOpen) rs->Close();
    if (conn->State() == kStateOpen) conn->Close();
    rs.reset();
    conn.reset();

    // Written also when no record was found: it then shows the old values.
    if (s.DebugOn) diag::AppendNodeLog(ctx, diag::NodeRecordGroup(s));
  } catch (const std::exception& e) {
    // The connection and the recordset are gone by now. The group is
    // written with one append, so no log file is left open to close.
    switch (stage) {
      case Stage::kSettings:
        problem("cannot read the settings database " + settings_path);
        break;
      case Stage::kNoSetup:
        problem("SqlDbSetupOk in " + settings_path + " is 0 or Null: no node database is set up");
        break;
      case Stage::kNodeDatabase:
        problem("cannot read the node database " + MaskedConnectionString(DbConnString));
        break;
      case Stage::kRow:
        problem("cannot read the row of ATR_Nodes in " + MaskedConnectionString(DbConnString));
        // A row read in part lets the run go on with the fields before the
        // column that stopped it, and poll, perhaps with an empty
        // community: that is said at once, since the run may well end
        // normally. Said here, it is not said again as the reason of an end.
        if (stopped_at != kFirstColumn) {
          ctx.env.WriteStderrLine("node " + std::to_string(s.NodeId) +
                                  ": record read up to column " + stopped_at + ": " +
                                  diag::Printable(e.what()) + "; the fields after it are empty");
          ctx.node_record_problem_said = true;
        }
        break;
    }
    ctx.node_record_problem += ": " + diag::Printable(e.what());
    run::HandleFailure(ctx, run::kReadNodeDataFailure, e.what());
  }
}

}  // namespace upstest::store
