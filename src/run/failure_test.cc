// The failure table carried out: lines and pause only with the log on, then
// the end with its reason, or the return.
#include "run/failure.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/error.h"
#include "run/sequence.h"
#include "test_support/fake_agent.h"
#include "test_support/test_run.h"

namespace upstest::run {
namespace {

using testing::TestRun;

// The exit status when HandleFailure ended the run, with its reason.
struct Outcome {
  std::optional<int> status;
  std::string reason;
};

Outcome Handle(TestRun& run, const FailureHandling& handling, const std::string& description) {
  try {
    HandleFailure(run.ctx, handling, description);
    return {};
  } catch (const platform::ProgramEnd& end) {
    return {end.status, end.reason};
  }
}

TEST(FailureTest, EachEntryWritesItsLinesPausesAndEndsOrReturns) {
  const std::string ts = "2026-12-08 10:00:00.000";
  struct Case {
    const FailureHandling& handling;
    std::string lines;
    int pause_ms;
    bool ends;
  };
  const Case cases[] = {
      {kReadCommandLineFailure, ts + " boom\r\nCommandLine = UPS-1 17\r\n\r\n", 500, true},
      {kReadNodeDataFailure, ts + " (ReadNodeData) boom\r\n\r\n", 200, false},
      {kReadNodeDataErrors, ts + " (ReadNodeData) boom\r\n", 200, false},
      {kStartManagerFailure, ts + " SNMP Manager Failed to Start\r\nboom\r\n\r\n", 500, true},
      {kCheckStatusFailure, ts + " (CheckStatus) boom\r\n\r\n", 500, true},
      {kSnmpSendFailure, ts + " (SnmpSend) boom\r\n", 500, true},
      {kResponseFailure, ts + " (snmpManager_Response) boom\r\n\r\n", 500, false},
      {kStatusCompareFailure, ts + " (StatusCompare) boom\r\n", 500, true},
      {kSendTrapFailure, ts + " (SendTrap) boom\r\n", 500, true},
      {kStartTestFailure, ts + " (StartTest) boom\r\n", 500, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.handling.procedure));
    TestRun on("UPS-1 17");
    on.ctx.state.DebugOn = true;
    on.SetNodeId(17);
    const Outcome logged = Handle(on, c.handling, "boom");
    EXPECT_EQ(on.NodeLog(17), c.lines);
    EXPECT_EQ(on.env.now_ms(), c.pause_ms);
    EXPECT_EQ(logged.status.has_value(), c.ends);
    if (c.ends) {
      EXPECT_EQ(*logged.status, platform::kExitFailure);
      EXPECT_EQ(logged.reason, std::string(c.handling.procedure) + ": boom");
    }

    // With the log off: nothing written, no pause, the same end.
    TestRun off("UPS-1 17");
    const Outcome quiet = Handle(off, c.handling, "boom");
    EXPECT_TRUE(off.env.appends.empty());
    EXPECT_EQ(off.env.now_ms(), 0);
    EXPECT_EQ(quiet.status, logged.status);
  }
}

// The ends that are no failure of a procedure's own: the two argument
// errors, whose description is the reason and whose status is 2, and a
// rejected packet's failure, which leaves no trace and returns.
TEST(FailureTest, ArgumentEndsAndTheRejectedPacketAreRowsToo) {
  const std::string reason = "argument 4 \"x\": no object name of slot 1";
  TestRun missing("UPS-1 17");
  missing.ctx.state.DebugOn = true;
  const Outcome missing_end = Handle(missing, kMissingArgument, reason);
  EXPECT_EQ(missing_end.status, platform::kExitArgumentError);
  EXPECT_EQ(missing_end.reason, reason);
  EXPECT_EQ(missing.env.ContentOf(testing::kTestSwitchFile),
            "\r\n2026-12-08 10:00:00.000 Argument Error\r\n"
            "2026-12-08 10:00:00.000 CommandLine = UPS-1 17\r\n\r\n");
  EXPECT_EQ(missing.env.appends.size(), 1u) << "nothing to the node log";
  EXPECT_EQ(missing.env.sleeps(), std::vector<int>{500});
  EXPECT_TRUE(missing.agent.traps.empty());

  // With the log off, the trap and its pause all the same.
  TestRun unjudged("UPS-1 17");
  const Outcome unjudged_end = Handle(unjudged, kArgumentErrorEnd, reason);
  EXPECT_EQ(unjudged_end.status, platform::kExitArgumentError);
  EXPECT_EQ(unjudged_end.reason, reason);
  ASSERT_EQ(unjudged.agent.traps.size(), 1u);
  EXPECT_EQ(testing::FakeAgent::IntAt(unjudged.agent.traps[0], 1), kPollArgumentError);
  EXPECT_EQ(unjudged.env.sleeps(), std::vector<int>{500});
  EXPECT_TRUE(unjudged.env.appends.empty());

  TestRun packet;
  packet.ctx.state.DebugOn = true;
  EXPECT_EQ(Handle(packet, kBadPacketFailure, "std::bad_alloc").status, std::nullopt);
  EXPECT_TRUE(packet.env.appends.empty());
  EXPECT_TRUE(packet.env.sleeps().empty());
}

// A send that fails for want of a node record gives the reason the record
// was not read; any other failure its own description.
TEST(FailureTest, TheReasonOfAFailedSendIsTheMissingRecord) {
  TestRun run;
  run.ctx.node_record_problem = "node 17: no row in ATR_Nodes of Provider=SQLite;Data Source=x";
  EXPECT_EQ(Handle(run, kSnmpSendFailure, "no remote address: the node record gives none").reason,
            run.ctx.node_record_problem);
  EXPECT_EQ(Handle(run, kSendTrapFailure, "no route").reason, "SendTrap: no route");
  // A record read in part has been told by the reader already.
  run.ctx.node_record_problem_said = true;
  EXPECT_EQ(Handle(run, kSnmpSendFailure, "remote port 0 outside 1..65535").reason,
            "SnmpSend: remote port 0 outside 1..65535");
}

// The top of the run: exactly one line on stderr for an end other than the
// normal one, the reason when there is one; nothing for a normal end.
TEST(FailureTest, RunTestWritesTheReasonOfAnAbnormalEndOnce) {
  TestRun missing("UPS-1 17");
  EXPECT_EQ(RunTest(missing.ctx), platform::kExitArgumentError);
  ASSERT_EQ(missing.env.stderr_lines.size(), 1u);
  EXPECT_EQ(missing.env.stderr_lines[0].rfind("argument 3 is missing or empty", 0), 0u)
      << missing.env.stderr_lines[0];
}

}  // namespace
}  // namespace upstest::run
