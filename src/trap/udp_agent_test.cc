// The trap sender against a receiving socket on loopback.
#include "trap/udp_agent.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "platform/error.h"
#include "snmp/ber.h"
#include "snmp/message.h"

namespace upstest::trap {
namespace {

using ::testing::HasSubstr;
namespace ber = snmp::ber;

class Receiver {
 public:
  Receiver() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Receiver() { close(fd_); }
  int port() const { return port_; }
  std::string Receive() {
    char buffer[65536];
    const ssize_t n = recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT);
    return n < 0 ? "<nothing>" : std::string(buffer, static_cast<size_t>(n));
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// The time-stamp of a received trap (the one field the sender chooses).
uint32_t TimeStampOf(std::string_view datagram) {
  ber::Reader outer(datagram, true);
  ber::Reader message(outer.Expect(ber::kSequence, "message").content);
  message.Expect(ber::kInteger, "version");
  message.Expect(ber::kOctetString, "community");
  ber::Reader pdu(message.Expect(0xa4, "trap").content);
  pdu.Expect(ber::kObjectId, "enterprise");
  pdu.Expect(ber::kIpAddress, "agent-addr");
  pdu.Expect(ber::kInteger, "generic");
  pdu.Expect(ber::kInteger, "specific");
  return static_cast<uint32_t>(
      ber::DecodeUnsigned(pdu.Expect(ber::kTimeTicks, "time-stamp").content, 32, "time-stamp"));
}

uint64_t UptimeCentis() {
  timespec now{};
  clock_gettime(CLOCK_BOOTTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * 100 + static_cast<uint64_t>(now.tv_nsec) / 10000000;
}

// Sets the agent up as the status trap does, with three bindings.
void Prepare(Agent& agent, int port, const std::string& agent_address) {
  agent.Reset();
  agent.SetVersion(1);
  agent.Config("TrapCommunity=pub");
  agent.Config("TrapEnterprise=1.3.6.1.4.1.32473.1.22.2");
  agent.Config("TrapAgentAddress=" + agent_address);
  agent.SetObjCount(3);
  agent.SetObjId(0, "1.3.6.1.4.1.32473.1.22.1.1.0");
  agent.SetObjType(0, 4);
  agent.SetObjValue(0, "");
  agent.SetObjId(1, "1.3.6.1.4.1.32473.1.22.1.2.0");
  agent.SetObjType(1, 2);
  agent.SetObjValue(1, "-5");
  agent.SetObjId(2, "1.3.6.1.4.1.32473.1.22.1.3.0");
  agent.SetObjType(2, 2);
  agent.SetObjValue(2, "2147483647");
  agent.Config("TrapPort=" + std::to_string(port));
}

snmp::TrapMessage Expected(std::array<uint8_t, 4> address, uint32_t time_stamp) {
  snmp::TrapMessage trap;
  trap.community = "pub";
  trap.enterprise = "1.3.6.1.4.1.32473.1.22.2";
  trap.agent_address = address;
  trap.generic_trap = 6;
  trap.specific_trap = 1;
  trap.time_stamp = time_stamp;
  trap.bindings = {{"1.3.6.1.4.1.32473.1.22.1.1.0", 4, 0, ""},
                   {"1.3.6.1.4.1.32473.1.22.1.2.0", 2, -5, ""},
                   {"1.3.6.1.4.1.32473.1.22.1.3.0", 2, 2147483647, ""}};
  return trap;
}

TEST(UdpAgent, SendsOneTrapDatagramWithUptimeTimeStamp) {
  Receiver receiver;
  auto agent = NewUdpAgent();
  Prepare(*agent, receiver.port(), "192.0.2.7");
  const uint64_t before = UptimeCentis();
  agent->SendTrap("127.0.0.1", "6.1");
  const uint64_t after = UptimeCentis();
  const std::string got = receiver.Receive();
  const uint32_t stamp = TimeStampOf(got);
  EXPECT_EQ(got, snmp::EncodeTrap(Expected({192, 0, 2, 7}, stamp)));
  // Modulo 2^32: the stamp lies between the two readings.
  EXPECT_LE(static_cast<uint32_t>(stamp - static_cast<uint32_t>(before)), after - before);
  EXPECT_EQ(receiver.Receive(), "<nothing>");  // exactly one datagram
}

TEST(UdpAgent, AgentAddressFromTextNameOrNothing) {
  Receiver receiver;
  auto agent = NewUdpAgent();
  const std::pair<std::string, std::array<uint8_t, 4>> cases[] = {
      {"", {0, 0, 0, 0}},
      {"10.20.30.40", {10, 20, 30, 40}},
      {"localhost", {127, 0, 0, 1}},
      {"no-such-host.invalid", {0, 0, 0, 0}},
      {"::1", {0, 0, 0, 0}},
      // The GET goes to the IPv4 address a mapped one stands for.
      {"::ffff:127.0.0.1", {127, 0, 0, 1}},
      {"::FFFF:10.20.30.40", {10, 20, 30, 40}}};
  for (const auto& [text, address] : cases) {
    Prepare(*agent, receiver.port(), text);
    agent->SendTrap("localhost", "6.1");
    const std::string got = receiver.Receive();
    EXPECT_EQ(got, snmp::EncodeTrap(Expected(address, TimeStampOf(got)))) << text;
  }
}

TEST(UdpAgent, ResetLeavesNothingOfThePreviousTrap) {
  Receiver receiver;
  auto agent = NewUdpAgent();
  Prepare(*agent, receiver.port(), "192.0.2.7");
  agent->SendTrap("127.0.0.1", "6.1");
  receiver.Receive();
  agent->Reset();
  EXPECT_THROW(agent->SetObjId(0, "1.3.6.1"), platform::Failure);  // no bindings left
  EXPECT_THAT([&] { agent->SendTrap("127.0.0.1", "6.1"); },
              ::testing::ThrowsMessage<platform::Failure>(HasSubstr("no enterprise")));
  agent->Config("TrapEnterprise=1.3.6.1.4.1.32473.1.22.2");
  agent->Config("TrapPort=" + std::to_string(receiver.port()));
  agent->SendTrap("127.0.0.1", "6.1");
  snmp::TrapMessage bare = Expected({0, 0, 0, 0}, 0);
  bare.community.clear();
  bare.bindings.clear();
  const std::string got = receiver.Receive();
  bare.time_stamp = TimeStampOf(got);
  EXPECT_EQ(got, snmp::EncodeTrap(bare));
}

TEST(UdpAgent, RejectsWhatItCannotSend) {
  auto agent = NewUdpAgent();
  EXPECT_THROW(agent->SetVersion(2), platform::Failure);
  EXPECT_THAT([&] { agent->Config("TrapHost=1.2.3.4"); },
              ::testing::ThrowsMessage<platform::Failure>(HasSubstr("unknown configuration")));
  EXPECT_THROW(agent->Config("TrapCommunity"), platform::Failure);
  EXPECT_THROW(agent->Config("trapcommunity=x"), platform::Failure);
  EXPECT_THROW(agent->Config("TrapEnterprise=1.3.x"), platform::Failure);
  for (const char* port :
       {"TrapPort=0", "TrapPort=65536", "TrapPort=abc", "TrapPort=16.2", "TrapPort="}) {
    EXPECT_THROW(agent->Config(port), platform::Failure) << port;
  }
  agent->SetObjCount(2);
  EXPECT_THROW(agent->SetObjCount(-1), platform::Failure);
  EXPECT_THROW(agent->SetObjId(2, "1.3.6.1"), platform::Failure);
  EXPECT_THROW(agent->SetObjId(-1, "1.3.6.1"), platform::Failure);
  for (int type : {0, 5, 6, 64, 65, 128}) {
    EXPECT_THROW(agent->SetObjType(0, type), platform::Failure) << type;
  }
  agent->SetObjType(0, 2);
  for (const char* value : {"", "1.5", "abc", " 1", "1 ", "2147483648", "-2147483649", "0x10"}) {
    EXPECT_THROW(agent->SetObjValue(0, value), platform::Failure) << value;
  }
  agent->SetObjValue(0, "-2147483648");
  agent->SetObjType(1, 4);
  agent->SetObjValue(1, "any text 1.5");
  EXPECT_THROW(agent->SetObjType(1, 2), platform::Failure);  // its value is no integer
}

TEST(UdpAgent, FailsWhenTheTrapCannotGoOut) {
  auto agent = NewUdpAgent();
  Prepare(*agent, 16200, "");
  EXPECT_THROW(agent->SendTrap("no-such-host.invalid", "6.1"), platform::Failure);
  EXPECT_THROW(agent->SendTrap("", "6.1"), platform::Failure);
  EXPECT_THAT([&] { agent->SendTrap("255.255.255.255", "6.1"); },
              ::testing::ThrowsMessage<platform::Failure>(HasSubstr("cannot send the trap")));
  for (const char* id : {"6", "6.", ".1", "7.1", "6.-1", "a.b", ""}) {
    EXPECT_THROW(agent->SendTrap("127.0.0.1", id), platform::Failure) << id;
  }
  agent->SetObjCount(4);  // a binding without identifier, type and value
  EXPECT_THAT([&] { agent->SendTrap("127.0.0.1", "6.1"); },
              ::testing::ThrowsMessage<platform::Failure>(HasSubstr("object 3 is not fully set")));
}

}  // namespace
}  // namespace upstest::trap
