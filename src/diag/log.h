// The debug log: the switch, the file names, the timestamp, and the exact
// text of every group of lines the run writes. This module only formats
// and writes; it never waits (the pauses after lines belong to the run).
//
// Every line ends with CR LF. A group is built as one text first and then
// appended with one write between one open and one close, so no file stays
// open between groups and the groups of two runs never interleave.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/env.h"

namespace upstest::run {
struct Context;
struct TestState;
}  // namespace upstest::run

namespace upstest::diag {

inline constexpr std::string_view kCrLf = "\r\n";

// "YYYY-MM-DD HH:MM:SS.ttt": the local date and time to the second, then
// the last three digits of the seconds since midnight held as a 32-bit
// float and formatted with three decimals. The two clocks are read one
// after the other, date and time first.
std::string TimeStamp(platform::Env& env);

// AppBase + "/apiexec/upsdebug.txt".
std::string SwitchFilePath(const run::TestState& state);
// AppBase + "/apiexec/upsdebug-" + NodeId + ".txt".
std::string NodeLogPath(const run::TestState& state);

// True when the switch file is an ordinary file.
bool SwitchIsOn(platform::Env& env, const run::TestState& state);

// Appends `group` to the node log / the switch file in one write. The log
// is optional and never costs a check: a group that cannot be written
// (open or write fails, not an ordinary file, disk full) is dropped, the
// first such failure of the run is reported on the standard error, and the
// caller goes on as if it had been written. Callers test DebugOn.
void AppendNodeLog(run::Context& ctx, std::string_view group);
void AppendSwitchFile(run::Context& ctx, std::string_view group);

// A run writes at most this many answer groups and this many BadPacket
// groups; later answers and rejected packets are handled but not logged,
// so a flood cannot fill the disk.
inline constexpr int kMaxAnswerGroups = 100;
inline constexpr int kMaxBadPacketGroups = 100;

// `text` as it may stand in a log line: every control character other than
// TAB (codes 0-31 and 127) shown as '?', so that a stored value or an
// argument cannot forge a line of its own.
std::string Printable(std::string_view text);

// Joins lines, each followed by CR LF ("" gives an empty line).
std::string Lines(const std::vector<std::string>& lines);

// --- The groups -----------------------------------------------------------
// Each builder takes fresh timestamps from `env` for the lines that begin
// with one, in the order of the lines. The argument text and the objects'
// fields taken from it, the stored values and the descriptions of failures
// are shown through Printable.

// Argument error, to the switch file: empty line, "<ts> Argument Error",
// "<ts> CommandLine = <text>", empty line.
std::string ArgumentErrorGroup(platform::Env& env, std::string_view argument_text);

// Arguments as parsed: empty line, "<ts> CommandLine = <text>", then per
// object "ObjOid(k):      ", "ObjCondSign(k): ", "ObjCondVal(k):  " lines,
// then an empty line.
std::string ParsedArgumentsGroup(platform::Env& env, std::string_view argument_text,
                                 const run::TestState& state);

// Node record: eight lines with 12-character labels and an empty line.
std::string NodeRecordGroup(const run::TestState& state);

// "<ts> SNMP Manager Started, IP=<address>, Port=<port>" and an empty line.
std::string ManagerStartedGroup(platform::Env& env, std::string_view local_address,
                                int32_t local_port);

// "<ts> --> SendGetRequest\tReqId: <id>\t<IpAddr>\t<readcomm>\t<oid1>\t
// <oid2>\t<oid3>\t<oid4>\t", no empty line.
std::string SendGetRequestLine(platform::Env& env, const run::TestState& state);

// One returned binding: its OID and the value stored for it.
using BindingLine = std::pair<std::string, int32_t>;

// Answer without error: header, one "<oid>, Value: <v>" line per binding,
// empty line.
std::string ResponseGroup(platform::Env& env, int32_t request_id,
                          const std::vector<BindingLine>& bindings);

// Answer with error: header, "ErrorStatus: \t", "ErrorIndex:  \t",
// "ErrorDescr:  \t" lines, empty line, the binding lines; no empty line
// after them.
std::string ErrorResponseGroup(platform::Env& env, int32_t request_id, int16_t error_status,
                               int16_t error_index, std::string_view error_description,
                               const std::vector<BindingLine>& bindings);

// "<ts> BadPacket (<code>: <description>" and an empty line.
std::string BadPacketGroup(platform::Env& env, int16_t error_code,
                           std::string_view error_description);

// The summary at the end of a run.
std::string SummaryGroup(platform::Env& env, const run::TestState& state, bool trap_sent);

// "<ts> (<procedure>) <description>", plus an empty line when asked.
std::string ErrorLine(platform::Env& env, std::string_view procedure, std::string_view description,
                      bool empty_line_after);

// A failure of the command line itself: "<ts> <description>",
// "CommandLine = <text>", empty line.
std::string CommandLineErrorGroup(platform::Env& env, std::string_view description,
                                  std::string_view argument_text);

// The manager could not start: "<ts> SNMP Manager Failed to Start",
// "<description>", empty line.
std::string ManagerFailedGroup(platform::Env& env, std::string_view description);

}  // namespace upstest::diag
