// Taking in what the manager reports: the handlers of its two events, run
// by the event pump inside a wait (run/wait.h), on ctx.state (see
// run/test_state.h).
#pragma once

#include <cstdint>
#include <string>

#include "snmp/manager.h"

namespace upstest::run {
struct Context;
}

namespace upstest::snmp {

// Types that carry no value of their own: the answer's handler reads no
// value for them and counts them as 0.
bool IsValueless(int32_t type);

// The answer handler: takes in one answer while ctx.snmpManager describes
// its bindings. Binding i goes to ObjValue(i), in the answer's order, as a
// 32-bit integer (0 for NULL, noSuchObject and noSuchInstance); the values
// are stored whether the answer is an error or a late one. The answer ends
// the poll's wait when it is an error (whatever its identifier) or answers
// the current request or a later one.
//
// An answer taken in once the run has scaled its values
// (ctx.values_scaled) has what it stored scaled too (run::ScaleValue), after
// its group is written: every value a run judges or sends is in the trap's
// units, and the log shows the values as the device gave them.
//
// Reads: RequestId, DebugOn, ObjOid (to scale).
// Writes: ObjValue(1..n) for the answer's n bindings; ResponseReceived as
// above. On a failure (a value that is no 32-bit integer, a fifth binding),
// ResponseError and ResponseReceived, the values stored before it staying.
// Writes, with the log on and while ctx.log grants it an answer group
// (diag::NodeLog::TakeAnswerGroup, at most kMaxAnswerGroups a run): the
// answer's group (with the error fields for an error answer) to the node
// log.
// Fails: returns in every case; the handler never lets a failure out to
// the manager and never ends the program. A failure's line, too, needs an
// answer group; the run's first failure is kResponseFailure (its line, and
// a 500 ms pause with the log on), every later one kResponseFailureAgain
// (its line, no pause), and one past the bound of answer groups, or with
// the log off, kResponseFailureUnlogged (nothing). Sets
// ctx.response_failed.
void snmpManager_Response(run::Context& ctx, int32_t request_id, int16_t error_status,
                          int16_t error_index, const std::string& error_description);

// Takes note of a datagram the manager rejected.
//
// Reads: DebugOn.
// Writes: no field of the state.
// Writes, with the log on and while ctx.log grants it a BadPacket group
// (diag::NodeLog::TakeBadPacketGroup, at most kMaxBadPacketGroups a run):
// the "BadPacket (<code>: <description>" group to the node log.
// Fails: kBadPacketFailure, which writes nothing, does not pause and
// returns: the handler never lets a failure out to the manager.
void snmpManager_BadPacket(run::Context& ctx, int16_t error_code,
                           const std::string& error_description);

// Routes the manager's events to the two handlers above, passing the
// event's data unchanged.
class FormEvents final : public ManagerEvents {
 public:
  explicit FormEvents(run::Context& ctx) : ctx_(ctx) {}
  void Response(int32_t request_id, int16_t error_status, int16_t error_index,
                const std::string& error_description) override {
    snmpManager_Response(ctx_, request_id, error_status, error_index, error_description);
  }
  void BadPacket(int16_t error_code, const std::string& error_description) override {
    snmpManager_BadPacket(ctx_, error_code, error_description);
  }

 private:
  run::Context& ctx_;
};

}  // namespace upstest::snmp
