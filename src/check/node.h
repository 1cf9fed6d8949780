// The node part of `upstest --check`: the settings and the node record,
// read exactly as a run reads them, and whether a run could poll the node.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace upstest::run {
struct Context;
}  // namespace upstest::run

namespace upstest::check {

// What the check found for the node. Texts are as read: a rendering makes
// them printable.
struct NodeFindings {
  std::string base_directory;  // empty: none
  std::string settings_path;
  // "SQLite", "Access", or why the settings database is neither: missing,
  // or store::JudgeDatabaseFile's reason.
  std::string settings_kind;
  // The node id; none when it is no number, and then nothing below it was
  // read.
  std::optional<int32_t> node_id;

  // SqlDbSetupOk and the node database's connection string (passwords
  // masked; empty unless setup_ok), or why the settings were not read.
  bool setup_ok = false;
  std::string connection;
  std::string settings_problem;  // empty: read

  // The node record stage: why no full record was read (empty when one
  // was), and whether the fields before its unreadable column were kept.
  std::string record_problem;
  bool record_in_part = false;
  // The record's fields as a run uses them.
  std::string address;
  int32_t port = 0;
  int16_t status = 0;
  std::string snmp_version;    // as stored
  std::string polled_version;  // "1" or "2c" (run::PolledSnmpVersionName)
  std::string readcomm;
  std::string trapcomm;
  std::string last_change;
  std::string last_message;

  // Where the address resolves to, in order; or why it does not.
  std::vector<std::string> resolved;
  std::string unresolved;

  // Why a run could not poll this node; empty when it could.
  std::string problem;
  bool Pollable() const { return problem.empty(); }
};

// Reads the settings and the node record for `node_id` exactly as a run
// does (ctx.state.AppBase set; DebugOn is set false, so no log is written),
// then looks the address up. A record read in part still gives a run the
// address and port it read first, so only the address can then stop it.
// Leaves the record in ctx.state (NodeId, IpAddr, UdpPort, SnmpVersion,
// readcomm ...) for the poll. Sends nothing.
NodeFindings ReadNodeForCheck(run::Context& ctx, std::string_view node_id);

}  // namespace upstest::check
