// `upstest --check` with objects: the run's own poll through the scripted
// manager, what the report says of each object, and its two renderings.
#include "check/check.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "check/plugin.h"
#include "check/poll.h"
#include "check/prometheus.h"
#include "check/words.h"
#include "platform/error.h"
#include "platform/exit_status.h"
#include "snmp/message.h"
#include "test_support/test_run.h"

namespace upstest::check {
namespace {

using testing::FakeBinding;
using testing::FakeResponse;
using testing::TestRun;

// The OIDs of the first and the other name of each slot.
const std::vector<std::string> kFirst = {"1.3.6.1.2.1.33.1.2.3.0", "1.3.6.1.2.1.33.1.3.3.1.3.1",
                                         "1.3.6.1.2.1.33.1.2.7.0", "1.3.6.1.2.1.99.1.1.1.4.1"};
const std::vector<std::string> kOther = {"1.3.6.1.4.1.534.1.2.1.0", "1.3.6.1.4.1.534.1.3.4.1.2.1",
                                         "1.3.6.1.4.1.534.1.6.1.0", "1.3.6.1.4.1.534.1.6.5.0"};
// Met by 45, 230, 25 and 255 (26 after scaling).
const std::vector<std::string> kObjects = {"upsEstimatedMinutesRemaining>10",
                                           "upsBatteryVoltage|200-250", "upsBatteryTemperature<40",
                                           "entPhySensorValue<30"};

FakeResponse Answer(const std::vector<std::string>& oids, std::vector<FakeBinding> bindings,
                    int16_t error_status = 0, int16_t error_index = 0) {
  FakeResponse r;
  r.error_status = error_status;
  r.error_index = error_index;
  for (size_t i = 0; i < bindings.size(); ++i) {
    r.bindings.push_back(bindings[i]);
    if (r.bindings.back().oid.empty()) r.bindings.back().oid = oids[i];
  }
  return r;
}
FakeBinding Int(std::string v) { return {"", snmp::kTypeInteger, std::move(v)}; }
FakeBinding Typed(int32_t type, std::string v = "") { return {"", type, std::move(v)}; }
const std::vector<FakeBinding> kGood = {Int("45"), Int("230"), Int("25"), Int("255")};

// A check of node 17 at 10.0.0.5:161, polled in `version`.
struct Check : TestRun {
  explicit Check(std::string version, std::vector<std::string> objects = kObjects) {
    ctx.command = run::Command::kCheck;
    ctx.read_node_data = [version](run::Context& c) {
      c.state.IpAddr = "10.0.0.5";
      c.state.UdpPort = 161;
      c.state.SnmpVersion = version;
      c.state.readcomm = "s3cret-read";
      c.state.trapcomm = "t0p-trap";
    };
    call.form = CheckCall::Form::kText;
    call.node_id = "17";
    call.objects = std::move(objects);
  }
  // The n-th GET (from 1) is answered 5 ms after it went out.
  void Answers(int n, FakeResponse r) { manager.ResponseAfterGet(n, 5, std::move(r)); }
  int Run(CheckCall::Form form) {
    call.form = form;
    out.clear();
    return RunCheck(ctx, call, out);
  }
  PollFindings Poll() {
    ctx.read_node_data(ctx);
    EXPECT_EQ(ReadCheckObjects(ctx, call.objects), "");
    return PollForCheck(ctx);
  }
  // Every warning of `o`, joined.
  static std::string Warnings(const ObjectFinding& o) {
    std::string all;
    for (const std::string& w : o.warnings) all += w + "|";
    return all;
  }

  CheckCall call;
  std::string out;
};

// Each type an answer can carry for object 3 (condition < 40), beside three
// good values: what the report shows and what a run makes of it.
TEST(CheckPoll, EachTypeOfValue) {
  struct Row {
    FakeBinding binding;
    const char* type;
    const char* raw;  // nullptr: none
    int32_t value;
    int16_t status;
    AnswerKind answer;
    const char* warning;  // "" for none
  };
  const Row rows[] = {
      {Int("25"), "INTEGER", "25", 25, run::kObjMet, AnswerKind::kJudged, ""},
      {Typed(snmp::kTypeGauge32, "39"), "Gauge32", "39", 39, run::kObjMet, AnswerKind::kJudged, ""},
      {Typed(snmp::kTypeCounter32, "41"), "Counter32", "41", 41, run::kObjFailed,
       AnswerKind::kJudged, ""},
      {Typed(snmp::kTypeTimeTicks, "7"), "TimeTicks", "7", 7, run::kObjMet, AnswerKind::kJudged,
       ""},
      {Typed(snmp::kTypeOctetString, "24"), "OCTET STRING", "24", 24, run::kObjMet,
       AnswerKind::kJudged, ""},
      {Typed(snmp::kTypeNull), "NULL", nullptr, 0, run::kObjMet, AnswerKind::kJudged,
       "the device gave NULL: a run counts it as 0"},
      {Typed(snmp::kTypeNoSuchObject), "noSuchObject", nullptr, 0, run::kObjMet,
       AnswerKind::kJudged,
       "the device does not have this object (noSuchObject): a run counts it as 0"},
      {Typed(snmp::kTypeNoSuchInstance), "noSuchInstance", nullptr, 0, run::kObjMet,
       AnswerKind::kJudged, "the device does not have this object (noSuchInstance)"},
      {Typed(snmp::kTypeGauge32, "4294967295"), "Gauge32", "4294967295", 0, run::kObjNotJudged,
       AnswerKind::kFailed, "Gauge32 4294967295 fails a run's whole poll (poll status 3)"},
      {Typed(snmp::kTypeOctetString, "warm"), "OCTET STRING", "warm", 0, run::kObjNotJudged,
       AnswerKind::kFailed, "OCTET STRING \"warm\" fails a run's whole poll"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type + std::string(" ") + (row.raw ? row.raw : "-"));
    Check check("2");
    std::vector<FakeBinding> bindings = kGood;
    bindings[2] = row.binding;
    check.Answers(1, Answer(kFirst, bindings));
    const PollFindings f = check.Poll();
    EXPECT_EQ(f.answer, row.answer);
    const ObjectFinding& o = f.objects[2];
    ASSERT_TRUE(o.binding.has_value());
    EXPECT_EQ(snmp::TypeName(o.binding->type), row.type);
    EXPECT_EQ(o.binding->raw.has_value(), row.raw != nullptr);
    if (row.raw) {
      EXPECT_EQ(*o.binding->raw, row.raw);
    }
    EXPECT_EQ(o.value, row.value);
    EXPECT_EQ(o.status, row.status);
    const std::string warnings = check.Warnings(o);
    EXPECT_EQ(warnings.empty(), *row.warning == '\0') << warnings;
    EXPECT_NE(warnings.find(row.warning), std::string::npos) << warnings;
    // A failed poll leaves the other three without a verdict as well.
    const bool failed = row.answer == AnswerKind::kFailed;
    EXPECT_EQ(check.Warnings(f.objects[0]).find("the poll fails on the value of object 3") !=
                  std::string::npos,
              failed);
    EXPECT_EQ(f.usable, *row.warning == '\0');
    // The other names were asked for in one more GET of the run's own kind.
    ASSERT_GE(check.manager.requests.size(), 2u);
    EXPECT_EQ(check.manager.requests[1].oids, kOther);
    EXPECT_EQ(check.manager.requests[1].version, 2);
    EXPECT_EQ(check.manager.requests[1].community, "s3cret-read");
    EXPECT_TRUE(check.agent.traps.empty());
  }
}

// A fifth binding fails a run's handler as a value that is no number does:
// the check names the binding, and judges nothing.
TEST(CheckPoll, AFifthBindingFailsThePoll) {
  Check check("2");
  std::vector<std::string> oids = kFirst;
  oids.push_back(kFirst[0]);
  std::vector<FakeBinding> bindings = kGood;
  bindings.push_back(Int("1"));
  check.Answers(1, Answer(oids, bindings));
  const PollFindings f = check.Poll();
  EXPECT_EQ(f.answer, AnswerKind::kFailed);
  ASSERT_TRUE(f.seen.has_value());
  EXPECT_EQ(f.seen->count, 5);
  EXPECT_EQ(f.seen->failing_binding, 5);
  for (const ObjectFinding& o : f.objects) {
    EXPECT_EQ(check.Warnings(o),
              "the poll fails on the answer's binding 5: a run judges nothing (poll status 3)|");
  }
  EXPECT_FALSE(f.usable);
}

// The run's scaling, an answer short of a binding (object 4 keeps 0, so the
// range of object 2 goes unjudged), and the other names' presence.
TEST(CheckPoll, ScalingMissingBindingAndOtherNames) {
  Check scaled("2", {"xupsBatTimeRemaining>10", "xupsInputVoltage|200-250", "xupsEnvAmbientTemp<40",
                     "entPhySensorValue<30"});
  scaled.Answers(1, Answer(kOther, {Int("2700"), Int("231"), Int("24")}));
  const std::vector<std::string> others = {kFirst[0], kFirst[1], kFirst[2], kOther[3]};
  scaled.Answers(2, Answer(others, {Int("45"), Typed(snmp::kTypeNoSuchObject), Int("25"),
                                    Typed(snmp::kTypeNoSuchInstance)}));
  PollFindings f = scaled.Poll();
  EXPECT_EQ(f.objects[0].value, 45);  // 2700 seconds are 45 minutes
  EXPECT_EQ(f.objects[3].binding, std::nullopt);
  EXPECT_EQ(f.objects[3].value, 0);
  EXPECT_NE(scaled.Warnings(f.objects[3]).find("no binding for this object"), std::string::npos);
  EXPECT_NE(scaled.Warnings(f.objects[1]).find("not judged: a range is judged only while"),
            std::string::npos);
  EXPECT_EQ(f.objects[0].other_present, true);
  EXPECT_EQ(f.objects[1].other_present, false);
  EXPECT_EQ(f.objects[3].other_present, false);
  EXPECT_EQ(f.objects[0].other_name, "upsEstimatedMinutesRemaining");
  EXPECT_FALSE(f.usable);

  Check tenths("2");
  tenths.Answers(1, Answer(kFirst, kGood));
  f = tenths.Poll();
  EXPECT_EQ(f.objects[3].value, 26);  // 255 tenths
  EXPECT_TRUE(f.usable);
  // The other-name GET went unanswered: twice sent, nothing told.
  EXPECT_EQ(tenths.manager.requests.size(), 3u);
  EXPECT_EQ(f.objects[0].other_present, std::nullopt);
}

// SNMPv1: one absent object makes the answer an error. Each OID is then asked
// alone, and so are the other names after their GET fails the same way.
TEST(CheckPoll, Version1ErrorAnswerAsksEachOidAlone) {
  Check check("1", {"upsEstimatedMinutesRemaining>10", "upsBatteryVoltage|200-250",
                    "upsBatteryTemperature<40", "xupsEnvRemoteTemp<45"});
  std::vector<std::string> polled = kFirst;
  polled[3] = kOther[3];
  const std::vector<FakeBinding> nulls(4, Typed(snmp::kTypeNull));
  auto alone = [](const std::string& oid, std::vector<FakeBinding> b, int16_t status = 0) {
    return Answer(std::vector<std::string>(4, oid), std::move(b), status, status ? 1 : 0);
  };
  check.Answers(1, Answer(polled, nulls, 2, 4));
  for (int i = 0; i < 3; ++i) {
    check.Answers(2 + i, alone(polled[static_cast<size_t>(i)], std::vector(4, Int("45"))));
  }
  check.Answers(5, alone(polled[3], nulls, 2));
  std::vector<std::string> others = kOther;
  others[3] = kFirst[3];
  check.Answers(6, Answer(others, nulls, 2, 1));
  check.Answers(7, alone(others[0], nulls, 2));
  check.Answers(8, alone(others[1], std::vector(4, Typed(snmp::kTypeGauge32, "231"))));
  check.Answers(9, alone(others[2], std::vector(4, Typed(snmp::kTypeOctetString, "24"))));
  check.Answers(10, alone(others[3], std::vector(4, Int("255"))));

  const PollFindings f = check.Poll();
  EXPECT_EQ(f.answer, AnswerKind::kError);
  ASSERT_EQ(check.manager.requests.size(), 10u);
  EXPECT_EQ(check.manager.requests[4].oids, std::vector<std::string>(4, polled[3]));
  for (const ObjectFinding& o : f.objects) {
    EXPECT_EQ(o.value, 0);
    EXPECT_NE(check.Warnings(o).find("the answer is an error (noSuchName, index 4)"),
              std::string::npos);
  }
  EXPECT_NE(check.Warnings(f.objects[0]).find("asked alone, the device gives INTEGER 45"),
            std::string::npos);
  EXPECT_NE(check.Warnings(f.objects[3]).find("asked alone, the device does not have this object"),
            std::string::npos);
  EXPECT_EQ(f.objects[0].other_present, false);
  EXPECT_EQ(f.objects[1].other_present, true);
  EXPECT_EQ(f.objects[3].other_present, true);
  EXPECT_EQ(f.objects[3].other_name, "entPhySensorValue");
  EXPECT_FALSE(f.usable);
}

// No answer: two attempts and no extra GET. A late answer to an earlier
// request (all carry the same identifier) tells nothing of the other names.
TEST(CheckPoll, SilentDeviceAndLateAnswer) {
  Check silent("2");
  PollFindings f = silent.Poll();
  EXPECT_EQ(f.answer, AnswerKind::kNone);
  EXPECT_EQ(silent.manager.requests.size(), 2u);
  for (const ObjectFinding& o : f.objects) {
    EXPECT_EQ(o.status, run::kObjNotJudged);
    EXPECT_EQ(o.other_present, std::nullopt);
    EXPECT_NE(silent.Warnings(o).find("no answer to either attempt"), std::string::npos);
  }

  Check late("2");
  late.Answers(1, Answer(kFirst, kGood));
  late.Answers(2, Answer(kFirst, kGood));
  f = late.Poll();
  EXPECT_TRUE(f.usable);
  for (const ObjectFinding& o : f.objects) EXPECT_EQ(o.other_present, std::nullopt);
}

// A device that answers each GET only after 1.9 s: the asking stops once
// the poll has lasted 12 s, so the check ends within one GET more.
TEST(CheckPoll, SlowDeviceStopsAsking) {
  Check check("1", {"upsEstimatedMinutesRemaining>10", "upsBatteryVoltage|200-250",
                    "upsBatteryTemperature<40", "xupsEnvRemoteTemp<45"});
  const std::vector<FakeBinding> nulls(4, Typed(snmp::kTypeNull));
  for (int n = 1; n <= 12; ++n)
    check.manager.ResponseAfterGet(n, 1900, Answer(kFirst, nulls, 2, 1));
  const PollFindings f = check.Poll();
  EXPECT_EQ(f.answer, AnswerKind::kError);
  // The first GET, four alone, the other names, and one of them alone
  // (asked at 11.5 s); none after 12 s.
  EXPECT_EQ(check.manager.requests.size(), 7u);
  EXPECT_LT(check.manager.requests.back().at_ms, 12000);
  EXPECT_LT(check.env.now_ms(), 14000);
  EXPECT_NE(f.asking_stopped.find("asks no more after 12 s"), std::string::npos);
  EXPECT_EQ(f.objects[1].other_present, std::nullopt);
}

// A range condition without '-' ends a run at that object with poll status
// 2 and its trap: the check says so, and its trap goes nowhere.
TEST(CheckRun, RangeErrorSendsNoTrap) {
  Check check("2", {"upsEstimatedMinutesRemaining>10", "upsBatteryVoltage|200",
                    "upsBatteryTemperature<40", "entPhySensorValue<30"});
  check.Answers(1, Answer(kFirst, kGood));
  EXPECT_EQ(check.Run(CheckCall::Form::kText), 1);
  EXPECT_NE(check.out.find("a run ends here with poll status 2 (argument error): argument 4: "
                           "range condition \"200\" has no '-'"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("a run ends at object 2, so no verdict on this one is reported"),
            std::string::npos);
  EXPECT_TRUE(check.agent.traps.empty());
  EXPECT_TRUE(check.env.appends.empty());
}

// The text and the JSON of a v2c device that lacks object 4 but has its
// other name; the communities appear in neither.
TEST(CheckRun, TextAndJsonOfAnAbsentObject) {
  struct AbsentObject : Check {
    AbsentObject()
        : Check("2", {"upsEstimatedMinutesRemaining>10", "upsBatteryVoltage|200-250",
                      "upsBatteryTemperature<40", "xupsEnvRemoteTemp<45"}) {
      Answers(1, Answer({kFirst[0], kFirst[1], kFirst[2], kOther[3]},
                        {Int("45"), Int("230"), Int("25"), Typed(snmp::kTypeNoSuchObject)}));
      Answers(2, Answer({kOther[0], kOther[1], kOther[2], kFirst[3]},
                        {Int("2700"), Typed(snmp::kTypeNoSuchObject), Int("24"), Int("255")}));
    }
  };
  AbsentObject text;
  EXPECT_EQ(text.Run(CheckCall::Form::kText), 1);
  const std::string object4 =
      "object 4:           xupsEnvRemoteTemp<45\n"
      "  OID:              1.3.6.1.4.1.534.1.6.5.0\n"
      "  answer:           noSuchObject\n"
      "  trap value:       0\n"
      "  status:           1 (met)\n"
      "  warning:          the device does not have this object (noSuchObject): a run counts it "
      "as 0, the same as a real 0\n"
      "  other name:       entPhySensorValue (1.3.6.1.2.1.99.1.1.1.4.1): the device has it "
      "(INTEGER 255)\n"
      "result:             a run would not judge all four from values the device gave: see the "
      "warnings of objects 2, 4 (exit 1)\n";
  EXPECT_NE(text.out.find(object4), std::string::npos) << text.out;

  AbsentObject json;
  EXPECT_EQ(json.Run(CheckCall::Form::kJson), 1);
  const nlohmann::ordered_json j = nlohmann::ordered_json::parse(json.out);
  std::vector<std::string> keys;
  for (const auto& [key, value] : j.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"node_id", "address", "port", "snmp_version",
                                            "pollable", "usable", "answer", "error_status",
                                            "error_index", "objects"}));
  EXPECT_EQ(j["usable"], false);
  const auto& o4 = j["objects"][3];
  EXPECT_EQ(o4["type"], "noSuchObject");
  EXPECT_TRUE(o4["raw"].is_null());
  EXPECT_EQ(o4["other_name_present"], true);
  EXPECT_EQ(j["objects"][1]["other_name_present"], false);
  for (const char* secret : {"s3cret", "t0p"}) {
    EXPECT_EQ(json.out.find(secret), std::string::npos) << secret;
  }
}

// A run judges bindings by their place in the answer, never by their OIDs:
// the check warns at each place whose OID is not the one asked (the OID
// found and the one asked), in every rendering, and the answer is not
// usable. One wrong place, then the right OIDs in reverse order.
TEST(CheckRun, BindingsThatNameOtherOids) {
  const std::string uptime = "1.3.6.1.2.1.1.3.0";  // sysUpTime.0
  const std::vector<std::string> reversed(kFirst.rbegin(), kFirst.rend());
  for (const std::vector<std::string>& oids :
       {std::vector<std::string>{kFirst[0], uptime, kFirst[2], kFirst[3]}, reversed}) {
    SCOPED_TRACE(oids[1]);
    Check text("2");
    text.Answers(1, Answer(oids, kGood));
    EXPECT_EQ(text.Run(CheckCall::Form::kText), 1);
    Check json("2");
    json.Answers(1, Answer(oids, kGood));
    EXPECT_EQ(json.Run(CheckCall::Form::kJson), 1);
    const nlohmann::json j = nlohmann::json::parse(json.out);
    EXPECT_EQ(j["usable"], false);
    EXPECT_EQ(j["answer"], "judged");
    for (size_t i = 0; i < kFirst.size(); ++i) {
      const std::string warning = "the device answered " + oids[i] +
                                  " in this place, not the OID asked (" + kFirst[i] +
                                  "): a run takes the value by its place all the same";
      const bool wrong = oids[i] != kFirst[i];
      EXPECT_EQ(text.out.find("  warning:          " + warning + "\n") != std::string::npos, wrong)
          << text.out;
      const auto& o = j["objects"][i];
      EXPECT_EQ(o["answer_oid"], oids[i]);
      EXPECT_EQ(o["warning"].is_string() &&
                    o["warning"].get<std::string>().find(warning) != std::string::npos,
                wrong);
      // Judged by place all the same: the value and the status of a run.
      EXPECT_EQ(o["value"], i == 3 ? 26 : std::stoi(kGood[i].value));
      EXPECT_EQ(o["status"], run::kObjMet);
    }
  }
}

// A device's text goes into the JSON escaped, and bytes that are not UTF-8
// come out replaced, so the report always parses.
TEST(CheckRun, JsonOfHostileText) {
  std::vector<FakeBinding> bindings = kGood;
  bindings[2] = Typed(snmp::kTypeOctetString, std::string("\"\\\n\x01\xff<", 6));
  Check json("2");
  json.Answers(1, Answer(kFirst, bindings));
  EXPECT_EQ(json.Run(CheckCall::Form::kJson), 1);
  const nlohmann::json j = nlohmann::json::parse(json.out);
  EXPECT_EQ(j["answer"], "failed");
  EXPECT_EQ(j["objects"][2]["raw"], "\"\\\n\x01\xef\xbf\xbd<");
  // The text report shows the control characters as '?'.
  Check text("2");
  text.Answers(1, Answer(kFirst, bindings));
  EXPECT_EQ(text.Run(CheckCall::Form::kText), 1);
  EXPECT_NE(text.out.find("  answer:           OCTET STRING \"\"\\??"), std::string::npos)
      << text.out;
}

// Without objects the JSON has the node's part only; a node that cannot be
// polled gets no GET, and an unaccepted object name none either.
TEST(CheckRun, NoObjectsUnpollableNodeAndUnacceptedName) {
  Check plain("1", {});
  EXPECT_EQ(plain.Run(CheckCall::Form::kJson), 0);
  nlohmann::json j = nlohmann::json::parse(plain.out);
  EXPECT_EQ(j["snmp_version"], "1");
  EXPECT_EQ(j["usable"], true);
  EXPECT_TRUE(j["answer"].is_null());
  EXPECT_TRUE(j["objects"].empty());
  EXPECT_TRUE(plain.manager.requests.empty());

  Check nowhere("2");
  nowhere.ctx.read_node_data = [](run::Context& c) { c.state.UdpPort = 161; };
  EXPECT_EQ(nowhere.Run(CheckCall::Form::kJson), 1);
  j = nlohmann::json::parse(nowhere.out);
  EXPECT_EQ(j["pollable"], false);
  EXPECT_TRUE(j["answer"].is_null());
  EXPECT_EQ(j["objects"][3]["other_name"], "xupsEnvRemoteTemp");
  EXPECT_TRUE(j["objects"][3]["value"].is_null());
  EXPECT_TRUE(nowhere.manager.requests.empty());

  Check misnamed("2", {"upsEstimatedMinutesRemaining>10", "upsBatteryTemperature<40",
                       "upsBatteryTemperature<40", "entPhySensorValue<30"});
  EXPECT_EQ(platform::ExitStatusOf(misnamed.env,
                                   [&misnamed] { return misnamed.Run(CheckCall::Form::kText); }),
            2);
  EXPECT_EQ(misnamed.out, "");
  EXPECT_EQ(misnamed.env.stderr_lines,
            std::vector<std::string>{"argument 4 \"upsBatteryTemperature<40\": no object name of "
                                     "slot 2 (upsBatteryVoltage or xupsInputVoltage)"});
  EXPECT_TRUE(misnamed.manager.requests.empty());
}

// An end that escapes a check (here from the node record stage) goes to
// the program's one handler, as main runs it: a status and one line, and
// nothing on stdout.
TEST(CheckRun, AnEndThatEscapesGoesToTheOneHandler) {
  struct Row {
    std::function<void()> thrown;
    std::string line;
  };
  const Row rows[] = {
      {[] { platform::EndProgram(platform::kExitFailure, "ReadNodeData: gone"); },
       "ReadNodeData: gone"},
      {[] { throw std::bad_alloc(); }, "std::bad_alloc"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Check check("2");
    check.ctx.read_node_data = [&row](run::Context&) { row.thrown(); };
    const int status = platform::ExitStatusOf(
        check.env, [&check] { return RunCheck(check.ctx, check.call, check.out); });
    EXPECT_EQ(status, platform::kExitFailure);
    EXPECT_EQ(check.env.stderr_lines, std::vector<std::string>{row.line});
    EXPECT_EQ(check.out, "");
    EXPECT_TRUE(check.manager.requests.empty());
  }
}

// The state a scheduler reads, the first that applies, with the objects it
// names and the plugin's first line, for each kind of finding.
TEST(CheckState, FirstStateThatApplies) {
  using S = SchedulerState;
  const std::string perf =
      " | upsEstimatedMinutesRemaining=45;;11: upsBatteryVoltage=230;;200:250 "
      "upsBatteryTemperature=";
  auto with = [](size_t i, FakeBinding b) {
    std::vector<FakeBinding> bindings = kGood;
    bindings[i] = std::move(b);
    return bindings;
  };
  auto objects = [](size_t i, std::string o) {
    std::vector<std::string> all = kObjects;
    all[i] = std::move(o);
    return all;
  };
  struct Row {
    const char* what;
    std::vector<std::string> objects;
    std::vector<FakeBinding> answer;  // none: the device stays silent
    S state;
    int exit;
    std::vector<int> concerned;
    std::string line;  // how the output begins
    bool addressless = false;
  };
  // clang-format off
  const Row rows[] = {
      {"all met", kObjects, kGood, S::kOk, 0, {},
       "UPS OK - node 17: all four conditions met on values the device gave" + perf +
       "25;;~:39 entPhySensorValue=26;;~:29\n"},
      {"failed beside absent", kObjects,
       {Int("45"), Int("230"), Int("45"), Typed(snmp::kTypeNoSuchObject)}, S::kCritical, 2, {3},
       "UPS CRITICAL - node 17: upsBatteryTemperature 45 (<40)" + perf +
       "45;;~:39 entPhySensorValue=U;;~:29\n"},
      {"absent object", kObjects, with(3, Typed(snmp::kTypeNoSuchObject)), S::kWarning, 1, {2, 4},
       "UPS WARNING - node 17: upsBatteryVoltage 230 not judged (in 200-250), entPhySensorValue "
       "not given (<30)" + perf + "25;;~:39 entPhySensorValue=U;;~:29\n"},
      {"another OID", kObjects, with(2, {"1.3.6.1.2.1.1.3.0", snmp::kTypeInteger, "25"}),
       S::kWarning, 1, {3}, "UPS WARNING - node 17: upsBatteryTemperature not given (<40) |"},
      {"no answer", kObjects, {}, S::kCritical, 2, {},
       "UPS CRITICAL - node 17: no answer to either attempt (poll status 4) | "
       "upsEstimatedMinutesRemaining=U;;11: upsBatteryVoltage=U;;200:250 "},
      {"no number", kObjects, with(2, Typed(snmp::kTypeOctetString, "warm")), S::kUnknown, 3, {},
       "UPS UNKNOWN - node 17: a run cannot take the answer in (poll status 3) |"},
      {"range error", objects(1, "upsBatteryVoltage|200"), kGood, S::kUnknown, 3, {},
       "UPS UNKNOWN - node 17: a run ends at object 2 with poll status 2: argument 4: range "
       "condition \"200\" has no '-' | upsEstimatedMinutesRemaining=45;;11: "
       "upsBatteryVoltage=230;; "},
      {"condition no number", objects(2, "upsBatteryTemperature<x=1|2"), kGood, S::kUnknown, 3, {},
       "UPS UNKNOWN - node 17: a run ends at object 3 by an error: StatusCompare: Type mismatch: "
       "'x=1/2' is not a number |"},
      {"no address", kObjects, kGood, S::kUnknown, 3, {},
       "UPS UNKNOWN - node 17: a run could not poll this node: ", true},
      {"wrong slot", objects(3, "upsBatteryVoltage<2"), kGood, S::kUnknown, 3, {},
       "UPS UNKNOWN - argument 6 \"upsBatteryVoltage<2\": no object name of slot 4 "
       "(entPhySensorValue or xupsEnvRemoteTemp)\n"},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Check check("2", row.objects);
    if (!row.answer.empty()) check.Answers(1, Answer(kFirst, row.answer));
    if (row.addressless) check.ctx.read_node_data = [](run::Context& c) { c.state.UdpPort = 161; };
    // As a --check=plugin call runs, with the report kept.
    Report report;
    std::string unknown;
    const int status = PluginStatusOf(
        [&] {
          report = CheckReport(check.ctx, check.call);
          return PluginExitStatus(report.state);
        },
        unknown);
    EXPECT_EQ(status, row.exit);
    EXPECT_EQ(report.state, row.state);
    EXPECT_EQ(report.concerned, row.concerned);
    const std::string out = unknown.empty() ? PluginReport(report) : unknown;
    EXPECT_EQ(out.substr(0, row.line.size()), row.line) << out;
    EXPECT_TRUE(check.env.stderr_lines.empty());
  }
}

// The Prometheus text of a node that cannot be polled, under a node id
// that needs escaping: no poll samples, the id valid UTF-8 with '\', '"'
// and newline escaped.
TEST(CheckState, PrometheusOfAnUnpollableNode) {
  Check check("2");
  check.call.node_id = "7\"\\\n\xff";
  EXPECT_EQ(check.Run(CheckCall::Form::kPrometheus), 1);
  const std::string id = "{node_id=\"7\\\"\\\\\\n\xEF\xBF\xBD\"} ";
  std::string samples;
  std::istringstream lines(check.out);
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("# ")) samples += line + "\n";
  }
  EXPECT_EQ(samples, "upstest_pollable" + id + "0\nupstest_usable" + id +
                         "0\nupstest_check_duration_seconds" + id + "0.000\n");
}

}  // namespace
}  // namespace upstest::check
