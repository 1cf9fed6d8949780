// The test state: the one record of a run.
//
// Every procedure of a run, in cmdline, store, snmp and trap as in run/
// itself, reads and writes the fields of this record directly (through the
// run::Context it is given) instead of taking them as arguments or
// returning them. So run/ is both where the state lives and where the
// sequence that drives those procedures runs (run/sequence.h): those
// modules include the state, the context, Wait and the failure table from
// run/, and the sequence calls them. Each procedure's header names the
// fields it reads and the fields it writes, what it sends or writes
// elsewhere, and how it fails: the entry of the failure table
// (run/failure.h) its catch names, which fixes the log lines, the pause and
// whether the run ends. A field a header does not name, the procedure
// leaves alone.
//
// A procedure that waits (run/wait.h) lets the manager's events in: the
// answer handler (snmp/response.h) may then write ObjValue,
// ResponseReceived and ResponseError while it waits. The headers name only
// what a procedure writes itself.
//
// The record exists, all zero, before the run begins and lives until the
// process ends; it is never reset or copied.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "platform/error.h"

namespace upstest::run {

// The four objects an answer fills, in its order: one binding each.
inline constexpr int kObjectCount = 4;

// The four objects' fields, numbered 1 to 4 as everywhere in the system:
// ObjOid(1) is object 1. Any other number is a runtime error.
template <typename T>
class ObjectArray {
 public:
  T& operator()(int n) { return values_[Index(n)]; }
  const T& operator()(int n) const { return values_[Index(n)]; }
  // Every object's value, object 1 first.
  std::span<const T, kObjectCount> All() const { return values_; }

 private:
  static size_t Index(int n) {
    if (n < 1 || n > kObjectCount) {
      throw platform::Failure("Subscript out of range: object " + std::to_string(n));
    }
    return static_cast<size_t>(n - 1);
  }
  std::array<T, kObjectCount> values_{};
};

struct TestState {
  // Run control and switches.
  std::string AppBase;  // program directory less "/apiexec"
  bool DebugOn = false;
  bool ArgError = false;
  bool ResponseReceived = false;
  bool ResponseError = false;
  int32_t RequestId = 0;

  // Node identity and settings.
  std::string NodeName;
  int32_t NodeId = 0;
  int16_t NodeStatus = 0;
  std::string IpAddr;
  int32_t UdpPort = 0;
  std::string SnmpVersion;
  std::string readcomm;
  std::string trapcomm;
  std::string LastChange;
  std::string LastMessage;

  // The four objects.
  ObjectArray<std::string> ObjOid;
  ObjectArray<std::string> ObjCondSign;
  ObjectArray<std::string> ObjCondVal;
  ObjectArray<int32_t> ObjValue;
  ObjectArray<int16_t> ObjStatus;

  // Overall status.
  int16_t PollStatus = 0;
  int16_t UpsStatus = 0;

  TestState() = default;
  TestState(const TestState&) = delete;
  TestState& operator=(const TestState&) = delete;
};

// PollStatus codes.
inline constexpr int16_t kPollJudged = 1;
inline constexpr int16_t kPollArgumentError = 2;
inline constexpr int16_t kPollHandlerFailed = 3;
inline constexpr int16_t kPollNoAnswer = 4;

// UpsStatus codes.
inline constexpr int16_t kUpsNotJudged = 0;
inline constexpr int16_t kUpsAllMet = 1;
inline constexpr int16_t kUpsConditionFailed = 2;

// ObjStatus codes.
inline constexpr int16_t kObjNotJudged = 0;
inline constexpr int16_t kObjMet = 1;
inline constexpr int16_t kObjFailed = 2;
inline constexpr int16_t kObjOtherAlarm = 3;

// A node with this stored status gets no all-clear trap.
inline constexpr int16_t kNodeStatusNoAllClear = 6;

// The SNMP version a node is polled in: SNMPv2c (2) only for the exact
// stored text "2" (nothing is trimmed), SNMPv1 (1) for anything else.
inline int PolledSnmpVersion(const TestState& state) { return state.SnmpVersion == "2" ? 2 : 1; }
// That version's name as SNMP writes it: "1" or "2c".
inline const char* PolledSnmpVersionName(const TestState& state) {
  return PolledSnmpVersion(state) == 2 ? "2c" : "1";
}

// A poll that was not judged: `poll_status`, and every other code 0.
inline void SetNotJudged(TestState& state, int16_t poll_status) {
  state.PollStatus = poll_status;
  state.UpsStatus = kUpsNotJudged;
  for (int n = 1; n <= kObjectCount; ++n) state.ObjStatus(n) = kObjNotJudged;
}

}  // namespace upstest::run
