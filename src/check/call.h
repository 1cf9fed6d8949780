// `upstest --check`'s command line: which argument lists are a check, in
// which form, and which begin like one but are refused.
#pragma once

#include <string>
#include <vector>

namespace upstest::check {

// A diagnostic call, read from the arguments.
struct CheckCall {
  enum class Form { kNone, kText, kJson, kPlugin, kPrometheus };
  Form form = Form::kNone;  // kNone: the arguments are a run
  bool show_communities = false;
  std::string node_id;
  std::vector<std::string> objects;  // none, or the four object arguments
  // Set when the arguments begin with --check but have no meaning: the
  // one-line reason, for an argument-error end.
  std::string problem;
};

// Reads `args` (argv[1..]). A call is diagnostic when its first argument is
// --check, --check=json, --check=plugin or --check=prometheus and it has at
// most six arguments: seven or more are always a run, so no node name can
// ask for a check. The forms: --check [--show-communities] NODEID (the
// option before or after the id), --check[=json] NODEID, --check[=json]
// NODEID and four objects, and --check=plugin or --check=prometheus NODEID
// and four objects (they have no meaning without the objects).
CheckCall ReadCheckCall(const std::vector<std::string>& args);

}  // namespace upstest::check
