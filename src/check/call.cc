#include "check/call.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "diag/log.h"
#include "run/test_state.h"

namespace upstest::check {

namespace {

constexpr const char* kCheckUsage =
    "usage: upstest --check [--show-communities] NODEID, upstest --check[=json] NODEID "
    "[RUNTIME VOLTAGE TEMPERATURE SENSOR], or upstest --check={plugin,prometheus} NODEID "
    "RUNTIME VOLTAGE TEMPERATURE SENSOR";

// The forms by their option word.
struct FormWord {
  std::string_view word;
  CheckCall::Form form;
  bool needs_objects;
};
constexpr FormWord kForms[] = {
    {"--check", CheckCall::Form::kText, false},
    {"--check=json", CheckCall::Form::kJson, false},
    {"--check=plugin", CheckCall::Form::kPlugin, true},
    {"--check=prometheus", CheckCall::Form::kPrometheus, true},
};

// The node id and objects after the option word; `call.problem` set when
// they do not make one of the forms.
void ReadCheckOperands(const std::vector<std::string>& args, const FormWord& form,
                       CheckCall& call) {
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  const auto option = std::find(rest.begin(), rest.end(), "--show-communities");
  if (option != rest.end()) {
    if (call.form != CheckCall::Form::kText) {
      call.problem = args[0] + " never shows the communities";
    } else if (rest.size() != 2) {
      call.problem = "--show-communities combines only with a node id and no objects";
    } else {
      call.show_communities = true;
      call.node_id = option == rest.begin() ? rest[1] : rest[0];
    }
  } else if ((rest.size() == 1 && !form.needs_objects) || rest.size() == 1 + run::kObjectCount) {
    call.node_id = rest[0];
    call.objects.assign(rest.begin() + 1, rest.end());
  } else {
    call.problem =
        args[0] + (form.needs_objects ? " takes a node id and four objects"
                                      : " takes a node id, and either no object or four");
  }
  if (!call.problem.empty()) call.problem += "; " + std::string(kCheckUsage);
}

}  // namespace

CheckCall ReadCheckCall(const std::vector<std::string>& args) {
  CheckCall call;
  constexpr size_t kMostDiagnosticArguments = 6;
  if (args.empty() || args.size() > kMostDiagnosticArguments) return call;
  for (const FormWord& form : kForms) {
    if (args[0] != form.word) continue;
    call.form = form.form;
    ReadCheckOperands(args, form, call);
    return call;
  }
  if (args[0].rfind("--check=", 0) == 0) {
    call.problem = "\"" + diag::Printable(args[0]) +
                   "\": the forms are --check, --check=json, --check=plugin and "
                   "--check=prometheus; " +
                   kCheckUsage;
  }
  return call;
}

}  // namespace upstest::check
