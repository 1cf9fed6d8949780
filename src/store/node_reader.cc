#include "store/node_reader.h"

#include <exception>
#include <memory>
#include <string>

#include "diag/log.h"
#include "run/context.h"
#include "store/ado.h"

namespace upstest::store {
namespace {

constexpr const char* kProcedure = "ReadNodeData";
constexpr int16_t kErrorWaitMs = 200;
constexpr int kNodeOpenTimeoutS = 5;

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

void ReadNodeData(run::Context& ctx) {
  run::TestState& s = ctx.state;
  try {
    // The settings database's connection text.
    const std::string settings_connection = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" +
                                            DataSourceValue(s.AppBase + "/Kovatrel.mdb") +
                                            ";Persist Security Info=False";
    std::string DbConnString;

    auto conn = std::make_unique<Connection>();
    conn->ConnectionString = settings_connection;
    conn->Open("", "", "", kConnectUnspecified);

    // Its table, positioned on the first record.
    auto rs = std::make_unique<Recordset>();
    rs->CursorType = kOpenStatic;
    rs->LockType = kLockOptimistic;
    rs->Open("Settings_Console", *conn, kOpenUnspecified, kLockUnspecified, kCmdTable);

    // Whether the node database is set up, and how to reach it.
    if (rs->Fields("SqlDbSetupOk").AsBool()) {
      DbConnString = rs->Fields("DbConnStringSql").AsText();
    }

    if (rs->State() == kStateOpen) rs->Close();
    if (conn->State() == kStateOpen) conn->Close();

    // The node database.
    conn = std::make_unique<Connection>();
    conn->ConnectionString = DbConnString;
    conn->ConnectionTimeout = kNodeOpenTimeoutS;
    conn->Open("", "", "", kConnectUnspecified);

    // Errors left by the open: nothing is read.
    if (conn->ErrorsCount() > 0) {
      diag::WriteTrapLine(ctx, kProcedure, "", false, kErrorWaitMs);
      return;
    }

    // The node's record, found by its id as a quoted literal.
    const std::string query =
        "SELECT address, status, readcomm, trapcomm, SnmpVersion, LastChange, LastMessage, "
        "UdpPort FROM ATR_Nodes WHERE node_id = '" +
        std::to_string(s.NodeId) + "'";
    rs = conn->Execute(query, kOptionUnspecified);

    // Errors left by the query: nothing is read.
    if (conn->ErrorsCount() > 0) {
      diag::WriteTrapLine(ctx, kProcedure, "", false, kErrorWaitMs);
      if (rs->State() == kStateOpen) rs->Close();
      if (conn->State() == kStateOpen) conn->Close();
      return;
    }

    // Only the first record counts. Each field is stored as soon as its
    // column is read, so a failing column leaves the earlier ones stored.
    if (!rs->Eof()) {
      s.IpAddr = rs->Fields("address").AsText();
      s.UdpPort = rs->Fields("UdpPort").AsInt32();
      s.NodeStatus = rs->Fields("status").AsInt16();
      s.SnmpVersion = rs->Fields("SnmpVersion").AsText();
      s.readcomm = rs->Fields("readcomm").AsText();
      s.trapcomm = rs->Fields("trapcomm").AsText();
      s.LastChange = rs->Fields("LastChange").AsText();
      s.LastMessage = rs->Fields("LastMessage").AsText();
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
    diag::WriteTrapLine(ctx, kProcedure, e.what(), true, kErrorWaitMs);
  }
}

}  // namespace upstest::store
