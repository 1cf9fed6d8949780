#include "snmp/status_request.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "run/wait.h"
#include "test_support/procedure_helpers.h"
#include "test_support/test_run.h"

namespace upstest::snmp {
namespace {

using testing::EndStatus;
using testing::FakeBinding;
using testing::FakeResponse;
using testing::MaskTimestamps;
using testing::TestRun;

using testing::kOid1;
using testing::kOid2;
using testing::kOid3;
using testing::kOid4;

FakeResponse FourIntegers(int32_t request_id = 1000001) {
  FakeResponse r;
  r.request_id = request_id;
  r.bindings = {{kOid1, kTypeInteger, "120"},
                {kOid2, kTypeInteger, "2300"},
                {kOid3, kTypeInteger, "25"},
                {kOid4, kTypeInteger, "-5"}};
  return r;
}

class StatusRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run::TestState& s = run.ctx.state;
    run.SetNodeId(17);
    s.IpAddr = "10.0.0.5";
    s.UdpPort = 161;
    s.SnmpVersion = "2";
    s.readcomm = "public";
    s.ObjOid(1) = kOid1;
    s.ObjOid(2) = kOid2;
    s.ObjOid(3) = kOid3;
    s.ObjOid(4) = kOid4;
  }
  // StartManager, then forget its calls.
  void Started() {
    StartManager(run.ctx);
    run.manager.calls.clear();
  }
  std::string Log() { return MaskTimestamps(run.NodeLog(17)); }

  TestRun run;
};

const std::vector<std::string> kRequestCalls = {
    "Reset",
    "SetWaitingTime 0",
    "SetRemoteHost 10.0.0.5",
    "SetRemotePort 161",
    "SetVersion 2",
    "SetCommunity public",
    "SetRequestId 1000001",
    "SetObjCount 4",
    std::string("SetObjId 0 ") + kOid1,
    std::string("SetObjId 1 ") + kOid2,
    std::string("SetObjId 2 ") + kOid3,
    std::string("SetObjId 3 ") + kOid4,
    "SendGetRequest",
};

// --- StartManager ------------------------------------------------------------

TEST_F(StatusRequestTest, StartManagerWithTheLogOffActivatesAndWaitsOnly) {
  StartManager(run.ctx);
  EXPECT_EQ(run.manager.calls,
            (std::vector<std::string>{"SetWaitingTime 0", "SetLocalAddress ", "SetActive true"}));
  EXPECT_EQ(run.env.sleeps(), (std::vector<int>{20}));
  EXPECT_TRUE(run.env.appends.empty());
}

TEST_F(StatusRequestTest, StartManagerLogsTheAddressAndPortInUseAfterItsWait) {
  run.ctx.state.DebugOn = true;
  run.manager.local_address_in_use = "192.0.2.9";
  run.manager.local_port_in_use = 51234;
  StartManager(run.ctx);
  EXPECT_EQ(run.manager.calls,
            (std::vector<std::string>{"SetWaitingTime 0", "SetLocalAddress ", "SetActive true",
                                      "LocalAddress", "LocalPort"}));
  EXPECT_EQ(Log(), "<ts> SNMP Manager Started, IP=192.0.2.9, Port=51234\r\n\r\n");
  ASSERT_EQ(run.env.appends.size(), 1u);
  // The group is written after the 20 ms wait.
  EXPECT_EQ(run.env.sleeps(), (std::vector<int>{20}));
}

TEST_F(StatusRequestTest, StartManagerDeliversEventsDuringItsWait) {
  run.ctx.state.DebugOn = true;
  run.manager.BadPacketAt(0, {7, "stray datagram"});
  StartManager(run.ctx);
  ASSERT_EQ(run.manager.delivered.size(), 1u);
  EXPECT_EQ(run.manager.delivered[0], (std::pair<int64_t, std::string>{10, "BadPacket 7"}));
  EXPECT_EQ(Log(),
            "<ts> BadPacket (7: stray datagram\r\n\r\n"
            "<ts> SNMP Manager Started, IP=0.0.0.0, Port=40123\r\n\r\n");
}

TEST_F(StatusRequestTest, StartManagerFailureWithTheLogOn) {
  run.ctx.state.DebugOn = true;
  run.manager.FailOn("SetActive", "Cannot bind: Address already in use");
  EXPECT_EQ(EndStatus([&] { StartManager(run.ctx); }), platform::kExitFailure);
  EXPECT_EQ(Log(),
            "<ts> SNMP Manager Failed to Start\r\nCannot bind: Address already in use\r\n\r\n");
  EXPECT_EQ(run.env.sleeps(), std::vector<int>{500});
  EXPECT_TRUE(run.agent.traps.empty());
}

TEST_F(StatusRequestTest, StartManagerFailureReadingTheAddressEndsTheRunToo) {
  run.ctx.state.DebugOn = true;
  run.manager.FailOn("LocalPort", "no port");
  EXPECT_EQ(EndStatus([&] { StartManager(run.ctx); }), platform::kExitFailure);
  EXPECT_EQ(Log(), "<ts> SNMP Manager Failed to Start\r\nno port\r\n\r\n");
  EXPECT_EQ(run.env.slept_ms(), 20 + 500);
}

TEST_F(StatusRequestTest, StartManagerFailureWithTheLogOffEndsAtOnce) {
  run.manager.FailOn("SetWaitingTime");
  EXPECT_EQ(EndStatus([&] { StartManager(run.ctx); }), platform::kExitFailure);
  EXPECT_TRUE(run.env.sleeps().empty());
  EXPECT_TRUE(run.env.appends.empty());
  EXPECT_TRUE(run.agent.calls.empty());
}

TEST_F(StatusRequestTest, StartManagerWithAnUnwritableLogStartsTheManager) {
  run.ctx.state.DebugOn = true;
  run.env.failing_paths.insert("/base/apiexec/upsdebug-17.txt");
  EXPECT_NO_THROW(StartManager(run.ctx));
  EXPECT_NE(std::find(run.manager.calls.begin(), run.manager.calls.end(), "SetActive true"),
            run.manager.calls.end());
}

// --- CheckStatus and SnmpSend ------------------------------------------------

TEST_F(StatusRequestTest, AnsweredRequestCallingOrder) {
  Started();
  run.manager.ResponseAfterGet(1, 50, FourIntegers());
  CheckStatus(run.ctx);
  std::vector<std::string> expected = kRequestCalls;
  for (const char* c : {"ObjCount", "ObjValueType 0", "ObjValue 0", "ObjValueType 1", "ObjValue 1",
                        "ObjValueType 2", "ObjValue 2", "ObjValueType 3", "ObjValue 3"}) {
    expected.push_back(c);
  }
  EXPECT_EQ(run.manager.calls, expected);
  ASSERT_EQ(run.manager.requests.size(), 1u);
  const testing::SentRequest& sent = run.manager.requests[0];
  EXPECT_EQ(sent.waiting_time, 0);
  EXPECT_EQ(sent.oids, (std::vector<std::string>{kOid1, kOid2, kOid3, kOid4}));
  EXPECT_TRUE(run.ctx.state.ResponseReceived);
  EXPECT_FALSE(run.ctx.state.ResponseError);
  EXPECT_EQ(run.ctx.state.RequestId, 1000001);
  EXPECT_EQ(run.ctx.state.ObjValue(4), -5);
  // Taken in as it arrives, 50 ms after the request, in one sleep.
  EXPECT_EQ(run.env.now_ms() - sent.at_ms, 50);
  EXPECT_EQ(run.env.sleeps(), (std::vector<int>{20, 50}));
}

TEST_F(StatusRequestTest, AnsweredRequestWithTheLogOnLogsRequestThenAnswer) {
  run.ctx.state.DebugOn = true;
  Started();
  run.manager.ResponseAfterGet(1, 0, FourIntegers());
  CheckStatus(run.ctx);
  std::vector<std::string> expected = kRequestCalls;
  for (const char* c : {"ObjCount", "ObjValueType 0", "ObjValue 0", "ObjValueType 1", "ObjValue 1",
                        "ObjValueType 2", "ObjValue 2", "ObjValueType 3", "ObjValue 3", "ObjCount",
                        "ObjId 0", "ObjId 1", "ObjId 2", "ObjId 3"}) {
    expected.push_back(c);
  }
  EXPECT_EQ(run.manager.calls, expected);
  EXPECT_EQ(Log(),
            "<ts> SNMP Manager Started, IP=0.0.0.0, Port=40123\r\n\r\n"
            "<ts> --> SendGetRequest\tReqId: 1000001\t10.0.0.5\tpublic\t" +
                std::string(kOid1) + "\t" + kOid2 + "\t" + kOid3 + "\t" + kOid4 +
                "\t\r\n"
                "<ts> <-- SnmpResponse\tReqId: 1000001\r\n" +
                kOid1 + ", Value: 120\r\n" + kOid2 + ", Value: 2300\r\n" + kOid3 +
                ", Value: 25\r\n" + kOid4 + ", Value: -5\r\n\r\n");
  // An answer that arrives with the request is taken in at once.
  EXPECT_EQ(run.env.now_ms() - run.manager.requests[0].at_ms, 0);
}

class SnmpVersionTest : public StatusRequestTest,
                        public ::testing::WithParamInterface<std::pair<std::string, int>> {};

TEST_P(SnmpVersionTest, OnlyTheExactTextTwoSelectsVersionTwo) {
  run.ctx.state.SnmpVersion = GetParam().first;
  Started();
  run.manager.ResponseAfterGet(1, 0, FourIntegers());
  CheckStatus(run.ctx);
  ASSERT_EQ(run.manager.requests.size(), 1u);
  EXPECT_EQ(run.manager.requests[0].version, GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, SnmpVersionTest,
    ::testing::Values(std::pair<std::string, int>{"2", 2}, std::pair<std::string, int>{"", 1},
                      std::pair<std::string, int>{"1", 1}, std::pair<std::string, int>{"3", 1},
                      std::pair<std::string, int>{"2c", 1}, std::pair<std::string, int>{"2 ", 1},
                      std::pair<std::string, int>{" 2", 1}));

// The clock starts at various points within a second (and once just before
// midnight at the end of a year); the deadline is kept in whole seconds, so
// an attempt lasts until the clock has passed the deadline second: more than
// 2 s, at most 3 s. A silent attempt is slept through in one call.
struct ClockStart {
  platform::CivilTime civil;
  int64_t ms;
};

class UnansweredTest : public StatusRequestTest,
                       public ::testing::WithParamInterface<ClockStart> {};

TEST_P(UnansweredTest, TwoAttemptsWithWholeSecondDeadlines) {
  run.env = testing::FakeEnv(GetParam().civil, GetParam().ms);
  run.ctx.state.DebugOn = true;
  Started();
  run.ctx.state.ResponseReceived = true;  // left over; cleared before sending
  CheckStatus(run.ctx);
  EXPECT_FALSE(run.ctx.state.ResponseReceived);
  ASSERT_EQ(run.manager.requests.size(), 2u);
  const int64_t first = run.manager.requests[0].at_ms;
  const int64_t second = run.manager.requests[1].at_ms;
  const int64_t end = run.env.now_ms();
  EXPECT_EQ(first, 20);  // right after the manager start's wait, none before it
  for (int64_t length : {second - first, end - second}) {
    EXPECT_GT(length, 2000);
    EXPECT_LE(length, 3000);
  }
  // Each attempt ends when its clock second reaches start + 3 s.
  for (int64_t start : {first, second}) {
    const int64_t phase = GetParam().ms;
    const int64_t third_second = ((start + phase) / 1000 + 3) * 1000 - phase;
    EXPECT_EQ(start == first ? second : end, third_second);
  }
  EXPECT_EQ(run.env.sleeps(), (std::vector<int>{20, static_cast<int>(second - first),
                                                static_cast<int>(end - second)}));
  for (const testing::SentRequest& r : run.manager.requests) {
    EXPECT_EQ(r.request_id, 1000001);
    EXPECT_EQ(r.version, 2);
    EXPECT_EQ(r.oids, (std::vector<std::string>{kOid1, kOid2, kOid3, kOid4}));
  }
  EXPECT_EQ(run.ctx.state.RequestId, 1000001);
  std::vector<std::string> twice = kRequestCalls;
  twice.insert(twice.end(), kRequestCalls.begin(), kRequestCalls.end());
  EXPECT_EQ(run.manager.calls, twice);
  const std::string request_line = "<ts> --> SendGetRequest\tReqId: 1000001\t10.0.0.5\tpublic\t" +
                                   std::string(kOid1) + "\t" + kOid2 + "\t" + kOid3 + "\t" + kOid4 +
                                   "\t\r\n";
  EXPECT_EQ(Log(), "<ts> SNMP Manager Started, IP=0.0.0.0, Port=40123\r\n\r\n" + request_line +
                       request_line);
}

constexpr platform::CivilTime kMorning{2026, 12, 8, 10, 0, 0};
INSTANTIATE_TEST_SUITE_P(SubSecondPhases, UnansweredTest,
                         ::testing::Values(ClockStart{kMorning, 0}, ClockStart{kMorning, 1},
                                           ClockStart{kMorning, 17}, ClockStart{kMorning, 250},
                                           ClockStart{kMorning, 499}, ClockStart{kMorning, 500},
                                           ClockStart{kMorning, 960}, ClockStart{kMorning, 979},
                                           ClockStart{kMorning, 980}, ClockStart{kMorning, 981},
                                           ClockStart{kMorning, 999},
                                           ClockStart{{2026, 12, 31, 23, 59, 58}, 990}));

// Steps the local time once, at the first delivery after `at_ms`, as the
// end of summer time or a corrected system clock does.
struct ClockStep : platform::EventSource {
  ClockStep(testing::FakeEnv& env, int64_t at_ms, int64_t step_ms)
      : env(env), at_ms(at_ms), step_ms(step_ms) {}
  void DeliverPending() override {
    if (!done && env.now_ms() >= at_ms) {
      done = true;
      env.StepLocalTime(step_ms);
    }
  }
  void AddWakeups(platform::Wakeups& wakeups) const override {
    if (!done) wakeups.due_ms = std::min(wakeups.due_ms, at_ms);
  }
  testing::FakeEnv& env;
  int64_t at_ms, step_ms;
  bool done = false;
};

// A step of the local time during an attempt, back or forward, neither
// stretches nor cuts the waits: both attempts end when they would have.
TEST_F(StatusRequestTest, LocalTimeStepsDoNotMoveTheDeadlines) {
  const auto attempts = [](int64_t step_ms) {
    TestRun r;
    r.ctx.state.IpAddr = "10.0.0.5";
    r.ctx.state.UdpPort = 161;
    ClockStep step(r.env, 700, step_ms);
    r.pump.Register(&step);
    StartManager(r.ctx);
    CheckStatus(r.ctx);
    r.pump.Unregister(&step);
    EXPECT_TRUE(step_ms == 0 || step.done);
    std::vector<int64_t> times;
    for (const testing::SentRequest& q : r.manager.requests) times.push_back(q.at_ms);
    times.push_back(r.env.now_ms());
    return times;
  };
  const std::vector<int64_t> steady = attempts(0);
  ASSERT_EQ(steady.size(), 3u);
  EXPECT_GT(steady[2] - steady[1], 2000);
  EXPECT_EQ(attempts(-3600 * 1000), steady) << "an hour back";
  EXPECT_EQ(attempts(3600 * 1000), steady) << "an hour forward";
  EXPECT_EQ(attempts(-1500), steady) << "a second and a half back";
}

TEST_F(StatusRequestTest, AnswerToTheFirstRequestArrivingInTheSecondAttemptIsTaken) {
  Started();
  run.manager.ResponseAfterGet(1, 3500, FourIntegers());
  CheckStatus(run.ctx);
  ASSERT_EQ(run.manager.requests.size(), 2u);
  ASSERT_EQ(run.manager.delivered.size(), 1u);
  EXPECT_GT(run.manager.delivered[0].first, run.manager.requests[1].at_ms);
  EXPECT_TRUE(run.ctx.state.ResponseReceived);
  EXPECT_FALSE(run.ctx.state.ResponseError);
  EXPECT_EQ(run.ctx.state.ObjValue(1), 120);
  EXPECT_LE(run.env.now_ms() - run.manager.delivered[0].first, 20);
}

TEST_F(StatusRequestTest, HandlerFailureEndsTheWaitWithoutASecondAttempt) {
  Started();
  FakeResponse bad = FourIntegers();
  bad.bindings[1] = {kOid2, kTypeOctetString, "n/a"};
  run.manager.ResponseAfterGet(1, 100, bad);
  CheckStatus(run.ctx);
  EXPECT_EQ(run.manager.requests.size(), 1u);
  EXPECT_TRUE(run.ctx.state.ResponseReceived);
  EXPECT_TRUE(run.ctx.state.ResponseError);
  EXPECT_EQ(run.ctx.state.ObjValue(1), 120);  // stored before the failure
  EXPECT_LE(run.env.now_ms() - run.manager.requests[0].at_ms, 120);
}

TEST_F(StatusRequestTest, AnswerWithAnOlderIdIsStoredButTheWaitGoesOn) {
  Started();
  run.manager.ResponseAfterGet(1, 100, FourIntegers(1000000));
  CheckStatus(run.ctx);
  EXPECT_EQ(run.manager.requests.size(), 2u);
  EXPECT_FALSE(run.ctx.state.ResponseReceived);
  EXPECT_EQ(run.ctx.state.ObjValue(2), 2300);
}

TEST_F(StatusRequestTest, ErrorStatusAnswerEndsTheWaitWhateverItsId) {
  Started();
  FakeResponse r;
  r.request_id = 42;
  r.error_status = 2;
  r.error_index = 1;
  r.error_description = "noSuchName";
  run.manager.ResponseAfterGet(1, 100, r);
  CheckStatus(run.ctx);
  EXPECT_EQ(run.manager.requests.size(), 1u);
  EXPECT_TRUE(run.ctx.state.ResponseReceived);
  EXPECT_FALSE(run.ctx.state.ResponseError);
}

TEST_F(StatusRequestTest, RejectedPacketsDoNotEndTheWait) {
  Started();
  run.manager.BadPacketAfterGet(1, 30, {1, "bad version"});
  run.manager.ResponseAfterGet(1, 400, FourIntegers());
  CheckStatus(run.ctx);
  EXPECT_EQ(run.manager.requests.size(), 1u);
  EXPECT_EQ(run.manager.delivered.size(), 2u);
  EXPECT_TRUE(run.ctx.state.ResponseReceived);
}

TEST_F(StatusRequestTest, EmptyCommunityGivesTwoTabsInARow) {
  run.ctx.state.DebugOn = true;
  run.ctx.state.readcomm = "";
  run.ctx.state.SnmpVersion = "";
  Started();
  run.manager.ResponseAfterGet(1, 0, FourIntegers());
  CheckStatus(run.ctx);
  EXPECT_EQ(run.manager.requests[0].community, "");
  EXPECT_EQ(run.manager.requests[0].version, 1);
  EXPECT_NE(Log().find("\tReqId: 1000001\t10.0.0.5\t\t" + std::string(kOid1)), std::string::npos);
}

// --- Failure handling ------------------------------------------------------

TEST_F(StatusRequestTest, SendFailureWithTheLogOnKeepsTheRequestLine) {
  run.ctx.state.DebugOn = true;
  run.ctx.state.IpAddr = "";
  Started();
  run.manager.FailOn("SendGetRequest", "Cannot resolve host ''");
  const int slept_before = run.env.slept_ms();
  EXPECT_EQ(EndStatus([&] { CheckStatus(run.ctx); }), platform::kExitFailure);
  EXPECT_EQ(Log(),
            "<ts> SNMP Manager Started, IP=0.0.0.0, Port=40123\r\n\r\n"
            "<ts> --> SendGetRequest\tReqId: 1000001\t\tpublic\t" +
                std::string(kOid1) + "\t" + kOid2 + "\t" + kOid3 + "\t" + kOid4 +
                "\t\r\n"
                "<ts> (SnmpSend) Cannot resolve host ''\r\n");
  EXPECT_EQ(run.env.slept_ms() - slept_before, 500);
  EXPECT_TRUE(run.manager.requests.empty());
  EXPECT_TRUE(run.agent.traps.empty());
}

TEST_F(StatusRequestTest, SendFailureWithTheLogOffEndsAtOnce) {
  Started();
  run.manager.FailOn("SetRemotePort", "bad port");
  const size_t sleeps_before = run.env.sleeps().size();
  EXPECT_EQ(EndStatus([&] { CheckStatus(run.ctx); }), platform::kExitFailure);
  EXPECT_EQ(run.env.sleeps().size(), sleeps_before);
  EXPECT_TRUE(run.env.appends.empty());
  EXPECT_EQ(run.manager.calls,
            (std::vector<std::string>{"Reset", "SetWaitingTime 0", "SetRemoteHost 10.0.0.5",
                                      "SetRemotePort 161"}));
}

// A source that fails once while events are delivered: a failure inside
// CheckStatus's own waiting.
struct FailingSource : platform::EventSource {
  bool armed = true;
  void DeliverPending() override {
    if (armed) {
      armed = false;
      throw platform::Failure("Out of memory");
    }
  }
  void AddWakeups(platform::Wakeups& wakeups) const override {
    if (armed) wakeups.due_ms = platform::Wakeups::kPendingNow;
  }
};

TEST_F(StatusRequestTest, CheckStatusFailureWithTheLogOn) {
  run.ctx.state.DebugOn = true;
  Started();
  FailingSource failing;
  run.pump.Register(&failing);
  const size_t sleeps_before = run.env.sleeps().size();
  EXPECT_EQ(EndStatus([&] { CheckStatus(run.ctx); }), platform::kExitFailure);
  run.pump.Unregister(&failing);
  const std::string log = Log();
  const std::string tail = "<ts> (CheckStatus) Out of memory\r\n\r\n";
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(log.substr(log.size() - tail.size()), tail);
  // The failing delivery comes at once, then the failure's 500 ms.
  EXPECT_EQ(run.env.sleeps().size() - sleeps_before, 1u);
  EXPECT_EQ(run.env.sleeps().back(), 500);
  EXPECT_EQ(run.manager.requests.size(), 1u);
}

TEST_F(StatusRequestTest, CheckStatusFailureWithTheLogOff) {
  Started();
  FailingSource failing;
  run.pump.Register(&failing);
  const size_t sleeps_before = run.env.sleeps().size();
  EXPECT_EQ(EndStatus([&] { CheckStatus(run.ctx); }), platform::kExitFailure);
  run.pump.Unregister(&failing);
  EXPECT_EQ(run.env.sleeps().size(), sleeps_before) << "the failing delivery comes at once";
  EXPECT_TRUE(run.env.appends.empty());
}

TEST_F(StatusRequestTest, UnwritableRequestLineStillSendsBothAttempts) {
  run.ctx.state.DebugOn = true;
  Started();
  run.env.failing_paths.insert("/base/apiexec/upsdebug-17.txt");
  EXPECT_NO_THROW(CheckStatus(run.ctx));
  EXPECT_EQ(run.manager.requests.size(), 2u);
  EXPECT_FALSE(run.ctx.state.ResponseReceived);
}

}  // namespace
}  // namespace upstest::snmp
