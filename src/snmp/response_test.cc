#include "snmp/response.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "run/wait.h"
#include "test_support/procedure_helpers.h"
#include "test_support/test_run.h"
#include "trap/status_trap.h"

namespace upstest::snmp {
namespace {

using testing::FakeBinding;
using testing::FakeResponse;
using testing::MaskTimestamps;
using testing::TestRun;

using testing::kOid1;
using testing::kOid2;
using testing::kOid3;
using testing::kOid4;

FakeResponse Answer(std::vector<FakeBinding> bindings, int32_t request_id = 1000001) {
  FakeResponse r;
  r.request_id = request_id;
  r.bindings = std::move(bindings);
  return r;
}

FakeResponse FourIntegers(int32_t request_id = 1000001) {
  return Answer({{kOid1, kTypeInteger, "120"},
                 {kOid2, kTypeInteger, "2300"},
                 {kOid3, kTypeInteger, "25"},
                 {kOid4, kTypeInteger, "-5"}},
                request_id);
}

// The handlers run only as events of the manager, delivered inside Wait:
// each test schedules its answer and waits one step for it.
class ResponseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    run.SetNodeId(17);
    run.ctx.state.RequestId = 1000001;
    run.manager.SetActive(true);
    run.manager.calls.clear();
  }
  void Deliver(FakeResponse response) {
    run.manager.ResponseAt(run.env.now_ms(), std::move(response));
    run::Wait(run.ctx, 10);
  }
  void DeliverBadPacket(int16_t code, std::string description) {
    run.manager.BadPacketAt(run.env.now_ms(), {code, std::move(description)});
    run::Wait(run.ctx, 10);
  }
  void SetValues(int32_t a, int32_t b, int32_t c, int32_t d) {
    run.ctx.state.ObjValue(1) = a;
    run.ctx.state.ObjValue(2) = b;
    run.ctx.state.ObjValue(3) = c;
    run.ctx.state.ObjValue(4) = d;
  }
  std::vector<int32_t> Values() {
    std::vector<int32_t> v;
    for (int n = 1; n <= 4; ++n) v.push_back(run.ctx.state.ObjValue(n));
    return v;
  }
  std::string Log() { return MaskTimestamps(run.NodeLog(17)); }
  bool Received() const { return run.ctx.state.ResponseReceived; }
  bool Error() const { return run.ctx.state.ResponseError; }

  TestRun run;
};

TEST_F(ResponseTest, FourIntegersAreStoredAndAccepted) {
  Deliver(FourIntegers());
  EXPECT_EQ(Values(), (std::vector<int32_t>{120, 2300, 25, -5}));
  EXPECT_TRUE(Received());
  EXPECT_FALSE(Error());
  // With the log off the OIDs are not read.
  EXPECT_EQ(run.manager.calls,
            (std::vector<std::string>{"ObjCount", "ObjValueType 0", "ObjValue 0", "ObjValueType 1",
                                      "ObjValue 1", "ObjValueType 2", "ObjValue 2",
                                      "ObjValueType 3", "ObjValue 3"}));
  EXPECT_TRUE(run.env.appends.empty());
}

TEST_F(ResponseTest, AcceptanceComparesTheIdsSigned) {
  struct Case {
    int32_t request_id, answer_id;
    bool accepted;
  };
  for (const Case c : {Case{1000001, 1000000, false}, Case{1000001, 1000001, true},
                       Case{1000001, 1000002, true}, Case{1000001, -1000001, false},
                       Case{0, -1, false}, Case{-5, -4, true}, Case{1000001, INT32_MIN, false}}) {
    run.ctx.state.ResponseReceived = false;
    run.ctx.state.RequestId = c.request_id;
    SetValues(0, 0, 0, 0);
    Deliver(FourIntegers(c.answer_id));
    EXPECT_EQ(Received(), c.accepted) << c.request_id << " vs " << c.answer_id;
    // Stored whether accepted or not.
    EXPECT_EQ(Values(), (std::vector<int32_t>{120, 2300, 25, -5})) << c.answer_id;
    EXPECT_FALSE(Error());
  }
}

TEST_F(ResponseTest, AnswerNotAcceptedLeavesAnEarlierAcceptanceStanding) {
  Deliver(FourIntegers());
  Deliver(Answer({{kOid1, kTypeInteger, "7"}}, 999));
  EXPECT_TRUE(Received());
  EXPECT_EQ(run.ctx.state.ObjValue(1), 7);
}

TEST_F(ResponseTest, ValuelessTypesGiveZeroWithoutReadingTheValue) {
  SetValues(9, 9, 9, 9);
  Deliver(Answer({{kOid1, kTypeNull, ""},
                  {kOid2, kTypeNoSuchObject, "junk"},
                  {kOid3, kTypeNoSuchInstance, "junk"},
                  {kOid4, kTypeInteger, "0"}}));
  EXPECT_EQ(Values(), (std::vector<int32_t>{0, 0, 0, 0}));
  EXPECT_TRUE(Received());
  EXPECT_FALSE(Error());
  EXPECT_EQ(run.manager.calls,
            (std::vector<std::string>{"ObjCount", "ObjValueType 0", "ObjValueType 1",
                                      "ObjValueType 2", "ObjValueType 3", "ObjValue 3"}));
}

TEST_F(ResponseTest, OtherTypesAreConvertedFromTheirText) {
  Deliver(Answer({{kOid1, kTypeOctetString, "42"},
                  {kOid2, kTypeCounter32, "2147483647"},
                  {kOid3, kTypeGauge32, "2.5"},
                  {kOid4, kTypeTimeTicks, "3.5"}}));
  EXPECT_EQ(Values(), (std::vector<int32_t>{42, 2147483647, 2, 4}));
  EXPECT_TRUE(Received());
  EXPECT_FALSE(Error());
}

// Each value that cannot become a signed 32-bit integer is a failure of the
// handler: the flags say so and the values before it stay stored.
class ResponseFailureTest : public ResponseTest,
                            public ::testing::WithParamInterface<FakeBinding> {};

TEST_P(ResponseFailureTest, UnconvertibleSecondValue) {
  SetValues(1, 1, 1, 1);
  Deliver(Answer({{kOid1, kTypeInteger, "5"}, GetParam(), {kOid3, kTypeInteger, "6"}}));
  EXPECT_TRUE(Received());
  EXPECT_TRUE(Error());
  EXPECT_EQ(Values(), (std::vector<int32_t>{5, 1, 1, 1}));
  // The third binding is not looked at.
  EXPECT_EQ(run.manager.calls.back(), "ObjValue 1");
}

INSTANTIATE_TEST_SUITE_P(
    Values, ResponseFailureTest,
    ::testing::Values(FakeBinding{kOid2, kTypeOctetString, "n/a"},
                      FakeBinding{kOid2, kTypeOctetString, ""},
                      FakeBinding{kOid2, kTypeCounter32, "2147483648"},
                      FakeBinding{kOid2, kTypeTimeTicks, "4294967295"},
                      FakeBinding{kOid2, kTypeCounter64, "18446744073709551615"},
                      FakeBinding{kOid2, kTypeInteger, "-2147483649"},
                      FakeBinding{kOid2, kTypeObjectId, "1.3.6.1"},
                      FakeBinding{kOid2, kTypeIpAddress, "10.0.0.1"},
                      FakeBinding{kOid2, kTypeOpaque, std::string("\x9f\x78\x04", 3)},
                      // endOfMibView is not one of the valueless types: its
                      // empty text does not convert.
                      FakeBinding{kOid2, kTypeEndOfMibView, ""}));

TEST_F(ResponseTest, FifthBindingFailsAfterTheFirstFourAreStored) {
  run.ctx.state.DebugOn = true;
  Deliver(Answer({{kOid1, kTypeInteger, "1"},
                  {kOid2, kTypeInteger, "2"},
                  {kOid3, kTypeInteger, "3"},
                  {kOid4, kTypeInteger, "4"},
                  {"1.3.6.1.2.1.1.3.0", kTypeInteger, "5"}}));
  EXPECT_EQ(Values(), (std::vector<int32_t>{1, 2, 3, 4}));
  EXPECT_TRUE(Received());
  EXPECT_TRUE(Error());
  // Nothing of the fifth binding was read.
  EXPECT_EQ(run.manager.calls.back(), "ObjValue 3");
  EXPECT_EQ(Log(), "<ts> (snmpManager_Response) Subscript out of range: object 5\r\n\r\n");
}

TEST_F(ResponseTest, TwoBindingsLeaveObjectsThreeAndFour) {
  SetValues(11, 12, 13, 14);
  Deliver(Answer({{kOid1, kTypeInteger, "1"}, {kOid2, kTypeInteger, "2"}}));
  EXPECT_EQ(Values(), (std::vector<int32_t>{1, 2, 13, 14}));
  EXPECT_TRUE(Received());
}

TEST_F(ResponseTest, NoBindingsSetNoValueButAreAccepted) {
  run.ctx.state.DebugOn = true;
  SetValues(11, 12, 13, 14);
  Deliver(Answer({}));
  EXPECT_EQ(Values(), (std::vector<int32_t>{11, 12, 13, 14}));
  EXPECT_TRUE(Received());
  EXPECT_FALSE(Error());
  EXPECT_EQ(Log(), "<ts> <-- SnmpResponse\tReqId: 1000001\r\n\r\n");
}

TEST_F(ResponseTest, NormalAnswerLogGroup) {
  run.ctx.state.DebugOn = true;
  Deliver(Answer({{kOid1, kTypeOctetString, "42"}, {kOid2, kTypeNoSuchInstance, ""}}, 1000000));
  EXPECT_EQ(Log(), "<ts> <-- SnmpResponse\tReqId: 1000000\r\n" + std::string(kOid1) +
                       ", Value: 42\r\n" + kOid2 + ", Value: 0\r\n\r\n");
  EXPECT_EQ(run.manager.calls,
            (std::vector<std::string>{"ObjCount", "ObjValueType 0", "ObjValue 0", "ObjValueType 1",
                                      "ObjCount", "ObjId 0", "ObjId 1"}));
  EXPECT_FALSE(Received());
  EXPECT_EQ(run.env.appends.size(), 1u);
}

TEST_F(ResponseTest, ErrorStatusIsAnAnswerWhateverItsId) {
  run.ctx.state.DebugOn = true;
  SetValues(9, 9, 9, 9);
  FakeResponse r = Answer({{kOid1, kTypeNull, ""},
                           {kOid2, kTypeNull, ""},
                           {kOid3, kTypeNull, ""},
                           {kOid4, kTypeNull, ""}},
                          12);
  r.error_status = 2;
  r.error_index = 1;
  r.error_description = "noSuchName";
  Deliver(r);
  EXPECT_EQ(Values(), (std::vector<int32_t>{0, 0, 0, 0}));
  EXPECT_TRUE(Received());
  EXPECT_FALSE(Error());
  EXPECT_EQ(Log(),
            "<ts> <-- SnmpResponse\tReqId: 12\r\n"
            "ErrorStatus: \t2\r\n"
            "ErrorIndex:  \t1\r\n"
            "ErrorDescr:  \tnoSuchName\r\n"
            "\r\n" +
                std::string(kOid1) + ", Value: 0\r\n" + kOid2 + ", Value: 0\r\n" + kOid3 +
                ", Value: 0\r\n" + kOid4 + ", Value: 0\r\n");
}

TEST_F(ResponseTest, ErrorAnswerWithoutBindingsEndsWithOneEmptyLine) {
  run.ctx.state.DebugOn = true;
  FakeResponse r = Answer({}, -3);
  r.error_status = 2;
  r.error_index = 1;
  r.error_description = "noSuchName";
  Deliver(r);
  EXPECT_TRUE(Received());
  EXPECT_EQ(Log(),
            "<ts> <-- SnmpResponse\tReqId: -3\r\nErrorStatus: \t2\r\nErrorIndex:  \t1\r\n"
            "ErrorDescr:  \tnoSuchName\r\n\r\n");
}

TEST_F(ResponseTest, ErrorTrapWithTheLogOnWritesItsLineAndWaits) {
  run.ctx.state.DebugOn = true;
  const int64_t before = run.env.now_ms();
  Deliver(Answer({{kOid1, kTypeOctetString, "abc"}}));
  EXPECT_EQ(Log(), "<ts> (snmpManager_Response) Type mismatch: 'abc' is not a number\r\n\r\n");
  // The delivering step, then the 500 ms of the failure handling.
  EXPECT_EQ(run.env.sleeps(), (std::vector<int>{10, 500}));
  EXPECT_EQ(run.env.now_ms() - before, 510);
  EXPECT_TRUE(Received());
  EXPECT_TRUE(Error());
  EXPECT_TRUE(run.agent.calls.empty());
}

TEST_F(ResponseTest, ErrorTrapWithTheLogOffReturnsAtOnce) {
  Deliver(Answer({{kOid1, kTypeOctetString, "abc"}}));
  EXPECT_EQ(run.env.sleeps().size(), 1u);
  EXPECT_TRUE(run.env.appends.empty());
  EXPECT_TRUE(Received());
  EXPECT_TRUE(Error());
}

TEST_F(ResponseTest, FailingManagerReadIsAHandlerFailure) {
  run.manager.FailOn("ObjValueType", "no such binding");
  Deliver(FourIntegers());
  EXPECT_TRUE(Received());
  EXPECT_TRUE(Error());
}

TEST_F(ResponseTest, UnwritableLogIsNoHandlerFailure) {
  run.ctx.state.DebugOn = true;
  run.env.failing_paths.insert("/base/apiexec/upsdebug-17.txt");
  EXPECT_NO_THROW(Deliver(FourIntegers()));
  EXPECT_EQ(Values(), (std::vector<int32_t>{120, 2300, 25, -5}));
  EXPECT_TRUE(Received());
  EXPECT_FALSE(Error());
}

TEST_F(ResponseTest, FurtherAnswerHandledInsideTheTrapsWait) {
  run.ctx.state.DebugOn = true;
  run.ctx.state.RequestId = 1000001;
  run.manager.ResponseAt(run.env.now_ms() + 100, FourIntegers());
  Deliver(Answer({{kOid1, kTypeOctetString, "??"}}));
  // The second answer ran inside the first one's 500 ms wait, and the trap
  // set its flags afterwards.
  EXPECT_EQ(Values(), (std::vector<int32_t>{120, 2300, 25, -5}));
  EXPECT_TRUE(Received());
  EXPECT_TRUE(Error());
  EXPECT_EQ(run.manager.delivered.size(), 2u);
  const std::string log = Log();
  EXPECT_LT(log.find("(snmpManager_Response)"), log.find("<-- SnmpResponse"));
}

// A stream of answers that fail the handler, 5 ms apart, from a card that
// keeps answering: the first failure pauses 500 ms with the log on (none
// with it off), the others taken in during and after it pause not at all,
// and their lines count against the 100 answer groups.
TEST(ResponseStreamTest, AStreamOfFailingAnswersPausesOnceAndLogsWithinTheBound) {
  for (const bool log_on : {true, false}) {
    TestRun run;
    run.SetNodeId(17);
    run.ctx.state.RequestId = 1000001;
    run.ctx.state.DebugOn = log_on;
    run.manager.SetActive(true);
    for (int i = 0; i < 150; ++i) {
      run.manager.ResponseAt(5 * i, Answer({{kOid1, kTypeOctetString, "x"}}));
    }
    run::Wait(run.ctx, 10);
    EXPECT_EQ(run.env.now_ms(), log_on ? 510 : 10) << "log on: " << log_on;
    run::Wait(run.ctx, 1000);
    EXPECT_EQ(run.env.now_ms(), log_on ? 1510 : 1010) << "log on: " << log_on;
    EXPECT_EQ(run.manager.delivered.size(), 150u);
    EXPECT_TRUE(run.ctx.state.ResponseReceived);
    EXPECT_TRUE(run.ctx.state.ResponseError);
    const std::string log = run.NodeLog(17);
    size_t lines = 0;
    for (size_t at = log.find("(snmpManager_Response)"); at != std::string::npos;
         at = log.find("(snmpManager_Response)", at + 1)) {
      ++lines;
    }
    EXPECT_EQ(lines, log_on ? 100u : 0u);
  }
}

TEST_F(ResponseTest, LateAnswerDuringAPauseOverwritesTheValuesLaterTrapsCarry) {
  Deliver(FourIntegers());
  run.manager.ResponseAt(run.env.now_ms() + 150,
                         Answer({{kOid1, kTypeInteger, "77"}, {kOid2, kTypeInteger, "-1"}}));
  run::Wait(run.ctx, 200);
  EXPECT_EQ(Values(), (std::vector<int32_t>{77, -1, 25, -5}));
  trap::SendTrap(run.ctx);
  ASSERT_EQ(run.agent.traps.size(), 1u);
  EXPECT_EQ(run.agent.traps[0].bindings.at(4).value, "77");
  EXPECT_EQ(run.agent.traps[0].bindings.at(6).value, "-1");
  EXPECT_EQ(run.agent.traps[0].bindings.at(8).value, "25");
}

// A flood of answers that do not end the wait (an older request id) and of
// rejected packets: each is handled, values stored to the last, but a run
// writes at most 100 groups of each kind.
TEST_F(ResponseTest, FloodsAreHandledButTheirLoggingIsBounded) {
  run.ctx.state.DebugOn = true;
  for (int i = 0; i < 150; ++i) {
    Deliver(Answer({{kOid1, kTypeInteger, std::to_string(i)}}, 1000000));
    DeliverBadPacket(1, "undecodable");
  }
  EXPECT_EQ(run.ctx.state.ObjValue(1), 149);
  EXPECT_FALSE(Received());
  const std::string log = Log();
  size_t answers = 0, bad = 0;
  for (size_t at = log.find("<-- SnmpResponse"); at != std::string::npos;
       at = log.find("<-- SnmpResponse", at + 1)) {
    ++answers;
  }
  for (size_t at = log.find("BadPacket ("); at != std::string::npos;
       at = log.find("BadPacket (", at + 1)) {
    ++bad;
  }
  EXPECT_EQ(answers, 100u);
  EXPECT_EQ(bad, 100u);
  EXPECT_NE(log.find(", Value: 99\r\n"), std::string::npos);
  EXPECT_EQ(log.find(", Value: 100\r\n"), std::string::npos);

  // The answer that ends the wait is taken in after the flood as well.
  Deliver(FourIntegers());
  EXPECT_TRUE(Received());
  EXPECT_EQ(Values(), (std::vector<int32_t>{120, 2300, 25, -5}));
}

// --- BadPacket -----------------------------------------------------------------

TEST_F(ResponseTest, BadPacketLogsItsGroupAndChangesNothing) {
  run.ctx.state.DebugOn = true;
  SetValues(3, 4, 5, 6);
  run.ctx.state.ResponseReceived = false;
  DeliverBadPacket(-2, "unexpected PDU type 0xA3");
  EXPECT_EQ(Log(), "<ts> BadPacket (-2: unexpected PDU type 0xA3\r\n\r\n");
  EXPECT_EQ(Values(), (std::vector<int32_t>{3, 4, 5, 6}));
  EXPECT_FALSE(Received());
  EXPECT_FALSE(Error());
  EXPECT_EQ(run.ctx.state.RequestId, 1000001);
  EXPECT_TRUE(run.manager.calls.empty());
  EXPECT_EQ(run.env.sleeps().size(), 1u);
}

TEST_F(ResponseTest, BadPacketWithTheLogOffLeavesNoTrace) {
  DeliverBadPacket(1, "undecodable");
  EXPECT_TRUE(run.env.appends.empty());
  EXPECT_TRUE(run.env.files.empty());
  EXPECT_FALSE(Received());
  EXPECT_FALSE(Error());
}

TEST_F(ResponseTest, BadPacketSwallowsAnUnwritableLog) {
  run.ctx.state.DebugOn = true;
  run.env.failing_paths.insert("/base/apiexec/upsdebug-17.txt");
  EXPECT_NO_THROW(DeliverBadPacket(1, "undecodable"));
  EXPECT_FALSE(Received());
  EXPECT_FALSE(Error());
  EXPECT_EQ(run.env.sleeps().size(), 1u);
}

}  // namespace
}  // namespace upstest::snmp
