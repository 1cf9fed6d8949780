// What each procedure does when it fails, in one table, and the routines
// that carry an entry out.
//
// Every procedure of a run catches its own failures, and every end of a run
// other than the normal one is an entry here. What an entry does is fixed
// by its row: which lines it writes, and to which file (only with the log
// on); whether it sends the status trap; how long the run then pauses, and
// whether only with the log on; whether the run ends there, and with which
// exit status and which reason on the standard error, or the procedure
// returns to its caller. A catch names its entry and nothing else:
// `HandleFailure(ctx, kSnmpSendFailure, e.what())`.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "run/test_state.h"

namespace upstest::run {

struct Context;

// The pauses of a run, each named once.
inline constexpr int16_t kAlarmPauseMs = 200;   // after each alarm trap
inline constexpr int16_t kEndPauseMs = 500;     // before a run ends, after its last line
inline constexpr int16_t kReaderPauseMs = 200;  // after the node reader's error line

// The lines a failure writes, with the log on.
enum class FailureLines {
  kNone,          // nothing
  kErrorLine,     // "<ts> (<procedure>) <description>", to the node log
  kCommandLine,   // "<ts> <description>", "CommandLine = <text>", to the node log
  kManagerStart,  // "<ts> SNMP Manager Failed to Start", "<description>", to the node log
  kArgumentError  // "", "<ts> Argument Error", "<ts> CommandLine = <text>", "", to the
                  // switch file: no node id is known yet
};

// The one line on the standard error when the entry ends the run.
enum class FailureReason {
  kProcedure,    // "<procedure>: <description>", the description through diag::Printable
  kNodeRecord,   // ctx.node_record_problem when it is set and the reader has not said it
                 // (node_record_problem_said); kProcedure otherwise
  kDescription,  // the description as given: it is already the one line
};

// No trap (the trap column).
inline constexpr int16_t kNoTrap = 0;
// The procedure returns (the exit column).
inline constexpr int kReturns = -1;

struct FailureHandling {
  std::string_view procedure;
  FailureLines lines;
  bool empty_line_after;  // after kErrorLine's line
  // kNoTrap, or the PollStatus of the status trap sent after the lines:
  // every other code of the state 0 (SetNotJudged), then trap::SendTrap.
  int16_t trap;
  int16_t pause_ms;
  bool pause_with_log_off;  // the pause also with the log off
  int exit_status;          // platform::kExit*, or kReturns
  FailureReason reason;
};

// clang-format off
//                                                        procedure                 lines                          empty   trap                 pause            log off exit                           reason
inline constexpr FailureHandling kReadCommandLineFailure {"ReadCommandLine",        FailureLines::kCommandLine,    true,   kNoTrap,             kEndPauseMs,     false,  platform::kExitFailure,        FailureReason::kProcedure};
// A missing or empty argument: the description is the reason.
inline constexpr FailureHandling kMissingArgument        {"ReadCommandLine",        FailureLines::kArgumentError,  false,  kNoTrap,             kEndPauseMs,     false,  platform::kExitArgumentError,  FailureReason::kDescription};
inline constexpr FailureHandling kReadNodeDataFailure    {"ReadNodeData",           FailureLines::kErrorLine,      true,   kNoTrap,             kReaderPauseMs,  false,  kReturns,                      FailureReason::kProcedure};
// Errors the database left after an open or a query: an empty description.
inline constexpr FailureHandling kReadNodeDataErrors     {"ReadNodeData",           FailureLines::kErrorLine,      false,  kNoTrap,             kReaderPauseMs,  false,  kReturns,                      FailureReason::kProcedure};
inline constexpr FailureHandling kStartManagerFailure    {"StartManager",           FailureLines::kManagerStart,   true,   kNoTrap,             kEndPauseMs,     false,  platform::kExitFailure,        FailureReason::kProcedure};
inline constexpr FailureHandling kCheckStatusFailure     {"CheckStatus",            FailureLines::kErrorLine,      true,   kNoTrap,             kEndPauseMs,     false,  platform::kExitFailure,        FailureReason::kProcedure};
// A send fails for want of an address or port when no node record was read.
inline constexpr FailureHandling kSnmpSendFailure        {"SnmpSend",               FailureLines::kErrorLine,      false,  kNoTrap,             kEndPauseMs,     false,  platform::kExitFailure,        FailureReason::kNodeRecord};
// The answer handler reports through the flags and returns to the manager;
// only the first failed answer of a run pauses (a stream of them cannot
// stall it), and one past the bound of logged answers leaves no line.
inline constexpr FailureHandling kResponseFailure        {"snmpManager_Response",   FailureLines::kErrorLine,      true,   kNoTrap,             kEndPauseMs,     false,  kReturns,                      FailureReason::kProcedure};
inline constexpr FailureHandling kResponseFailureAgain   {"snmpManager_Response",   FailureLines::kErrorLine,      true,   kNoTrap,             0,               false,  kReturns,                      FailureReason::kProcedure};
inline constexpr FailureHandling kResponseFailureUnlogged{"snmpManager_Response",   FailureLines::kNone,           false,  kNoTrap,             0,               false,  kReturns,                      FailureReason::kProcedure};
// A rejected packet leaves no trace beyond its log group.
inline constexpr FailureHandling kBadPacketFailure       {"snmpManager_BadPacket",  FailureLines::kNone,           false,  kNoTrap,             0,               false,  kReturns,                      FailureReason::kProcedure};
inline constexpr FailureHandling kStatusCompareFailure   {"StatusCompare",          FailureLines::kErrorLine,      false,  kNoTrap,             kEndPauseMs,     false,  platform::kExitFailure,        FailureReason::kProcedure};
inline constexpr FailureHandling kSendTrapFailure        {"SendTrap",               FailureLines::kErrorLine,      false,  kNoTrap,             kEndPauseMs,     false,  platform::kExitFailure,        FailureReason::kProcedure};
inline constexpr FailureHandling kStartTestFailure       {"StartTest",              FailureLines::kErrorLine,      false,  kNoTrap,             kEndPauseMs,     false,  platform::kExitFailure,        FailureReason::kProcedure};
// Arguments that cannot be judged (EndWithArgumentError): the trap says so.
inline constexpr FailureHandling kArgumentErrorEnd       {"EndWithArgumentError",   FailureLines::kNone,           false,  kPollArgumentError,  kEndPauseMs,     true,   platform::kExitArgumentError,  FailureReason::kDescription};
// clang-format on

// Carries out `handling` for a failure described by `description`, in this
// order: with the log on, its lines (diag::NodeLog, so a failed write costs
// nothing); its trap; its pause (run::Wait, which lets events in), with the
// log on or, when the row says so, always; then, when the entry ends the
// run, ends it (platform::ProgramEnd) with the row's exit status and
// reason. Returns only for entries that do not end the run.
//
// Reads: DebugOn, ctx.argument_text (for the two command-line groups),
// ctx.node_record_problem and node_record_problem_said (kNodeRecord).
// Writes: for a row with a trap, PollStatus = the trap's, UpsStatus and
// every ObjStatus 0; and what the trap's sending writes.
// Fails: a failure of the trap ends the run through kSendTrapFailure
// (exit 1) instead.
void HandleFailure(Context& ctx, const FailureHandling& handling, std::string_view description);

// The end of a run whose arguments cannot be judged (an object name not
// accepted, a range condition without "-"): kArgumentErrorEnd with
// `reason`, so the argument-error trap (PollStatus kPollArgumentError), a
// pause of 500 ms whether the log is on or not, and exit 2 with `reason`.
[[noreturn]] void EndWithArgumentError(Context& ctx, std::string_view reason);

}  // namespace upstest::run
