// The failure table carried out, as a run meets each of its rows: the
// group the run writes, the pauses it takes on the fake clock, its traps
// and how it ends (exit status, stderr line), with the log on and off.
#include "run/failure.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/event_pump.h"
#include "run/sequence.h"
#include "store/node_reader.h"
#include "test_support/fake_agent.h"
#include "test_support/procedure_helpers.h"
#include "test_support/test_files.h"
#include "test_support/test_run.h"

namespace upstest::run {
namespace {

using testing::FakeBinding;
using testing::TestRun;

constexpr const char* kObjects =
    " upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 upsBatteryTemperature<40 "
    "entPhySensorValue<35";

// A delivery that fails once the run's GET is out: a failure inside
// CheckStatus's own waiting.
struct FailingDelivery final : platform::EventSource {
  explicit FailingDelivery(const testing::FakeManager& m) : manager(m) {}
  bool Due() const { return !fired && !manager.requests.empty(); }
  void DeliverPending() override {
    if (!Due()) return;
    fired = true;
    throw platform::Failure("Out of memory");
  }
  void AddWakeups(platform::Wakeups& wakeups) const override {
    if (Due()) wakeups.due_ms = platform::Wakeups::kPendingNow;
  }
  const testing::FakeManager& manager;
  bool fired = false;
};

// A run of node 17 (record 10.0.0.5:161), whose GET is answered 5 ms after
// it went out with `values`, or not at all when there are none.
struct FailingRun : TestRun {
  FailingRun(const std::string& args, std::vector<std::string> values) : TestRun(args) {
    ctx.read_node_data = [](Context& c) {
      c.state.IpAddr = "10.0.0.5";
      c.state.UdpPort = 161;
    };
    if (values.empty()) return;
    testing::FakeResponse answer;
    const char* oids[] = {testing::kOid1, testing::kOid2, testing::kOid3, testing::kOid4};
    for (size_t i = 0; i < values.size(); ++i) {
      answer.bindings.push_back({oids[i], snmp::kTypeInteger, values[i]});
    }
    manager.ResponseAfterGet(1, 5, std::move(answer));
  }
  // The log on: the switch file under the base directory in use.
  void SwitchOn() { env.files[ctx.state.AppBase + "/apiexec/upsdebug.txt"] = ""; }
  FailingDelivery failing{manager};
};

const std::vector<std::string> kMet = {"45", "230", "25", "255"};

TEST(FailureTest, EachRowAsARunMeetsIt) {
  store::testing::TempDir empty_base;  // no settings database in it
  const std::string settings = empty_base.File("Kovatrel.mdb");
  const std::string args = std::string("UPS-1 17 5") + kObjects;
  struct Row {
    const char* entry;
    std::string args;
    std::vector<std::string> values = {};              // the answer; none: no answer
    std::function<void(FailingRun&)> fault = {};       // none: the arguments or values are it
    std::string file = "upsdebug-17.txt";              // where its group goes, with the log on
    std::string lines = "";                            // that group, timestamps masked; "": none
    std::vector<int> sleeps_on = {}, sleeps_off = {};  // every pause, in ms
    int status = 1;
    std::string reason = "";          // the stderr line; "": none
    std::vector<int32_t> traps = {};  // the poll status of each trap sent
  };
  const Row rows[] = {
      {.entry = "ReadCommandLine",
       .args = std::string("UPS-1 x 5") + kObjects,
       .file = "upsdebug-0.txt",  // no node id yet
       .lines = "<ts> Type mismatch: 'x' is not a number\r\nCommandLine = UPS-1 x 5" +
                std::string(kObjects) + "\r\n\r\n",
       .sleeps_on = {500},
       .reason = "ReadCommandLine: Type mismatch: 'x' is not a number"},
      {.entry = "MissingArgument",
       .args = "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
               "upsBatteryTemperature<40",
       .file = "upsdebug.txt",  // the switch file
       .lines = "\r\n<ts> Argument Error\r\n<ts> CommandLine = UPS-1 17 5 "
                "upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
                "upsBatteryTemperature<40\r\n\r\n",
       .sleeps_on = {500},
       .status = 2,
       .reason = "argument 7 is missing or empty (seven arguments are needed: NODENAME NODEID "
                 "NODESTATUS and four objects)"},
      // The reader returns; the send then fails for want of an address, and
      // the reason is why the record was not read.
      {.entry = "ReadNodeData",
       .args = args,
       .fault =
           [&empty_base](FailingRun& run) {
             run.SetBase(empty_base.path());
             run.ctx.read_node_data = [](Context& c) { store::ReadNodeData(c); };
             run.manager.FailOn("SendGetRequest", "no remote address: the node record gives none");
           },
       .lines = "<ts> (ReadNodeData) Could not find file '" + settings + "'\r\n\r\n",
       .sleeps_on = {200, 20, 500},
       .sleeps_off = {20},
       .reason = "node 17: cannot read the settings database " + settings +
                 ": Could not find file '" + settings + "'"},
      {.entry = "StartManager",
       .args = args,
       .fault = [](FailingRun& run) { run.manager.FailOn("SetActive", "no socket"); },
       .lines = "<ts> SNMP Manager Failed to Start\r\nno socket\r\n\r\n",
       .sleeps_on = {500},
       .reason = "StartManager: no socket"},
      {.entry = "CheckStatus",
       .args = args,
       .fault = [](FailingRun& run) { run.pump.Register(&run.failing); },
       .lines = "<ts> (CheckStatus) Out of memory\r\n\r\n",
       .sleeps_on = {20, 500},
       .sleeps_off = {20},
       .reason = "CheckStatus: Out of memory"},
      {.entry = "SnmpSend",
       .args = args,
       .fault = [](FailingRun& run) { run.manager.FailOn("SendGetRequest", "cannot send"); },
       .lines = "<ts> (SnmpSend) cannot send\r\n",
       .sleeps_on = {20, 500},
       .sleeps_off = {20},
       .reason = "SnmpSend: cannot send"},
      // The handler returns: the run goes on to its poll-status-3 trap, the
      // summary and its end pause.
      {.entry = "snmpManager_Response",
       .args = args,
       .values = {"45", "230", "warm", "255"},
       .lines = "<ts> (snmpManager_Response) Type mismatch: 'warm' is not a number\r\n\r\n",
       .sleeps_on = {20, 5, 500, 500},
       .sleeps_off = {20, 5},
       .status = 0,
       .traps = {kPollHandlerFailed}},
      {.entry = "StatusCompare",
       .args = "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
               "upsBatteryTemperature<forty entPhySensorValue<35",
       .values = kMet,
       .lines = "<ts> (StatusCompare) Type mismatch: 'forty' is not a number\r\n",
       .sleeps_on = {20, 5, 500},
       .sleeps_off = {20, 5},
       .reason = "StatusCompare: Type mismatch: 'forty' is not a number"},
      {.entry = "SendTrap",
       .args = args,
       .values = kMet,
       .fault = [](FailingRun& run) { run.agent.FailOn("SendTrap", "no route"); },
       .lines = "<ts> (SendTrap) no route\r\n",
       .sleeps_on = {20, 5, 500},
       .sleeps_off = {20, 5},
       .reason = "SendTrap: no route"},
      {.entry = "StartTest",
       .args = args,
       .fault =
           [](FailingRun& run) {
             run.ctx.read_node_data = [](Context&) { throw platform::Failure("database gone"); };
           },
       .lines = "<ts> (StartTest) database gone\r\n",
       .sleeps_on = {500},
       .reason = "StartTest: database gone"},
      // The argument-error trap and its pause come with the log off too.
      {.entry = "EndWithArgumentError",
       .args = "UPS-1 17 5 upsEstimatedMinutesRemaining>10 voltage|200-250 "
               "upsBatteryTemperature<40 entPhySensorValue<35",
       .sleeps_on = {500},
       .sleeps_off = {500},
       .status = 2,
       .reason = "argument 5 \"voltage|200-250\": no object name of slot 2 (upsBatteryVoltage or "
                 "xupsInputVoltage)",
       .traps = {kPollArgumentError}},
  };
  for (const Row& row : rows) {
    for (const bool log_on : {true, false}) {
      SCOPED_TRACE(std::string(row.entry) + (log_on ? ", log on" : ", log off"));
      FailingRun run(row.args, row.values);
      if (row.fault) row.fault(run);
      if (log_on) run.SwitchOn();
      EXPECT_EQ(RunTest(run.ctx), row.status);
      run.pump.Unregister(&run.failing);

      std::optional<std::string> written;  // the failure's group, found among the appends
      for (const auto& [path, bytes] : run.env.appends) {
        if (path == run.ctx.state.AppBase + "/apiexec/" + row.file &&
            testing::MaskTimestamps(bytes) == row.lines) {
          written = row.lines;
        }
      }
      EXPECT_EQ(written.has_value(), log_on && !row.lines.empty());
      if (!log_on) {
        EXPECT_TRUE(run.env.appends.empty());
      }
      EXPECT_EQ(run.env.sleeps(), log_on ? row.sleeps_on : row.sleeps_off);
      EXPECT_EQ(run.env.stderr_lines, row.reason.empty() ? std::vector<std::string>{}
                                                         : std::vector<std::string>{row.reason});
      std::vector<int32_t> traps;
      for (const testing::RecordedTrap& trap : run.agent.traps) {
        traps.push_back(testing::FakeAgent::IntAt(trap, 1));
      }
      EXPECT_EQ(traps, row.traps);
    }
  }
}

// The two rows a run on the fakes cannot meet: errors a database provider
// leaves after a successful open or query (the reader's own tests meet them
// with such a provider), and a rejected packet whose log group cannot even
// be built. The first writes its bare line and pauses like the reader's
// failure, and the run goes on; the second leaves no trace.
TEST(FailureTest, RowsOnlyAProviderOrMemoryCanReach) {
  TestRun errors("UPS-1 17");
  errors.ctx.state.DebugOn = true;
  errors.SetNodeId(17);
  EXPECT_EQ(testing::EndStatus([&] { HandleFailure(errors.ctx, kReadNodeDataErrors, ""); }),
            std::nullopt);
  EXPECT_EQ(testing::MaskTimestamps(errors.NodeLog(17)), "<ts> (ReadNodeData) \r\n");
  EXPECT_EQ(errors.env.sleeps(), std::vector<int>{200});

  TestRun packet;
  packet.ctx.state.DebugOn = true;
  EXPECT_EQ(
      testing::EndStatus([&] { HandleFailure(packet.ctx, kBadPacketFailure, "std::bad_alloc"); }),
      std::nullopt);
  EXPECT_TRUE(packet.env.appends.empty());
  EXPECT_TRUE(packet.env.sleeps().empty());
}

// A send that fails for want of a node record gives the reason the record
// was not read; any other failure its own description.
TEST(FailureTest, TheReasonOfAFailedSendIsTheMissingRecord) {
  TestRun run;
  run.ctx.node_record_problem = "node 17: no row in ATR_Nodes of Provider=SQLite;Data Source=x";
  const auto reason = [&run](const FailureHandling& handling, const std::string& description) {
    try {
      HandleFailure(run.ctx, handling, description);
    } catch (const platform::ProgramEnd& end) {
      return end.reason;
    }
    return std::string("(returned)");
  };
  EXPECT_EQ(reason(kSnmpSendFailure, "no remote address: the node record gives none"),
            run.ctx.node_record_problem);
  EXPECT_EQ(reason(kSendTrapFailure, "no route"), "SendTrap: no route");
  // A record read in part has been told by the reader already.
  run.ctx.node_record_problem_said = true;
  EXPECT_EQ(reason(kSnmpSendFailure, "remote port 0 outside 1..65535"),
            "SnmpSend: remote port 0 outside 1..65535");
}

}  // namespace
}  // namespace upstest::run
