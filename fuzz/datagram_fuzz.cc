// libFuzzer target: the response decoder, and the manager's handling of a
// received datagram through its real socket (decode, events, binding reads).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/event_pump.h"
#include "snmp/ber.h"
#include "snmp/message.h"
#include "snmp/udp_manager.h"

namespace {

using namespace upstest;

// Reads everything an answer offers, as the response handler does.
class Reader : public snmp::ManagerEvents {
 public:
  explicit Reader(snmp::Manager& manager) : manager_(manager) {}
  void Response(int32_t, int16_t, int16_t, const std::string& description) override {
    size_t total = description.size();
    const int16_t count = manager_.ObjCount();
    for (int32_t i = 0; i < count; ++i) {
      total += manager_.ObjId(i).size() + manager_.ObjValue(i).size();
      if (manager_.ObjValueType(i) < 0) std::abort();
    }
    try {
      manager_.ObjValue(count);  // one past the end must fail cleanly
      std::abort();
    } catch (const platform::Failure&) {
    }
    ++responses;
    octets_seen += total;
  }
  void BadPacket(int16_t code, const std::string& description) override {
    if (code <= 0 || description.empty()) std::abort();
    ++bad;
  }
  int responses = 0;
  size_t octets_seen = 0;
  int bad = 0;

 private:
  snmp::Manager& manager_;
};

struct Harness {
  Harness() : manager(snmp::NewUdpManager(pump)), reader(*manager) {
    manager->SetEvents(&reader);
    manager->SetLocalAddress("127.0.0.1");
    manager->SetActive(true);
    sender = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in own{};
    own.sin_family = AF_INET;
    own.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof own;
    if (bind(sender, reinterpret_cast<const sockaddr*>(&own), sizeof own) != 0 ||
        getsockname(sender, reinterpret_cast<sockaddr*>(&own), &length) != 0) {
      std::abort();
    }
    // Only the polled endpoint's datagrams are decoded: poll the sender once
    // (the destination outlives every later Reset).
    manager->SetRemoteHost("127.0.0.1");
    manager->SetRemotePort(ntohs(own.sin_port));
    manager->SetObjCount(1);
    manager->SetObjId(0, "1.3.6.1.2.1.33.1.2.3.0");
    manager->SendGetRequest();
    char request[512];
    if (recv(sender, request, sizeof request, 0) <= 0) std::abort();
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(manager->LocalPort()));
  }
  platform::EventPump pump;
  std::unique_ptr<snmp::Manager> manager;
  Reader reader;
  int sender = -1;
  sockaddr_in to{};
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view datagram(reinterpret_cast<const char*>(data), size);
  try {
    const snmp::ResponseMessage message = snmp::DecodeResponse(datagram);
    if (message.version_field != 0 && message.version_field != 1) std::abort();
  } catch (const snmp::ber::DecodeError& e) {
    if (e.code() <= 0) std::abort();
  }

  static Harness* harness = new Harness;
  if (size > 65507) return 0;
  // Both versions: a message of the other one is a rejected packet.
  harness->manager->Reset();
  harness->manager->SetVersion(size % 2 == 0 ? 1 : 2);
  const int before = harness->reader.responses + harness->reader.bad;
  if (sendto(harness->sender, data, size, 0, reinterpret_cast<const sockaddr*>(&harness->to),
             sizeof harness->to) != static_cast<ssize_t>(size)) {
    return 0;
  }
  harness->pump.DeliverPending();
  // Every datagram raises exactly one event.
  if (harness->reader.responses + harness->reader.bad != before + 1) std::abort();
  return 0;
}
