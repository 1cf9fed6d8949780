// The manager's events: answers and rejected packets.
#include "snmp/response.h"

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "diag/log.h"
#include "platform/convert.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/failure.h"
#include "snmp/binding_value.h"

namespace upstest::snmp {

bool IsValueless(int32_t type) {
  return type == kTypeNoSuchObject || type == kTypeNoSuchInstance || type == kTypeNull;
}

void snmpManager_Response(run::Context& ctx, int32_t request_id, int16_t error_status,
                          int16_t error_index, const std::string& error_description) {
  Manager& manager = ctx.snmpManager;
  run::TestState& state = ctx.state;
  try {
    const bool error_branch = error_status != 0;

    // Binding i goes to object i, in the answer's order. An answer fills at
    // most the four objects: a fifth binding fails the handler when its turn
    // comes, before anything of it is read; the values already stored stay.
    const int16_t count = manager.ObjCount();
    for (int i = 1; i <= count; ++i) state.ObjValue(i) = BindingValue(manager, i);

    if (state.DebugOn && ctx.log.TakeAnswerGroup()) {
      std::vector<diag::BindingLine> bindings;
      const int16_t logged = manager.ObjCount();
      for (int i = 1; i <= logged; ++i) {
        bindings.emplace_back(manager.ObjId(i - 1), state.ObjValue(i));
      }
      ctx.log.AppendNodeLog(error_branch
                                ? diag::ErrorResponseGroup(ctx.env, request_id, error_status,
                                                           error_index, error_description, bindings)
                                : diag::ResponseGroup(ctx.env, request_id, bindings));
    }

    // An error answer ends the wait whatever its identifier; a normal one
    // only when it answers the current request or a later one. The values
    // are stored either way.
    if (error_branch || request_id >= state.RequestId) state.ResponseReceived = true;
  } catch (const std::exception& e) {
    // The handler reports its failure through the flags and never lets one
    // out to the manager.
    run::HandleFailure(ctx, run::kResponseFailure, e.what());
    state.ResponseError = true;
    state.ResponseReceived = true;
  }
}

void snmpManager_BadPacket(run::Context& ctx, int16_t error_code,
                           const std::string& error_description) {
  try {
    if (ctx.state.DebugOn && ctx.log.TakeBadPacketGroup()) {
      ctx.log.AppendNodeLog(diag::BadPacketGroup(ctx.env, error_code, error_description));
    }
  } catch (const std::exception& e) {
    run::HandleFailure(ctx, run::kBadPacketFailure, e.what());
  }
}

}  // namespace upstest::snmp
