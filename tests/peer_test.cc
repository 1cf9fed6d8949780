// Our manager and trap sender against net-snmp's snmpd and snmptrapd.
// Runs inside a private network namespace (see CMakeLists.txt): snmpd on
// 127.0.0.1:16161, snmptrapd on 127.0.0.1:162. Every peer runs under
// `timeout`, so none outlives its test even when the test dies.
#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/event_pump.h"
#include "snmp/manager.h"
#include "snmp/udp_manager.h"
#include "trap/udp_agent.h"

namespace upstest {
namespace {

using ::testing::ElementsAre;

constexpr int kSnmpdPort = 16161;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

// A peer process with its output in a file; ended and reaped on destruction.
class Peer {
 public:
  Peer(const std::string& dir, std::vector<std::string> argv) : log_(dir + "/peer.log") {
    argv.insert(argv.begin(), {"timeout", "-s", "KILL", "120"});
    pid_ = fork();
    if (pid_ == 0) {
      setenv("MIBS", "", 1);
      setenv("SNMP_PERSISTENT_DIR", dir.c_str(), 1);
      if (!freopen(log_.c_str(), "w", stdout) || !freopen(log_.c_str(), "a", stderr)) _exit(127);
      std::vector<char*> args;
      for (std::string& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      execvp(args[0], args.data());
      _exit(127);
    }
  }
  ~Peer() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    for (int i = 0; i < 250; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      Pause();
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  std::string Output() const { return ReadFile(log_); }

 private:
  std::string log_;
  pid_t pid_ = -1;
};

std::string TempDir() {
  char pattern[] = "/tmp/upstest-peer-XXXXXX";
  const char* dir = mkdtemp(pattern);
  return dir != nullptr ? dir : "/tmp";
}

struct Answer {
  int32_t request_id = 0;
  int16_t status = 0;
  int16_t index = 0;
  std::string description;
  std::vector<std::string> bindings;  // "oid type value"
};

class Collector : public snmp::ManagerEvents {
 public:
  explicit Collector(snmp::Manager& manager) : manager_(manager) {}
  void Response(int32_t request_id, int16_t status, int16_t index,
                const std::string& description) override {
    Answer answer{request_id, status, index, description, {}};
    for (int32_t i = 0; i < manager_.ObjCount(); ++i) {
      answer.bindings.push_back(manager_.ObjId(i) + " " + std::to_string(manager_.ObjValueType(i)) +
                                " " + manager_.ObjValue(i));
    }
    answers.push_back(answer);
  }
  void BadPacket(int16_t code, const std::string& description) override {
    bad.push_back(std::to_string(code) + " " + description);
  }
  std::vector<Answer> answers;
  std::vector<std::string> bad;

 private:
  snmp::Manager& manager_;
};

class SnmpdTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new std::string(TempDir());
    std::ofstream conf(*dir_ + "/snmpd.conf");
    conf << "agentaddress udp:127.0.0.1:" << kSnmpdPort << "\n"
         << "rocommunity public 127.0.0.1\n"
         << "override 1.3.6.1.2.1.33.1.2.3.0 integer 120\n"
         << "override 1.3.6.1.2.1.33.1.3.3.1.3.1 integer 2300\n"
         << "override 1.3.6.1.2.1.33.1.2.7.0 integer 25\n"
         << "override 1.3.6.1.2.1.99.1.1.1.4.1 integer -5\n"
         << "override 1.3.6.1.4.1.534.1.2.1.0 counter 4000000000\n"
         << "override 1.3.6.1.4.1.534.1.3.4.1.2.1 octet_str \"230\"\n"
         << "override 1.3.6.1.4.1.534.1.6.1.0 uinteger 17\n"
         << "override 1.3.6.1.4.1.534.1.6.5.0 timeticks 123456\n";
    conf.close();
    snmpd_ = new Peer(*dir_, {"snmpd", "-f", "-Lo", "-C", "-c", *dir_ + "/snmpd.conf"});
  }
  static void TearDownTestSuite() {
    delete snmpd_;
    std::filesystem::remove_all(*dir_);
    delete dir_;
  }

  void SetUp() override {
    manager_->SetEvents(&collector_);
    manager_->SetWaitingTime(0);
    manager_->SetLocalAddress("");
    manager_->SetActive(true);
  }

  // Sends one GET and delivers events until an answer came, resending now
  // and then while snmpd is still starting; gives up after about 20 s.
  Answer Get(int32_t version, const std::vector<std::string>& oids) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      manager_->Reset();
      manager_->SetRemoteHost("127.0.0.1");
      manager_->SetRemotePort(kSnmpdPort);
      manager_->SetVersion(version);
      manager_->SetCommunity("public");
      manager_->SetRequestId(1000001 + attempt);
      manager_->SetObjCount(static_cast<int16_t>(oids.size()));
      for (size_t i = 0; i < oids.size(); ++i) {
        manager_->SetObjId(static_cast<int32_t>(i), oids[i]);
      }
      manager_->SendGetRequest();
      for (int step = 0; step < 10 && collector_.answers.empty(); ++step) {
        Pause();
        pump_.DeliverPending();
      }
      if (!collector_.answers.empty()) {
        Answer answer = collector_.answers.back();
        collector_.answers.clear();
        return answer;
      }
    }
    ADD_FAILURE() << "snmpd never answered:\n" << snmpd_->Output();
    return {};
  }

  static std::string* dir_;
  static Peer* snmpd_;
  platform::EventPump pump_;
  std::unique_ptr<snmp::Manager> manager_ = snmp::NewUdpManager(pump_);
  Collector collector_{*manager_};
};
std::string* SnmpdTest::dir_ = nullptr;
Peer* SnmpdTest::snmpd_ = nullptr;

TEST_F(SnmpdTest, V2cAnswerCarriesTheFourValues) {
  const Answer answer = Get(2, {"1.3.6.1.2.1.33.1.2.3.0", "1.3.6.1.2.1.33.1.3.3.1.3.1",
                                "1.3.6.1.2.1.33.1.2.7.0", "1.3.6.1.2.1.99.1.1.1.4.1"});
  EXPECT_GE(answer.request_id, 1000001);
  EXPECT_EQ(answer.status, 0);
  EXPECT_EQ(answer.description, "noError");
  EXPECT_THAT(answer.bindings,
              ElementsAre("1.3.6.1.2.1.33.1.2.3.0 2 120", "1.3.6.1.2.1.33.1.3.3.1.3.1 2 2300",
                          "1.3.6.1.2.1.33.1.2.7.0 2 25", "1.3.6.1.2.1.99.1.1.1.4.1 2 -5"));
  EXPECT_TRUE(collector_.bad.empty());
}

TEST_F(SnmpdTest, V2cOtherTypesAndExceptions) {
  const Answer answer =
      Get(2, {"1.3.6.1.4.1.534.1.2.1.0", "1.3.6.1.4.1.534.1.3.4.1.2.1", "1.3.6.1.4.1.534.1.6.1.0",
              "1.3.6.1.4.1.534.1.6.5.0", "1.3.6.1.2.1.33.1.2.5.0", "1.3.6.1.2.1.1.1.1"});
  EXPECT_EQ(answer.status, 0);
  EXPECT_THAT(
      answer.bindings,
      ElementsAre("1.3.6.1.4.1.534.1.2.1.0 65 4000000000", "1.3.6.1.4.1.534.1.3.4.1.2.1 4 230",
                  "1.3.6.1.4.1.534.1.6.1.0 66 17", "1.3.6.1.4.1.534.1.6.5.0 67 123456",
                  "1.3.6.1.2.1.33.1.2.5.0 128 ",  // noSuchObject
                  "1.3.6.1.2.1.1.1.1 129 "));     // noSuchInstance
}

TEST_F(SnmpdTest, V1MissingObjectIsNoSuchName) {
  const Answer answer = Get(1, {"1.3.6.1.2.1.33.1.2.3.0", "1.3.6.1.2.1.33.1.2.5.0"});
  EXPECT_EQ(answer.status, 2);
  EXPECT_EQ(answer.index, 2);
  EXPECT_EQ(answer.description, "noSuchName");
  ASSERT_EQ(answer.bindings.size(), 2u);
  EXPECT_EQ(answer.bindings[1], "1.3.6.1.2.1.33.1.2.5.0 5 ");
}

// true once something holds UDP 127.0.0.1:162.
bool TrapPortTaken() {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(162);
  const bool taken = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0;
  close(fd);
  return taken;
}

TEST(Snmptrapd, ReceivesOurStatusTrap) {
  ASSERT_FALSE(TrapPortTaken()) << "port 162 is in use: not in a private network namespace?";
  const std::string dir = TempDir();
  struct Cleanup {
    std::string dir;
    ~Cleanup() { std::filesystem::remove_all(dir); }
  } cleanup{dir};
  std::ofstream(dir + "/snmptrapd.conf") << "disableAuthorization yes\n";
  Peer trapd(dir, {"snmptrapd", "-f", "-Lo", "-C", "-c", dir + "/snmptrapd.conf", "-On", "-F",
                   "TRAP %N|%A|%w|%q|%V;%v\n", "127.0.0.1:162"});
  for (int i = 0; i < 500 && !TrapPortTaken(); ++i) Pause();
  ASSERT_TRUE(TrapPortTaken()) << trapd.Output();

  // Built as the status trap builds it.
  auto agent = trap::NewUdpAgent();
  agent->Reset();
  agent->SetVersion(1);
  agent->Config("TrapCommunity=public");
  agent->Config("TrapEnterprise=1.3.6.1.4.1.32473.1.22.2");
  agent->Config("TrapAgentAddress=192.0.2.7");
  agent->SetObjCount(11);
  const std::string values[] = {"ups 7", "1", "2", "1", "120", "2", "-5", "3", "0", "1", "42"};
  for (int i = 0; i < 11; ++i) {
    agent->SetObjId(i, "1.3.6.1.4.1.32473.1.22.1." + std::to_string(i + 1) + ".0");
    agent->SetObjType(i, i == 0 ? 4 : 2);
    agent->SetObjValue(i, values[i]);
  }
  agent->Config("TrapPort=162");
  agent->SendTrap("127.0.0.1", "6.1");

  std::string line;
  for (int i = 0; i < 500 && line.empty(); ++i) {
    const std::string output = trapd.Output();
    const size_t at = output.find("TRAP ");
    if (at != std::string::npos && output.find('\n', at) != std::string::npos) {
      line = output.substr(at, output.find('\n', at) - at);
    } else {
      Pause();
    }
  }
  std::string expected = "TRAP .1.3.6.1.4.1.32473.1.22.2|192.0.2.7|6|.1|";
  for (int i = 0; i < 11; ++i) {
    if (i > 0) expected += ";";
    expected += ".1.3.6.1.4.1.32473.1.22.1." + std::to_string(i + 1) +
                ".0 = " + (i == 0 ? "STRING: \"" + values[i] + "\"" : "INTEGER: " + values[i]);
  }
  EXPECT_EQ(line, expected) << trapd.Output();
}

}  // namespace
}  // namespace upstest
