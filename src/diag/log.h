// The debug log: the switch, the file names, the timestamp, and the exact
// text of every group of lines the run writes. This module only formats
// and writes; it never waits (the pauses after lines belong to the run),
// and it knows nothing of the run it serves: the run tells the log where
// its files are and gives each builder the values it shows.
//
// Every line ends with CR LF. A group is built as one text first and then
// appended with one write between one open and one close, so no file stays
// open between groups and the groups of two runs never interleave.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/env.h"
#include "platform/printable.h"

namespace upstest::diag {

inline constexpr std::string_view kCrLf = "\r\n";

// "YYYY-MM-DD HH:MM:SS.ttt": the local date and time to the second, then
// the last three digits of the seconds since midnight held as a 32-bit
// float and formatted with three decimals. The two clocks are read one
// after the other, date and time first.
std::string TimeStamp(platform::Env& env);

// The debug log of one run: the switch file that turns it on, the node log
// the run's groups go to, and what bounds the run's writing.
//
// Both files lie in <base>/apiexec: the switch file is "upsdebug.txt", the
// node log "upsdebug-<node id>.txt". The log reads neither from the run:
// until the run tells it (SetBase, SetNodeId) they are "" and 0, so groups
// written before the run knows its node id (or in a run whose node id does
// not convert) go to "upsdebug-0.txt". The paths are built at each use,
// from what the log was told last.
//
// The log is optional and never costs a check: a group that cannot be
// written (open or write fails, not an ordinary file, disk full) is
// dropped, the first such failure of the log's life is reported as one
// line on the standard error ("debug log not written, the run goes on
// without it: <why>"), and the caller goes on as if it had been written.
// No call throws for a failed write.
//
// Whether the log is on (DebugOn) is the run's to decide and test: the
// Append calls write whenever they are called.
class NodeLog {
 public:
  // A run writes at most this many answer groups and this many BadPacket
  // groups; later answers and rejected packets are handled but not logged,
  // so a flood cannot fill the disk.
  static constexpr int kMaxAnswerGroups = 100;
  static constexpr int kMaxBadPacketGroups = 100;

  // REQUIRES: `env` outlives the log. Every file access and the stderr
  // line go through it.
  explicit NodeLog(platform::Env& env) : env_(env) {}
  NodeLog(const NodeLog&) = delete;
  NodeLog& operator=(const NodeLog&) = delete;

  // The base directory (the run's AppBase) and the node the log is kept
  // for. Each replaces what was told before.
  void SetBase(std::string base) { base_ = std::move(base); }
  void SetNodeId(int32_t node_id) { node_id_ = node_id; }

  // <base> + "/apiexec/upsdebug.txt".
  std::string SwitchFilePath() const;
  // <base> + "/apiexec/upsdebug-" + <node id> + ".txt".
  std::string NodeLogPath() const;

  // True when the switch file is an ordinary file.
  bool SwitchIsOn() const;

  // Appends `group` to the node log / the switch file in one write; a
  // failure is handled as above.
  void AppendNodeLog(std::string_view group);
  void AppendSwitchFile(std::string_view group);

  // Whether the run may write one more answer group (BadPacket group):
  // true, counting it, while fewer than kMaxAnswerGroups
  // (kMaxBadPacketGroups) have been counted; false from then on.
  bool TakeAnswerGroup() { return Take(answer_groups_, kMaxAnswerGroups); }
  bool TakeBadPacketGroup() { return Take(bad_packet_groups_, kMaxBadPacketGroups); }

 private:
  static bool Take(int& count, int limit) {
    if (count >= limit) return false;
    ++count;
    return true;
  }
  void Append(const std::string& path, std::string_view group);

  platform::Env& env_;
  std::string base_;
  int32_t node_id_ = 0;
  bool failure_reported_ = false;
  int answer_groups_ = 0;
  int bad_packet_groups_ = 0;
};

// Text from outside as it may stand in a log line (platform/printable.h):
// its control characters shown as '?', so that a stored value or an
// argument cannot forge a line of its own.
using platform::Printable;

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
// then an empty line. Object k is entry k - 1 of each span, numbered from 1;
// objects past the end of the shortest span are not shown.
std::string ParsedArgumentsGroup(platform::Env& env, std::string_view argument_text,
                                 std::span<const std::string> oids,
                                 std::span<const std::string> signs,
                                 std::span<const std::string> values);

// The node record as its group shows it.
struct NodeRecord {
  std::string_view address{};
  int32_t port = 0;
  int16_t status = 0;
  std::string_view snmp_version{};
  std::string_view read_community{};
  std::string_view trap_community{};
  std::string_view last_change{};
  std::string_view last_message{};
};

// Node record: eight lines with 12-character labels ("IpAddr:", "Port:",
// "Status:", "SnmpVer:", "ReadComm:", "TrapComm:", "LastChange:",
// "LastMess:") and an empty line.
std::string NodeRecordGroup(const NodeRecord& record);

// "<ts> SNMP Manager Started, IP=<address>, Port=<port>" and an empty line.
std::string ManagerStartedGroup(platform::Env& env, std::string_view local_address,
                                int32_t local_port);

// A GET as its line shows it.
struct GetRequest {
  int32_t request_id = 0;
  std::string_view address{};
  std::string_view read_community{};
  std::span<const std::string> oids{};  // shown as they are, in order
};

// "<ts> --> SendGetRequest\tReqId: <id>\t<address>\t<community>\t", then
// each OID followed by a TAB; no empty line.
std::string SendGetRequestLine(platform::Env& env, const GetRequest& request);

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

// The end of a run as its summary shows it.
struct Summary {
  std::span<const int16_t> object_statuses{};  // object 1 first
  int16_t poll_status = 0;
  int16_t ups_status = 0;
  std::string_view last_message{};
  bool trap_sent = false;
};

// The summary at the end of a run: "<ts>", "ObjStatus 1:  <s1>, ObjStatus
// 2: <s2>, ..." over every object, "Poll Status:  <p>, UPS Status: <u>",
// "Last Message: <m>", "Trap Sent:    True" or "False", an empty line.
std::string SummaryGroup(platform::Env& env, const Summary& summary);

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
