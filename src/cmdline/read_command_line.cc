#include "cmdline/read_command_line.h"

#include <exception>
#include <string>

#include "cmdline/characters.h"
#include "cmdline/object_name_table.h"
#include "cmdline/split_args.h"
#include "diag/log.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/wait.h"

namespace upstest::cmdline {

namespace {

constexpr int16_t kPauseMs = 500;

// Fills the three fields of object k from its argument `arg`. The
// condition character (one character, however many bytes it takes) and the
// value are read right after the name, where the name was found. Returns
// false when neither name of the slot occurs.
bool ReadObject(run::TestState& state, int k, const std::string& arg) {
  for (const ObjectName& row : ObjectNameTable[static_cast<size_t>(k - 1)]) {
    const size_t found = arg.find(row.name);
    if (found == std::string::npos) continue;
    const size_t sign_at = found + row.name.size();
    const size_t value_at = sign_at + CharacterLength(arg, sign_at);
    state.ObjOid(k) = std::string(row.oid);
    state.ObjCondSign(k) = arg.substr(sign_at, value_at - sign_at);
    state.ObjCondVal(k) = arg.substr(value_at);
    return true;
  }
  return false;
}

}  // namespace

void ReadCommandLine(run::Context& ctx) {
  run::TestState& state = ctx.state;
  try {
    const Fields fields = TakeFields(ctx.argument_text, ctx.arguments);

    for (const std::string& field : fields) {
      if (field.empty()) {
        state.ArgError = true;
        break;
      }
    }
    if (state.ArgError) {
      if (state.DebugOn) {
        diag::AppendSwitchFile(ctx, diag::ArgumentErrorGroup(ctx.env, ctx.argument_text));
        run::Wait(ctx, kPauseMs);
      }
      platform::EndProgram(platform::kExitArgumentError);
    }

    state.NodeName = fields[0];
    state.NodeId = platform::ToInt32(fields[1]);
    state.NodeStatus = platform::ToInt16(fields[2]);

    for (int k = 1; k <= 4; ++k) {
      if (!ReadObject(state, k, fields[static_cast<size_t>(k + 2)])) state.ArgError = true;
    }

    if (state.DebugOn) {
      diag::AppendNodeLog(ctx, diag::ParsedArgumentsGroup(ctx.env, ctx.argument_text, ctx.state));
    }
  } catch (const std::exception& e) {
    if (state.DebugOn) {
      diag::AppendNodeLog(ctx, diag::Lines({diag::TimeStamp(ctx.env) + " " + e.what(),
                                            "CommandLine = " + ctx.argument_text, ""}));
      run::Wait(ctx, kPauseMs);
    }
    platform::EndProgram(platform::kExitErrorTrap);
  }
}

}  // namespace upstest::cmdline
