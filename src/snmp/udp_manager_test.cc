// The UDP manager against a peer socket on loopback: what goes out, what
// comes back as events, and the nesting of events.
#include "snmp/udp_manager.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/resolver.h"
#include "snmp/ber.h"
#include "snmp/message.h"
#include "test_support/fake_env.h"
#include "trap/udp_agent.h"

namespace upstest::snmp {
namespace {

using ::testing::HasSubstr;

// A UDP socket on a loopback address, standing in for the node (or, on
// another loopback address or port, for someone else).
class Peer {
 public:
  // IPv4 peers take `ipv4_address` (host order) and `port` (0: any free
  // one); IPv6 peers [::1] and any free port.
  explicit Peer(int family = AF_INET, uint32_t ipv4_address = INADDR_LOOPBACK, uint16_t port = 0)
      : family_(family) {
    fd_ = socket(family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == AF_INET) {
      auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
      v4->sin_family = AF_INET;
      v4->sin_addr.s_addr = htonl(ipv4_address);
      v4->sin_port = htons(port);
      length = sizeof *v4;
    } else {
      auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
      v6->sin6_family = AF_INET6;
      v6->sin6_addr = in6addr_loopback;
      length = sizeof *v6;
    }
    ok_ = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&address), length) == 0;
    length = sizeof address;
    if (ok_) getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port)
                              : ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  }
  ~Peer() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return ok_; }
  int port() const { return port_; }

  // The next datagram; the sender's port in `from_port`.
  std::string Receive(int* from_port = nullptr) {
    char buffer[65536];
    sockaddr_storage from{};
    socklen_t length = sizeof from;
    const ssize_t n = recvfrom(fd_, buffer, sizeof buffer, MSG_DONTWAIT,
                               reinterpret_cast<sockaddr*>(&from), &length);
    if (n < 0) return "<nothing>";
    if (from_port != nullptr) {
      *from_port = from.ss_family == AF_INET
                       ? ntohs(reinterpret_cast<sockaddr_in*>(&from)->sin_port)
                       : ntohs(reinterpret_cast<sockaddr_in6*>(&from)->sin6_port);
    }
    return std::string(buffer, static_cast<size_t>(n));
  }
  void SendTo(int port, std::string_view datagram) {
    sockaddr_storage to{};
    socklen_t length = 0;
    if (family_ == AF_INET) {
      auto* v4 = reinterpret_cast<sockaddr_in*>(&to);
      v4->sin_family = AF_INET;
      v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      v4->sin_port = htons(static_cast<uint16_t>(port));
      length = sizeof *v4;
    } else {
      auto* v6 = reinterpret_cast<sockaddr_in6*>(&to);
      v6->sin6_family = AF_INET6;
      v6->sin6_addr = in6addr_loopback;
      v6->sin6_port = htons(static_cast<uint16_t>(port));
      length = sizeof *v6;
    }
    ASSERT_EQ(
        sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&to), length),
        static_cast<ssize_t>(datagram.size()));
  }

 private:
  int family_;
  int fd_ = -1;
  bool ok_ = false;
  int port_ = 0;
};

struct Seen {
  std::string kind;  // "response" or "bad"
  int32_t request_id = 0;
  int16_t status = 0;
  int16_t index = 0;
  std::string description;
  std::vector<std::string> bindings;  // "oid type value"
};

class Recorder : public ManagerEvents {
 public:
  explicit Recorder(Manager& manager) : manager_(manager) {}
  void Response(int32_t request_id, int16_t error_status, int16_t error_index,
                const std::string& error_description) override {
    Seen seen{"response", request_id, error_status, error_index, error_description, {}};
    seen.bindings = Bindings();
    events.push_back(seen);
    if (on_response) on_response(request_id);
    // After any nested delivery the bindings are this answer's again.
    after_handler.push_back(Bindings());
  }
  void BadPacket(int16_t error_code, const std::string& error_description) override {
    events.push_back({"bad", 0, error_code, 0, error_description, {}});
  }
  std::vector<std::string> Bindings() {
    std::vector<std::string> out;
    for (int32_t i = 0; i < manager_.ObjCount(); ++i) {
      out.push_back(manager_.ObjId(i) + " " + std::to_string(manager_.ObjValueType(i)) + " " +
                    manager_.ObjValue(i));
    }
    return out;
  }

  std::vector<Seen> events;
  std::vector<std::vector<std::string>> after_handler;
  std::function<void(int32_t)> on_response;

 private:
  Manager& manager_;
};

std::string Answer(int32_t request_id, int64_t value, int32_t version_field = 1,
                   int64_t status = 0) {
  const std::string binding =
      ber::Tlv(ber::kSequence, ber::EncodeOid("1.3.6.1.2.1.33.1.2.3.0") + ber::EncodeSigned(value));
  const std::string pdu = ber::EncodeSigned(request_id) + ber::EncodeSigned(status) +
                          ber::EncodeSigned(status == 0 ? 0 : 1) +
                          ber::Tlv(ber::kSequence, binding);
  return ber::Tlv(ber::kSequence, ber::EncodeSigned(version_field) +
                                      ber::Tlv(ber::kOctetString, "public") + ber::Tlv(0xa2, pdu));
}

class UdpManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_->SetEvents(&recorder_);
    manager_->SetWaitingTime(0);
    manager_->SetLocalAddress("");
    manager_->SetActive(true);
    ASSERT_TRUE(peer_.ok());
  }
  void Configure(const std::string& host, int port, int32_t version, int32_t id) {
    manager_->Reset();
    manager_->SetWaitingTime(0);
    manager_->SetRemoteHost(host);
    manager_->SetRemotePort(port);
    manager_->SetVersion(version);
    manager_->SetCommunity("public");
    manager_->SetRequestId(id);
    manager_->SetObjCount(2);
    manager_->SetObjId(0, "1.3.6.1.2.1.33.1.2.3.0");
    manager_->SetObjId(1, "1.3.6.1.2.1.99.1.1.1.4.1");
  }
  // Configures and sends a request to the peer, which takes it in.
  void Poll(const std::string& host, int32_t version, int32_t id) {
    Configure(host, peer_.port(), version, id);
    manager_->SendGetRequest();
    ASSERT_NE(peer_.Receive(), "<nothing>");
  }

  platform::EventPump pump_;
  std::unique_ptr<Manager> manager_ = NewUdpManager(pump_);
  Recorder recorder_{*manager_};
  Peer peer_;
};

TEST(UdpManagerStart, BindsToAnyOrTheGivenAddress) {
  platform::EventPump pump;
  auto manager = NewUdpManager(pump);
  EXPECT_EQ(manager->LocalPort(), 0);
  manager->SetLocalAddress("");
  manager->SetActive(true);
  EXPECT_EQ(manager->LocalAddress(), "0.0.0.0");
  EXPECT_GT(manager->LocalPort(), 0);

  auto bound = NewUdpManager(pump);
  bound->SetLocalAddress("127.0.0.1");
  bound->SetActive(true);
  EXPECT_EQ(bound->LocalAddress(), "127.0.0.1");
  EXPECT_GT(bound->LocalPort(), 0);
  EXPECT_NE(bound->LocalPort(), manager->LocalPort());

  auto wrong = NewUdpManager(pump);
  wrong->SetLocalAddress("192.0.2.1");  // not an address of this machine
  EXPECT_THROW(wrong->SetActive(true), platform::Failure);
}

TEST_F(UdpManagerTest, SendsTheRequestAndRaisesResponseWithTheBindings) {
  Configure("127.0.0.1", peer_.port(), 2, 1000001);
  manager_->SendGetRequest();
  int from_port = 0;
  EXPECT_EQ(peer_.Receive(&from_port),
            EncodeGetRequest(1, "public", 1000001,
                             {"1.3.6.1.2.1.33.1.2.3.0", "1.3.6.1.2.1.99.1.1.1.4.1"}));
  EXPECT_EQ(from_port, manager_->LocalPort());
  EXPECT_EQ(manager_->ObjCount(), 2);  // the request's, outside an answer
  EXPECT_THROW(manager_->ObjValue(0), platform::Failure);

  peer_.SendTo(from_port, Answer(1000001, -5));
  EXPECT_TRUE(recorder_.events.empty());  // only delivery raises events
  pump_.DeliverPending();
  ASSERT_EQ(recorder_.events.size(), 1u);
  const Seen& seen = recorder_.events[0];
  EXPECT_EQ(seen.kind, "response");
  EXPECT_EQ(seen.request_id, 1000001);
  EXPECT_EQ(seen.description, "noError");
  EXPECT_THAT(seen.bindings, ::testing::ElementsAre("1.3.6.1.2.1.33.1.2.3.0 2 -5"));
  EXPECT_EQ(manager_->ObjCount(), 2);  // back to the request
}

TEST_F(UdpManagerTest, KeepsWorkingAfterReset) {
  Configure("127.0.0.1", peer_.port(), 1, 1000001);
  manager_->SendGetRequest();
  peer_.Receive();
  manager_->Reset();
  EXPECT_EQ(manager_->ObjCount(), 0);
  EXPECT_THROW(manager_->SendGetRequest(), platform::Failure);  // no host after a reset
  Configure("localhost", peer_.port(), 1, 1000002);
  manager_->SendGetRequest();
  EXPECT_EQ(peer_.Receive(),
            EncodeGetRequest(0, "public", 1000002,
                             {"1.3.6.1.2.1.33.1.2.3.0", "1.3.6.1.2.1.99.1.1.1.4.1"}));

  peer_.SendTo(manager_->LocalPort(), Answer(1000002, 7, 0, 2));
  pump_.DeliverPending();
  ASSERT_EQ(recorder_.events.size(), 1u);
  EXPECT_EQ(recorder_.events[0].status, 2);
  EXPECT_EQ(recorder_.events[0].index, 1);
  EXPECT_EQ(recorder_.events[0].description, "noSuchName");
}

// A well-formed answer with the right identifier counts only when it comes
// from the address and port the request went to: from another loopback
// address on the node's port, from the node's address on another port, or
// before any request, it is a rejected packet and is not even decoded.
TEST_F(UdpManagerTest, OnlyThePolledEndpointAnswers) {
  const int port = manager_->LocalPort();
  Peer same_port_elsewhere(AF_INET, INADDR_LOOPBACK + 1, peer_.port());  // 127.0.0.2
  Peer other_port;
  ASSERT_TRUE(same_port_elsewhere.ok() && other_port.ok());
  const std::string polled = "127.0.0.1:" + std::to_string(peer_.port());
  peer_.SendTo(port, Answer(1000001, 1));  // no request is out yet
  pump_.DeliverPending();
  // The IPv4-mapped form of the node's address is the node's address.
  for (const std::string host : {"127.0.0.1", "::ffff:127.0.0.1"}) {
    Poll(host, 2, 1000001);
    same_port_elsewhere.SendTo(port, Answer(1000001, 2));
    other_port.SendTo(port, Answer(1000001, 3));
    peer_.SendTo(port, Answer(1000001, 4));
    pump_.DeliverPending();
  }
  std::vector<std::string> seen;
  for (const Seen& e : recorder_.events) {
    seen.push_back(e.kind + " " + std::to_string(e.status) + " " + e.description +
                   (e.bindings.empty() ? "" : " " + e.bindings[0]));
  }
  const std::string foreign = "bad " + std::to_string(kErrForeignSource) + " datagram from ";
  const std::vector<std::string> expected{
      foreign + polled + " while no request is out",
      foreign + "127.0.0.2:" + std::to_string(peer_.port()) + ", not from the polled " + polled,
      foreign + "127.0.0.1:" + std::to_string(other_port.port()) + ", not from the polled " +
          polled,
      "response 0 noError 1.3.6.1.2.1.33.1.2.3.0 2 4",
  };
  ASSERT_EQ(seen.size(), 2 * expected.size() - 1);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(seen[i], expected[i]);
  for (size_t i = 1; i < expected.size(); ++i) EXPECT_EQ(seen[i + 3], expected[i]);
}

// A host name is looked up once per run: both attempts of the request and
// every trap (its agent address) use what the first lookup found.
TEST_F(UdpManagerTest, ANameIsLookedUpOnceForTheRequestAndEveryTrap) {
  testing::FakeEnv env;
  env.hosts["ups.example"] = {"127.0.0.1"};
  platform::Resolver resolver(env);
  auto manager = NewUdpManager(pump_, resolver);
  manager->SetActive(true);
  auto agent = trap::NewUdpAgent(resolver);
  for (int attempt = 0; attempt < 2; ++attempt) {
    manager->Reset();
    manager->SetRemoteHost("ups.example");
    manager->SetRemotePort(peer_.port());
    manager->SetObjCount(1);
    manager->SetObjId(0, "1.3.6.1.2.1.33.1.2.3.0");
    manager->SendGetRequest();
    EXPECT_NE(peer_.Receive(), "<nothing>");
  }
  for (int trap = 0; trap < 3; ++trap) {
    agent->Reset();
    agent->SetVersion(1);
    agent->Config("TrapEnterprise=1.3.6.1.4.1.32473.1.22.2");
    agent->Config("TrapAgentAddress=ups.example");
    agent->Config("TrapPort=" + std::to_string(peer_.port()));
    agent->SendTrap("127.0.0.1", "6.1");
    EXPECT_NE(peer_.Receive(), "<nothing>");
  }
  EXPECT_THAT(env.lookups, ::testing::ElementsAre("ups.example", "127.0.0.1"));
}

// Host and port are taken as given and judged when the request is sent; a
// refused destination sends nothing. The ports are chosen so that a port
// cut to 16 bits, or a host cut at its NUL, would reach the peer.
TEST_F(UdpManagerTest, JudgesTheDestinationWhenSendingNeverWhenSet) {
  const int wrapped = peer_.port() + 65536;
  const struct {
    std::string host;
    int32_t port;
    std::string description;
  } refused[] = {
      {"", peer_.port(), "no remote address: the node record gives none"},
      {"", 0, "no remote address: the node record gives none"},
      {"127.0.0.1", 0, "remote port 0 outside 1..65535"},
      {"127.0.0.1", wrapped, "remote port " + std::to_string(wrapped) + " outside 1..65535"},
      {"127.0.0.1", -1, "remote port -1 outside 1..65535"},
      {std::string("127.0.0.1\0evil.example", 22), peer_.port(),
       "the remote address holds control character 0 at position 10"},
      {"127.0.0.1\r\n", peer_.port(),
       "the remote address holds control character 13 at position 10"},
      {"127.0.0.1\x7f", peer_.port(),
       "the remote address holds control character 127 at position 10"},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.description);
    EXPECT_NO_THROW(Configure(c.host, c.port, 1, 1));
    EXPECT_THAT([&] { manager_->SendGetRequest(); },
                ::testing::ThrowsMessage<platform::Failure>(::testing::StrEq(c.description)));
    EXPECT_EQ(peer_.Receive(), "<nothing>");
  }
  Configure("no-such-host.invalid", peer_.port(), 1, 1);
  EXPECT_THAT([&] { manager_->SendGetRequest(); },
              ::testing::ThrowsMessage<platform::Failure>(
                  HasSubstr("cannot resolve the remote host 'no-such-host.invalid'")));

  // The same manager still sends once the destination is sound.
  Configure("127.0.0.1", peer_.port(), 1, 1);
  manager_->SendGetRequest();
  EXPECT_NE(peer_.Receive(), "<nothing>");

  // The top port is a port like any other; one past it is refused. The
  // peer on 65535 takes the first loopback address where that port is free
  // (127.0.0.1 unless another program holds it there).
  std::unique_ptr<Peer> top;
  std::string top_host;
  const uint32_t mine = 0x7f000000u | (static_cast<uint32_t>(getpid()) & 0xffffu) << 8;
  for (uint32_t host : {0x7f000001u, mine | 1u, mine | 2u}) {
    top = std::make_unique<Peer>(AF_INET, host, uint16_t{65535});
    if (top->ok()) {
      top_host = std::to_string(host >> 24) + "." + std::to_string((host >> 16) & 0xff) + "." +
                 std::to_string((host >> 8) & 0xff) + "." + std::to_string(host & 0xff);
      break;
    }
  }
  ASSERT_TRUE(top->ok()) << "port 65535 is taken on every loopback address tried";
  ASSERT_EQ(top->port(), 65535);
  Configure(top_host, 65535, 1, 7);
  EXPECT_NO_THROW(manager_->SendGetRequest());
  EXPECT_EQ(
      top->Receive(),
      EncodeGetRequest(0, "public", 7, {"1.3.6.1.2.1.33.1.2.3.0", "1.3.6.1.2.1.99.1.1.1.4.1"}));
  Configure(top_host, 65536, 1, 8);
  EXPECT_THAT([&] { manager_->SendGetRequest(); },
              ::testing::ThrowsMessage<platform::Failure>(
                  ::testing::StrEq("remote port 65536 outside 1..65535")));
  EXPECT_EQ(top->Receive(), "<nothing>");

  EXPECT_THROW(manager_->SetVersion(3), platform::Failure);
  EXPECT_THROW(manager_->SetObjId(2, "1.3.6.1"), platform::Failure);
  EXPECT_THROW(manager_->SetObjId(0, "1.3.six"), platform::Failure);
  EXPECT_THROW(manager_->SetObjCount(-1), platform::Failure);
}

TEST_F(UdpManagerTest, RaisesBadPacketForEverythingElseInArrivalOrder) {
  Poll("127.0.0.1", 2, 1000001);
  const int port = manager_->LocalPort();
  peer_.SendTo(port, "garbage");
  peer_.SendTo(port, EncodeGetRequest(1, "public", 5, {"1.3.6.1.2.1.1.3.0"}));
  peer_.SendTo(port, Answer(1000001, 1, /*version_field=*/0));  // v1 while v2c is set
  peer_.SendTo(port, "");
  peer_.SendTo(port, Answer(1000001, 9));
  pump_.DeliverPending();
  ASSERT_EQ(recorder_.events.size(), 5u);
  EXPECT_EQ(recorder_.events[0].kind, "bad");
  EXPECT_EQ(recorder_.events[0].status, ber::kErrMalformed);
  EXPECT_THAT(recorder_.events[0].description, HasSubstr("message"));
  EXPECT_EQ(recorder_.events[1].status, ber::kErrPduType);
  EXPECT_THAT(recorder_.events[1].description, HasSubstr("GetRequest"));
  EXPECT_EQ(recorder_.events[2].status, ber::kErrVersion);
  EXPECT_THAT(recorder_.events[2].description, HasSubstr("SNMPv1 message while version 2"));
  EXPECT_EQ(recorder_.events[3].kind, "bad");
  EXPECT_EQ(recorder_.events[4].kind, "response");
}

// However fast datagrams arrive, one delivery takes in only a bounded
// number of them and returns, so the caller gets back to its clock; the
// rest come, in order, with the next deliveries.
TEST_F(UdpManagerTest, OneDeliveryTakesABoundedShareOfAFlood) {
  Poll("127.0.0.1", 2, 1);
  const int port = manager_->LocalPort();
  constexpr int kSent = 100;
  for (int i = 1; i <= kSent; ++i) peer_.SendTo(port, i % 2 ? Answer(i, i) : "junk");
  std::vector<size_t> per_delivery;
  while (recorder_.events.size() < kSent && per_delivery.size() < kSent) {
    const size_t before = recorder_.events.size();
    pump_.DeliverPending();
    per_delivery.push_back(recorder_.events.size() - before);
  }
  ASSERT_EQ(recorder_.events.size(), static_cast<size_t>(kSent));
  EXPECT_GT(per_delivery.size(), 1u);
  for (size_t n : per_delivery) EXPECT_LE(n, 32u);
  for (int i = 1; i <= kSent; i += 2) {
    EXPECT_EQ(recorder_.events[static_cast<size_t>(i - 1)].request_id, i);
  }
}

TEST_F(UdpManagerTest, NestedDeliveryKeepsEachAnswersBindings) {
  const int port = manager_->LocalPort();
  Poll("127.0.0.1", 2, 1);
  peer_.SendTo(port, Answer(1, 100));
  peer_.SendTo(port, Answer(2, 200));
  recorder_.on_response = [&](int32_t id) {
    if (id == 1) pump_.DeliverPending();  // a handler that waits
  };
  pump_.DeliverPending();
  ASSERT_EQ(recorder_.events.size(), 2u);
  EXPECT_THAT(recorder_.events[0].bindings, ::testing::ElementsAre(HasSubstr(" 2 100")));
  EXPECT_THAT(recorder_.events[1].bindings, ::testing::ElementsAre(HasSubstr(" 2 200")));
  ASSERT_EQ(recorder_.after_handler.size(), 2u);
  EXPECT_THAT(recorder_.after_handler[0], ::testing::ElementsAre(HasSubstr(" 2 200")));
  EXPECT_THAT(recorder_.after_handler[1], ::testing::ElementsAre(HasSubstr(" 2 100")));
}

TEST_F(UdpManagerTest, HandlerExceptionsPassThroughAndLaterDatagramsWait) {
  const int port = manager_->LocalPort();
  Poll("127.0.0.1", 2, 1);
  peer_.SendTo(port, Answer(1, 1));
  peer_.SendTo(port, Answer(2, 2));
  recorder_.on_response = [](int32_t id) {
    if (id == 1) platform::EndProgram(1);
  };
  EXPECT_THROW(pump_.DeliverPending(), platform::ProgramEnd);
  ASSERT_EQ(recorder_.events.size(), 1u);
  EXPECT_EQ(manager_->ObjCount(), 2);  // the request's again
  pump_.DeliverPending();
  ASSERT_EQ(recorder_.events.size(), 2u);
  EXPECT_EQ(recorder_.events[1].request_id, 2);
}

TEST_F(UdpManagerTest, PollsIpv6Nodes) {
  Peer peer6(AF_INET6);
  if (!peer6.ok()) GTEST_SKIP() << "no IPv6 loopback here";
  Configure("::1", peer6.port(), 2, 42);
  manager_->SendGetRequest();
  int from_port = 0;
  EXPECT_EQ(
      peer6.Receive(&from_port),
      EncodeGetRequest(1, "public", 42, {"1.3.6.1.2.1.33.1.2.3.0", "1.3.6.1.2.1.99.1.1.1.4.1"}));
  // The retry leaves from the same socket, so an answer to the first
  // request that comes late is still received.
  manager_->SendGetRequest();
  int retry_port = 0;
  peer6.Receive(&retry_port);
  EXPECT_EQ(retry_port, from_port);
  peer6.SendTo(from_port, Answer(42, 3));
  pump_.DeliverPending();
  ASSERT_EQ(recorder_.events.size(), 1u);
  EXPECT_EQ(recorder_.events[0].request_id, 42);
}

}  // namespace
}  // namespace upstest::snmp
