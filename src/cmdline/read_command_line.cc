#include "cmdline/read_command_line.h"

#include <exception>
#include <string>

#include "cmdline/object_name_table.h"
#include "cmdline/split_args.h"
#include "diag/log.h"
#include "platform/characters.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/failure.h"

namespace upstest::cmdline {

namespace {

// "a or b": the names slot k accepts.
std::string SlotNames(int k) {
  std::string names;
  for (const ObjectName& row : ObjectNameTable[static_cast<size_t>(k - 1)]) {
    if (!names.empty()) names += " or ";
    names += row.name;
  }
  return names;
}

// The one-line reason for a missing or empty argument number `argument`.
std::string MissingArgument(size_t argument) {
  return "argument " + std::to_string(argument) +
         " is missing or empty (seven arguments are needed: NODENAME NODEID NODESTATUS and "
         "four objects)";
}

}  // namespace

bool ReadObject(run::TestState& state, int k, const std::string& arg) {
  for (const ObjectName& row : ObjectNameTable[static_cast<size_t>(k - 1)]) {
    const size_t found = arg.find(row.name);
    if (found == std::string::npos) continue;
    const size_t sign_at = found + row.name.size();
    const size_t value_at = sign_at + platform::CharacterLength(arg, sign_at);
    state.ObjOid(k) = std::string(row.oid);
    state.ObjCondSign(k) = arg.substr(sign_at, value_at - sign_at);
    state.ObjCondVal(k) = arg.substr(value_at);
    return true;
  }
  return false;
}

int ObjectArgument(const run::Context& ctx, int n) {
  // The arguments before the objects: NODENAME NODEID NODESTATUS, or
  // --check NODEID.
  const int before = ctx.command == run::Command::kCheck ? 2 : 3;
  return before + n;
}

std::string UnacceptedObject(const run::Context& ctx, int k, const std::string& arg) {
  return "argument " + std::to_string(ObjectArgument(ctx, k)) + " \"" + diag::Printable(arg) +
         "\": no object name of slot " + std::to_string(k) + " (" + SlotNames(k) + ")";
}

std::string ReadCommandLine(run::Context& ctx) {
  run::TestState& state = ctx.state;
  std::string unaccepted;
  try {
    const Fields fields = TakeFields(ctx.argument_text, ctx.arguments);

    // The first missing argument ends the run: its entry does not return.
    for (size_t n = 0; n < fields.size(); ++n) {
      if (!fields[n].empty()) continue;
      state.ArgError = true;
      run::HandleFailure(ctx, run::kMissingArgument, MissingArgument(n + 1));
    }

    state.NodeName = fields[0];
    state.NodeId = platform::ToInt32(fields[1]);
    ctx.log.SetNodeId(state.NodeId);
    state.NodeStatus = platform::ToInt16(fields[2]);

    for (int k = 1; k <= run::kObjectCount; ++k) {
      const std::string& arg = fields[static_cast<size_t>(k + 2)];
      if (ReadObject(state, k, arg)) continue;
      state.ArgError = true;
      if (unaccepted.empty()) unaccepted = UnacceptedObject(ctx, k, arg);
    }

    if (state.DebugOn) {
      ctx.log.AppendNodeLog(diag::ParsedArgumentsGroup(ctx.env, ctx.argument_text,
                                                       state.ObjOid.All(), state.ObjCondSign.All(),
                                                       state.ObjCondVal.All()));
    }
  } catch (const std::exception& e) {
    run::HandleFailure(ctx, run::kReadCommandLineFailure, e.what());
  }
  return unaccepted;
}

}  // namespace upstest::cmdline
