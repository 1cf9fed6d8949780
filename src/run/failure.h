// What each procedure does when it fails, in one table, and the one routine
// that carries an entry out.
//
// Every procedure of a run catches its own failures. What its catch then
// does is fixed per procedure: which lines go to the node log (only with
// the log on), whether an empty line follows them, how long the run then
// pauses (only with the log on), and whether the run ends there (exit 1) or
// the procedure returns to its caller. A catch names its entry and nothing
// else: `HandleFailure(ctx, kSnmpSendFailure, e.what())`.
//
// The test state, the context and Wait are the floor every subsystem
// stands on; this table stands beside Wait for the same reason.
#pragma once

#include <cstdint>
#include <string_view>

namespace upstest::run {

struct Context;

// The pauses of a run, each named once.
inline constexpr int16_t kAlarmPauseMs = 200;   // after each alarm trap
inline constexpr int16_t kEndPauseMs = 500;     // before a run ends, after its last line
inline constexpr int16_t kReaderPauseMs = 200;  // after the node reader's error line

// The lines a failure writes.
enum class FailureLines {
  kErrorLine,    // "<ts> (<procedure>) <description>"
  kCommandLine,  // "<ts> <description>", "CommandLine = <text>" (the command line's own)
  kManagerStart  // "<ts> SNMP Manager Failed to Start", "<description>"
};

struct FailureHandling {
  std::string_view procedure;
  FailureLines lines;
  bool empty_line_after;
  int16_t pause_ms;
  bool ends_run;  // exit 1; otherwise the procedure returns
};

// clang-format off
//                                                  procedure               lines                          empty  pause           ends
inline constexpr FailureHandling kReadCommandLineFailure{"ReadCommandLine",      FailureLines::kCommandLine,   true,  kEndPauseMs,    true};
inline constexpr FailureHandling kReadNodeDataFailure   {"ReadNodeData",         FailureLines::kErrorLine,     true,  kReaderPauseMs, false};
// Errors the database left after an open or a query: an empty description.
inline constexpr FailureHandling kReadNodeDataErrors    {"ReadNodeData",         FailureLines::kErrorLine,     false, kReaderPauseMs, false};
inline constexpr FailureHandling kStartManagerFailure   {"StartManager",         FailureLines::kManagerStart,  true,  kEndPauseMs,    true};
inline constexpr FailureHandling kCheckStatusFailure    {"CheckStatus",          FailureLines::kErrorLine,     true,  kEndPauseMs,    true};
inline constexpr FailureHandling kSnmpSendFailure       {"SnmpSend",             FailureLines::kErrorLine,     false, kEndPauseMs,    true};
// The answer handler reports through the flags and returns to the manager.
inline constexpr FailureHandling kResponseFailure       {"snmpManager_Response", FailureLines::kErrorLine,     true,  kEndPauseMs,    false};
inline constexpr FailureHandling kStatusCompareFailure  {"StatusCompare",        FailureLines::kErrorLine,     false, kEndPauseMs,    true};
inline constexpr FailureHandling kSendTrapFailure       {"SendTrap",             FailureLines::kErrorLine,     false, kEndPauseMs,    true};
inline constexpr FailureHandling kStartTestFailure      {"StartTest",            FailureLines::kErrorLine,     false, kEndPauseMs,    true};
// clang-format on

// Carries out `handling` for a failure described by `description`: with
// the log on, writes its lines and pauses; then, when the entry ends the
// run, ends it with exit status 1 and the reason "<procedure>: <description>"
// (for SnmpSend, the reason the node record was not read, when there is
// one that the reader has not said itself: that is what the failure comes
// from). Returns only for entries that do not end the run.
void HandleFailure(Context& ctx, const FailureHandling& handling, std::string_view description);

}  // namespace upstest::run
