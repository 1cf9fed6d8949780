// The node record reader.
#pragma once

#include <string>

#include "store/ado.h"

namespace upstest::run {
struct Context;
}

namespace upstest::store {

// The settings database of a base directory: <base>/Kovatrel.mdb.
std::string SettingsPath(const std::string& app_base);

// What the settings database says about the node database.
struct NodeDatabaseSetting {
  bool setup_ok = false;   // SqlDbSetupOk of the first row is true
  std::string connection;  // DbConnStringSql, read only when setup_ok
};

// Reads the first row of Settings_Console in `settings_path`. Throws
// platform::Failure when the file or the table cannot be read.
NodeDatabaseSetting ReadSettings(const std::string& settings_path,
                                 ProviderOpener opener = OpenAnyProvider);

// Reads the settings database and the node's row of ATR_Nodes into the test
// state. Always returns: a failure takes its failure handling and leaves
// the fields read so far, with ctx.node_record_problem saying why no full
// record was read (also when there is no row for the node). A row that
// stops after its first column also gets one line on the standard error,
// "node <id>: record read up to column <column>: <why>; the fields after it
// are empty", and ctx.node_record_problem_said.
// `opener` opens both databases (tests give one of their own).
void ReadNodeData(run::Context& ctx, ProviderOpener opener = OpenAnyProvider);

}  // namespace upstest::store
