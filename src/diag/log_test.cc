#include "diag/log.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "platform/error.h"
#include "test_support/fake_env.h"

namespace upstest::diag {
namespace {

using testing::FakeEnv;

constexpr const char* kSwitchFile = "/base/apiexec/upsdebug.txt";

// 01:02:03.456: before 02:16:32 the float counter is finer than 1 ms, so
// the timestamp shows the exact milliseconds.
FakeEnv EarlyEnv() { return FakeEnv(platform::CivilTime{2026, 1, 2, 1, 2, 3}, 456); }
constexpr const char* kTs = "2026-01-02 01:02:03.456";

TEST(LogTest, TimeStampFormat) {
  FakeEnv env = EarlyEnv();
  EXPECT_EQ(TimeStamp(env), kTs);
  env.Advance(1);
  EXPECT_EQ(TimeStamp(env), "2026-01-02 01:02:03.457");
  FakeEnv late(platform::CivilTime{2026, 12, 31, 23, 59, 59}, 1);
  EXPECT_EQ(TimeStamp(late).size(), 23u);
  EXPECT_EQ(TimeStamp(late).substr(0, 20), "2026-12-31 23:59:59.");
}

TEST(LogTest, TimeStampAfter181216ShowsOnly128thsOfASecond) {
  FakeEnv env(platform::CivilTime{2026, 12, 8, 18, 12, 17});
  std::vector<std::string> in_order;
  std::set<std::string> seen;
  for (int ms = 0; ms < 1000; ++ms) {
    const std::string ts = TimeStamp(env);
    const std::string digits = ts.substr(20);
    if (seen.insert(digits).second) in_order.push_back(digits);
    env.Advance(1);
  }
  // 128 distinct values, each a multiple of 1/128 s rounded to 3 decimals,
  // an exact half upwards: k * 1000 / 128 thousandths.
  ASSERT_EQ(in_order.size(), 128u);
  for (size_t k = 0; k < in_order.size(); ++k) {
    const std::string thousandths = std::to_string((k * 1000 + 64) / 128);
    EXPECT_EQ(in_order[k], std::string(3 - thousandths.size(), '0') + thousandths) << k;
  }
  EXPECT_EQ(std::vector<std::string>(in_order.begin(), in_order.begin() + 10),
            (std::vector<std::string>{"000", "008", "016", "023", "031", "039", "047", "055", "063",
                                      "070"}));
}

// Clocks read one after the other: the date and time, then a counter that
// may already belong to the next second.
class SplitClock final : public platform::Env {
 public:
  SplitClock(platform::CivilTime now, double seconds) : now_(now), seconds_(seconds) {}
  bool SleepUntil(int64_t, const std::vector<int>&) override { return false; }
  int64_t MonotonicMs() override { return 0; }
  platform::CivilTime LocalNow() override { return now_; }
  double SecondsSinceMidnight() override { return seconds_; }
  bool IsRegularFile(const std::string&) override { return false; }
  void AppendToFile(const std::string&, std::string_view) override {}
  platform::HostLookup LookUpHost(const std::string&) override { return {}; }
  void WriteStderr(std::string_view) override {}

 private:
  platform::CivilTime now_;
  double seconds_;
};

TEST(LogTest, TimeStampTakesTheThousandthsOfTheLaterReading) {
  SplitClock next_second({2026, 12, 8, 10, 0, 0}, 36001.25);
  EXPECT_EQ(TimeStamp(next_second), "2026-12-08 10:00:00.250");
  // Rounded to a float the counter reaches the whole second.
  SplitClock rounds_up({2026, 12, 8, 10, 0, 0}, 36000.9995);
  EXPECT_EQ(TimeStamp(rounds_up), "2026-12-08 10:00:00.000");
}

// The counter's exact halves of a thousandth are the odd sixteenths of a
// second, at every grain the float has in a day. "#0.000" takes them away
// from zero (.0625 gives 063, .1875 gives 188), whatever the neighbours'
// parity.
TEST(LogTest, TimeStampRoundsEveryExactHalfUp) {
  const struct {
    int hour;
    const char* grain;
  } grains[] = {{0, "finer than 1/2048 s"},
                {3, "1/1024 s"},
                {5, "1/512 s"},
                {10, "1/256 s"},
                {18, "1/128 s"},
                {23, "1/128 s"}};
  for (const auto& g : grains) {
    for (int j = 1; j < 16; j += 2) {
      const int whole = g.hour * 3600 + 1234;
      SplitClock clock({2026, 12, 8, g.hour, 20, 34}, whole + j / 16.0);
      char want[16];
      std::snprintf(want, sizeof want, "%03d", (j * 625 + 5) / 10);
      EXPECT_EQ(TimeStamp(clock).substr(20), want) << g.grain << ", " << j << "/16 s";
    }
  }
  // Just below and above a half stays with its nearest neighbour.
  SplitClock below({2026, 12, 8, 10, 0, 0}, 36000.0625 - 1.0 / 256);
  EXPECT_EQ(TimeStamp(below).substr(20), "059");
  SplitClock above({2026, 12, 8, 10, 0, 0}, 36000.0625 + 1.0 / 256);
  EXPECT_EQ(TimeStamp(above).substr(20), "066");
  // The case that names the rule: 65000.0625 s after midnight.
  SplitClock named({2026, 12, 8, 18, 3, 20}, 65000.0625);
  EXPECT_EQ(TimeStamp(named), "2026-12-08 18:03:20.063");
}

TEST(LogTest, Paths) {
  FakeEnv env;
  NodeLog log(env);
  log.SetBase("/base");
  EXPECT_EQ(log.SwitchFilePath(), kSwitchFile);
  // Until the run tells the log its node, the node log is node 0's.
  EXPECT_EQ(log.NodeLogPath(), "/base/apiexec/upsdebug-0.txt");
  log.SetNodeId(17);
  EXPECT_EQ(log.NodeLogPath(), "/base/apiexec/upsdebug-17.txt");
  log.SetNodeId(-5);
  EXPECT_EQ(log.NodeLogPath(), "/base/apiexec/upsdebug--5.txt");
}

TEST(LogTest, SwitchCountsOnlyAsAnOrdinaryFile) {
  FakeEnv env;
  NodeLog log(env);
  log.SetBase("/base");
  EXPECT_FALSE(log.SwitchIsOn());
  env.directories.insert(kSwitchFile);
  EXPECT_FALSE(log.SwitchIsOn());
  env.files[kSwitchFile] = "";
  EXPECT_TRUE(log.SwitchIsOn());
}

TEST(LogTest, ArgumentErrorGroup) {
  FakeEnv env = EarlyEnv();
  EXPECT_EQ(ArgumentErrorGroup(env, "UPS-1 17 5 a b c"),
            std::string("\r\n") + kTs + " Argument Error\r\n" + kTs +
                " CommandLine = UPS-1 17 5 a b c\r\n\r\n");
}

TEST(LogTest, ParsedArgumentsGroupLinesUpItsLabels) {
  FakeEnv env = EarlyEnv();
  const std::string oids[] = {"1.3.6.1.2.1.33.1.2.3.0", "", "1.3.6.1.2.1.33.1.2.7.0",
                              "1.3.6.1.4.1.534.1.6.5.0"};
  const std::string signs[] = {">", "", "<", "|"};
  const std::string values[] = {"10", "", "", "10-30 x"};
  EXPECT_EQ(ParsedArgumentsGroup(env, "the text", oids, signs, values),
            std::string("\r\n") + kTs +
                " CommandLine = the text\r\n"
                "ObjOid(1):      1.3.6.1.2.1.33.1.2.3.0\r\n"
                "ObjCondSign(1): >\r\n"
                "ObjCondVal(1):  10\r\n"
                "ObjOid(2):      \r\n"
                "ObjCondSign(2): \r\n"
                "ObjCondVal(2):  \r\n"
                "ObjOid(3):      1.3.6.1.2.1.33.1.2.7.0\r\n"
                "ObjCondSign(3): <\r\n"
                "ObjCondVal(3):  \r\n"
                "ObjOid(4):      1.3.6.1.4.1.534.1.6.5.0\r\n"
                "ObjCondSign(4): |\r\n"
                "ObjCondVal(4):  10-30 x\r\n"
                "\r\n");
}

TEST(LogTest, NodeRecordGroup) {
  EXPECT_EQ(NodeRecordGroup({.address = "10.0.0.5",
                             .port = -1,
                             .status = 6,
                             .snmp_version = "2",
                             .trap_community = "traps",
                             .last_change = "2026-12-01 08:00:00",
                             .last_message = "On battery"}),
            "IpAddr:     10.0.0.5\r\n"
            "Port:       -1\r\n"
            "Status:     6\r\n"
            "SnmpVer:    2\r\n"
            "ReadComm:   \r\n"
            "TrapComm:   traps\r\n"
            "LastChange: 2026-12-01 08:00:00\r\n"
            "LastMess:   On battery\r\n"
            "\r\n");
}

// Stored values cannot forge log lines: every control character other
// than TAB shows as '?', in the record, the request line and the summary;
// UTF-8 text stays as it is.
TEST(LogTest, StoredValuesShowControlCharactersAsQuestionMarks) {
  const std::string address("127.0.0.1\0evil", 14);
  const NodeRecord stored{
      .address = address,
      .snmp_version = "2\r",
      .read_community = "pub\tlic",
      .trap_community = "t\x1b[2J",
      .last_change = "2026\x7f",
      .last_message = "Geb\xc3\xa4ude\r\n2026-12-08 10:00:00.000 Trap Sent:    True"};
  const std::string record = NodeRecordGroup(stored);
  EXPECT_EQ(record,
            "IpAddr:     127.0.0.1?evil\r\n"
            "Port:       0\r\n"
            "Status:     0\r\n"
            "SnmpVer:    2?\r\n"
            "ReadComm:   pub\tlic\r\n"
            "TrapComm:   t?[2J\r\n"
            "LastChange: 2026?\r\n"
            "LastMess:   Geb\xc3\xa4ude??2026-12-08 10:00:00.000 Trap Sent:    True\r\n"
            "\r\n");
  FakeEnv env = EarlyEnv();
  const std::string request =
      SendGetRequestLine(env, {.address = stored.address, .read_community = stored.read_community});
  EXPECT_NE(request.find("\t127.0.0.1?evil\tpub\tlic\t"), std::string::npos) << request;
  const std::string summary = SummaryGroup(env, {.last_message = stored.last_message});
  EXPECT_NE(summary.find("Last Message: Geb\xc3\xa4ude??2026"), std::string::npos) << summary;
  EXPECT_EQ(ErrorLine(env, "ReadNodeData", "a\nb", false),
            std::string(kTs) + " (ReadNodeData) a?b\r\n");
}

// Nor can the arguments: the command line in the three groups that quote
// it, and the objects' fields taken from it.
TEST(LogTest, ArgumentsShowControlCharactersAsQuestionMarks) {
  FakeEnv env = EarlyEnv();
  const std::string text = "\"UPS\r\n2026-01-02 01:02:03.456 x\" 17";
  const std::string oids[] = {"", "", "", ""};
  const std::string signs[] = {"\n", "", "", ""};
  const std::string values[] = {"10\r\nObjOid(9): x", "", "", ""};
  const std::string parsed = ParsedArgumentsGroup(env, text, oids, signs, values);
  EXPECT_NE(parsed.find("\r\nObjCondSign(1): ?\r\nObjCondVal(1):  10??ObjOid(9): x\r\n"),
            std::string::npos)
      << parsed;
  for (const std::string& group :
       {ArgumentErrorGroup(env, text), parsed, CommandLineErrorGroup(env, "d", text)}) {
    EXPECT_NE(group.find("CommandLine = \"UPS??2026-01-02 01:02:03.456 x\" 17\r\n"),
              std::string::npos)
        << group;
  }
}

TEST(LogTest, ManagerStartedGroup) {
  FakeEnv env = EarlyEnv();
  EXPECT_EQ(ManagerStartedGroup(env, "0.0.0.0", 40123),
            std::string(kTs) + " SNMP Manager Started, IP=0.0.0.0, Port=40123\r\n\r\n");
}

TEST(LogTest, SendGetRequestLineEndsWithATab) {
  FakeEnv env = EarlyEnv();
  const std::string oids[] = {"1.1", "2.2", "", "4.4"};
  // An empty readcomm and an empty ObjOid(3): two TABs in a row.
  EXPECT_EQ(
      SendGetRequestLine(env, {.request_id = 1000001, .address = "10.0.0.5", .oids = oids}),
      std::string(kTs) + " --> SendGetRequest\tReqId: 1000001\t10.0.0.5\t\t1.1\t2.2\t\t4.4\t\r\n");
}

TEST(LogTest, ResponseGroups) {
  FakeEnv env = EarlyEnv();
  EXPECT_EQ(ResponseGroup(env, 1000001, {{"1.3.6.1.2.1.33.1.2.3.0", 120}, {"1.2", -5}}),
            std::string(kTs) +
                " <-- SnmpResponse\tReqId: 1000001\r\n"
                "1.3.6.1.2.1.33.1.2.3.0, Value: 120\r\n"
                "1.2, Value: -5\r\n"
                "\r\n");
  EXPECT_EQ(ResponseGroup(env, -3, {}), std::string(kTs) + " <-- SnmpResponse\tReqId: -3\r\n\r\n");
  EXPECT_EQ(ErrorResponseGroup(env, 1000001, 2, 1, "noSuchName", {}),
            std::string(kTs) +
                " <-- SnmpResponse\tReqId: 1000001\r\n"
                "ErrorStatus: \t2\r\n"
                "ErrorIndex:  \t1\r\n"
                "ErrorDescr:  \tnoSuchName\r\n"
                "\r\n");
  EXPECT_EQ(ErrorResponseGroup(env, 7, 5, 0, "", {{"1.1", 0}, {"2.2", 0}}),
            std::string(kTs) +
                " <-- SnmpResponse\tReqId: 7\r\n"
                "ErrorStatus: \t5\r\n"
                "ErrorIndex:  \t0\r\n"
                "ErrorDescr:  \t\r\n"
                "\r\n"
                "1.1, Value: 0\r\n"
                "2.2, Value: 0\r\n");
}

TEST(LogTest, BadPacketGroupLeavesItsParenthesisOpen) {
  FakeEnv env = EarlyEnv();
  EXPECT_EQ(BadPacketGroup(env, 12, "malformed message"),
            std::string(kTs) + " BadPacket (12: malformed message\r\n\r\n");
}

TEST(LogTest, SummaryGroup) {
  FakeEnv env = EarlyEnv();
  const int16_t statuses[] = {3, 3, 2, 1};
  EXPECT_EQ(SummaryGroup(env, {.object_statuses = statuses,
                               .poll_status = 1,
                               .ups_status = 2,
                               .last_message = "Battery low",
                               .trap_sent = true}),
            std::string(kTs) +
                "\r\n"
                "ObjStatus 1:  3, ObjStatus 2: 3, ObjStatus 3: 2, ObjStatus 4: 1\r\n"
                "Poll Status:  1, UPS Status: 2\r\n"
                "Last Message: Battery low\r\n"
                "Trap Sent:    True\r\n"
                "\r\n");
  const int16_t none[] = {0, 0, 0, 0};
  EXPECT_EQ(SummaryGroup(env, {.object_statuses = none}),
            std::string(kTs) +
                "\r\n"
                "ObjStatus 1:  0, ObjStatus 2: 0, ObjStatus 3: 0, ObjStatus 4: 0\r\n"
                "Poll Status:  0, UPS Status: 0\r\n"
                "Last Message: \r\n"
                "Trap Sent:    False\r\n"
                "\r\n");
}

TEST(LogTest, ErrorLines) {
  FakeEnv env = EarlyEnv();
  EXPECT_EQ(ErrorLine(env, "StartTest", "boom", false), std::string(kTs) + " (StartTest) boom\r\n");
  EXPECT_EQ(ErrorLine(env, "ReadNodeData", "", true),
            std::string(kTs) + " (ReadNodeData) \r\n\r\n");
}

TEST(LogTest, FailureGroups) {
  FakeEnv env = EarlyEnv();
  EXPECT_EQ(CommandLineErrorGroup(env, "Overflow", "a \"b c\""),
            std::string(kTs) + " Overflow\r\nCommandLine = a \"b c\"\r\n\r\n");
  EXPECT_EQ(ManagerFailedGroup(env, "cannot bind\r\nx"),
            std::string(kTs) + " SNMP Manager Failed to Start\r\ncannot bind??x\r\n\r\n");
}

TEST(LogTest, EachGroupIsOneAppend) {
  FakeEnv env;
  NodeLog log(env);
  log.SetBase("/base");
  log.SetNodeId(4);
  log.AppendNodeLog("a\r\nb\r\n");
  log.AppendNodeLog("c\r\n");
  log.AppendSwitchFile("d\r\n");
  ASSERT_EQ(env.appends.size(), 3u);
  EXPECT_EQ(env.ContentOf("/base/apiexec/upsdebug-4.txt"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(env.ContentOf(kSwitchFile), "d\r\n");
}

}  // namespace
}  // namespace upstest::diag
