// `upstest --check`: what a run would find for one node, without polling.
#pragma once

#include <string>
#include <string_view>

namespace upstest::run {

struct Context;

// Reads the settings and the node record for `node_id` exactly as a run
// does (ctx.state.AppBase set, the debug log off) and describes them in
// `report`, one item a line: the base directory, the settings database
// (path and kind), SqlDbSetupOk, the node database's connection string
// with passwords masked, every field of the record (the communities as
// their length unless `show_communities`), where the address resolves to,
// and the verdict. Sends nothing and writes no log. Returns 0 when a run
// could poll this node, 1 otherwise (the verdict line says why).
int CheckNode(Context& ctx, std::string_view node_id, bool show_communities, std::string& report);

}  // namespace upstest::run
