// The manager's events: answers and rejected packets.
#include "snmp/response.h"

#include <cstdint>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "diag/log.h"
#include "run/context.h"
#include "run/failure.h"
#include "run/scaling.h"
#include "snmp/binding_value.h"

namespace upstest::snmp {

namespace {

// The answer's group, its binding lines showing the values as stored.
void LogAnswer(run::Context& ctx, int32_t request_id, int16_t error_status, int16_t error_index,
               const std::string& error_description) {
  Manager& manager = ctx.snmpManager;
  std::vector<diag::BindingLine> bindings;
  const int16_t logged = manager.ObjCount();
  for (int i = 1; i <= logged; ++i) {
    bindings.emplace_back(manager.ObjId(i - 1), ctx.state.ObjValue(i));
  }
  ctx.log.AppendNodeLog(error_status != 0
                            ? diag::ErrorResponseGroup(ctx.env, request_id, error_status,
                                                       error_index, error_description, bindings)
                            : diag::ResponseGroup(ctx.env, request_id, bindings));
}

// Objects 1..`stored` of an answer taken in after the run scaled its
// values are scaled too, before anything judges or sends them.
void InTrapUnits(run::Context& ctx, int stored) {
  if (!ctx.values_scaled) return;
  for (int k = 1; k <= stored; ++k) run::ScaleValue(ctx.state, k);
}

// The handler's failure: reported through the flags, never let out to the
// manager. Only a run's first failed answer pauses, so that answers
// arriving in that pause, failing too, cannot nest pause in pause; and
// their lines count against the bound of answer groups.
void Failed(run::Context& ctx, const std::string& description) {
  const bool first = !ctx.response_failed;
  ctx.response_failed = true;
  const bool logged = ctx.state.DebugOn && ctx.log.TakeAnswerGroup();
  run::HandleFailure(ctx,
                     !logged ? run::kResponseFailureUnlogged
                     : first ? run::kResponseFailure
                             : run::kResponseFailureAgain,
                     description);
  ctx.state.ResponseError = true;
  ctx.state.ResponseReceived = true;
}

}  // namespace

bool IsValueless(int32_t type) {
  return type == kTypeNoSuchObject || type == kTypeNoSuchInstance || type == kTypeNull;
}

void snmpManager_Response(run::Context& ctx, int32_t request_id, int16_t error_status,
                          int16_t error_index, const std::string& error_description) {
  Manager& manager = ctx.snmpManager;
  run::TestState& state = ctx.state;
  int stored = 0;  // the objects this answer has written so far
  try {
    const bool error_branch = error_status != 0;

    // Binding i goes to object i, in the answer's order. An answer fills at
    // most the four objects: a fifth binding fails the handler when its turn
    // comes, before anything of it is read; the values already stored stay.
    const int16_t count = manager.ObjCount();
    for (int i = 1; i <= count; ++i) {
      state.ObjValue(i) = BindingValue(manager, i);
      stored = i;
    }

    if (state.DebugOn && ctx.log.TakeAnswerGroup())
      LogAnswer(ctx, request_id, error_status, error_index, error_description);
    InTrapUnits(ctx, std::exchange(stored, 0));

    // An error answer ends the wait whatever its identifier; a normal one
    // only when it answers the current request or a later one. The values
    // are stored either way.
    if (error_branch || request_id >= state.RequestId) state.ResponseReceived = true;
  } catch (const std::exception& e) {
    InTrapUnits(ctx, stored);
    Failed(ctx, e.what());
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
