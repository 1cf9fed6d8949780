// The node record reader.
#pragma once

#include <string>

#include "diag/log.h"
#include "store/ado.h"

namespace upstest::run {
struct Context;
struct TestState;
}  // namespace upstest::run

namespace upstest::store {

// The settings database of a base directory: <base>/Kovatrel.mdb.
std::string SettingsPath(const std::string& app_base);

// What the settings database says about the node database.
struct NodeDatabaseSetting {
  bool setup_ok = false;   // SqlDbSetupOk of the first row is true
  std::string connection;  // DbConnStringSql, read only when setup_ok
};

// Reads the first row of Settings_Console in `settings_path` (a Jet
// connection string names it; `opener` opens it). Throws platform::Failure
// when the file or the table cannot be read, the table is empty, or
// SqlDbSetupOk is true and DbConnStringSql is Null. The recordset and then
// the connection close before it returns or throws.
NodeDatabaseSetting ReadSettings(const std::string& settings_path,
                                 ProviderOpener opener = OpenAnyProvider);

// The node record group's values: the eight fields ReadNodeData writes, as
// `s` holds them now (views into `s`, valid while it is unchanged).
diag::NodeRecord LoggedRecord(const run::TestState& s);

// Reads the node's record into the test state: the settings database
// (ReadSettings of SettingsPath(AppBase)), then the node's row of ATR_Nodes
// in the node database its connection string names, opened with a 5 s
// connection timeout; the row is found by node_id as a quoted literal, and
// only the first one counts. `opener` opens both databases (tests give one
// of their own). Always returns; never ends the run.
//
// Reads:  ctx.state.AppBase, NodeId, DebugOn.
// Writes: ctx.state.IpAddr, UdpPort, NodeStatus, SnmpVersion, readcomm,
//         trapcomm, LastChange, LastMessage, in this order, each as soon as
//         its column is read; a field not reached keeps its value (no row:
//         none changes).
//         ctx.node_record_problem, only when no full record was read (no
//         row included): "node <id>: <what>", on path A followed by ": "
//         and the description; left as it was otherwise.
//         ctx.node_record_problem_said, set with the stderr line below.
// Log (only with DebugOn): when the query has run, with or without a row,
//         the node record group (diag::NodeRecordGroup of LoggedRecord: with
//         no row the old values), written after both databases are closed.
// Stderr: "node <id>: record read up to column <column>: <why>; the fields
//         after it are empty" when a row stops after its first column; the
//         run then goes on with the fields before it.
// Every connection and recordset closes by its destructor on every path,
// the recordset first.
//
// Failure paths; each returns, with no node record group:
//   A  a database operation fails (a file or database that cannot be
//      opened, a missing table or column, an empty settings table, a
//      statement past its bound) or a column's value does not fit its
//      field: the databases close first; then run::kReadNodeDataFailure
//      (with DebugOn "<ts> (ReadNodeData) <description>", an empty line,
//      a 200 ms pause).
//   B  the node database's open left errors (OperationNotes): nothing is
//      read; run::kReadNodeDataErrors (with DebugOn "<ts> (ReadNodeData) "
//      with no empty line, a 200 ms pause); then the connection closes.
//   C  the query left errors: as B, then the recordset and the connection
//      close.
// The pauses deliver pending events (run::Wait).
void ReadNodeData(run::Context& ctx, ProviderOpener opener = OpenAnyProvider);

}  // namespace upstest::store
