// `upstest --check`: what a run would find for one node, and, given the
// four objects, what a run would judge on the device.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace upstest::run {
struct Context;
}  // namespace upstest::run

namespace upstest::check {

// A diagnostic call, read from the arguments.
struct CheckCall {
  enum class Form { kNone, kText, kJson };
  Form form = Form::kNone;  // kNone: the arguments are a run
  bool show_communities = false;
  std::string node_id;
  std::vector<std::string> objects;  // none, or the four object arguments
  // Set when the arguments begin with --check but have no meaning: the
  // one-line reason, for an argument-error end.
  std::string problem;
};

// Reads `args` (argv[1..]). A call is diagnostic when its first argument is
// --check or --check=json and it has at most six arguments: seven or more
// are always a run, so no node name can ask for a check. The forms:
// --check [--show-communities] NODEID (the option before or after the id),
// --check[=json] NODEID, and --check[=json] NODEID and four objects.
CheckCall ReadCheckCall(const std::vector<std::string>& args);

// Reads the settings and the node record for `node_id` exactly as a run
// does (ctx.state.AppBase set, the debug log off) and describes them in
// `report`, one item a line: the base directory, the settings database
// (path and kind), SqlDbSetupOk, the node database's connection string
// with passwords masked, every field of the record (the communities as
// their length unless `show_communities`), where the address resolves to,
// and the verdict. Sends nothing and writes no log. Returns 0 when a run
// could poll this node, 1 otherwise (the verdict line says why).
int CheckNode(run::Context& ctx, std::string_view node_id, bool show_communities,
              std::string& report);

// Carries out `call` on a context of its own, which shares base's system,
// event pump and manager (base.state.AppBase and base.read_node_data are
// taken over) but has a trap sender that sends nothing, and writes no log.
// With objects it polls the device as a run does (PollForCheck). The report,
// text or JSON, goes to `out`; the result is the exit status: 0 when a run
// could poll the node (with objects: would judge all four from values the
// device gave), 1 otherwise, 2 (its reason written to stderr, `out` empty)
// when an object argument names no object of its slot.
int RunCheck(run::Context& base, const CheckCall& call, std::string& out);

}  // namespace upstest::check
