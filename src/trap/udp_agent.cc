// The trap sender: one SNMPv1 Trap-PDU per SendTrap, in one UDP datagram
// from a fresh socket on an ephemeral port. Names (the agent address, the
// destination) are looked up through the run's resolver, so every trap of
// a run uses what the first lookup of a name found.
#include "trap/udp_agent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/convert.h"
#include "platform/error.h"
#include "platform/resolver.h"
#include "platform/scoped_fd.h"
#include "snmp/ber.h"
#include "snmp/endpoint.h"
#include "snmp/message.h"

namespace upstest::trap {

namespace {

// Only an optional sign and decimal digits: the text of a 32-bit integer.
int32_t StrictInt32(const std::string& text, const std::string& what) {
  size_t start = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  bool digits = text.size() > start;
  for (size_t i = start; i < text.size(); ++i) digits = digits && text[i] >= '0' && text[i] <= '9';
  if (!digits) throw platform::Failure(what + " '" + text + "' is not a decimal integer");
  return platform::ToInt32(text);
}

// The agent-addr: a dotted IPv4 text as it stands, the first IPv4 address
// of a host name (an IPv4-mapped IPv6 address counts as the IPv4 address
// it stands for, as it does for the GET), 0.0.0.0 for the empty text or a
// name without one.
std::array<uint8_t, 4> AgentAddress(platform::Resolver& resolver, const std::string& text) {
  std::array<uint8_t, 4> octets{};
  if (text.empty()) return octets;
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    std::memcpy(octets.data(), &v4, 4);
    return octets;
  }
  for (const platform::SocketAddress& found : resolver.Resolve(text).addresses) {
    const platform::SocketAddress address = snmp::Endpoint(found, 0);
    if (address.storage.ss_family != AF_INET) continue;
    std::memcpy(octets.data(), &reinterpret_cast<const sockaddr_in&>(address.storage).sin_addr, 4);
    break;
  }
  return octets;
}

// Hundredths of a second since the system started, modulo 2^32.
uint32_t Uptime() {
  // CLOCK_BOOTTIME is the clock behind /proc/uptime.
  timespec now{};
  if (clock_gettime(CLOCK_BOOTTIME, &now) != 0) return 0;
  const uint64_t centis =
      static_cast<uint64_t>(now.tv_sec) * 100 + static_cast<uint64_t>(now.tv_nsec) / 10000000;
  return static_cast<uint32_t>(centis);
}

struct PendingBinding {
  std::string oid;
  int32_t type = 0;  // 0: not set
  std::optional<std::string> value;
};

class UdpAgent final : public Agent {
 public:
  explicit UdpAgent(platform::Resolver& resolver) : resolver_(resolver) { Reset(); }

  void Reset() override {
    community_.clear();
    enterprise_.clear();
    agent_address_.clear();
    port_ = 162;
    bindings_.clear();
  }
  void SetVersion(int32_t version) override {
    if (version != 1) {
      throw platform::Failure("trap version " + std::to_string(version) + " is not supported");
    }
  }
  void Config(const std::string& setting) override {
    const size_t eq = setting.find('=');
    const std::string name = setting.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : setting.substr(eq + 1);
    if (eq == std::string::npos) {
      throw platform::Failure("unknown configuration '" + setting + "'");
    } else if (name == "TrapCommunity") {
      community_ = value;
    } else if (name == "TrapEnterprise") {
      snmp::ber::ParseOid(value);
      enterprise_ = value;
    } else if (name == "TrapAgentAddress") {
      agent_address_ = value;
    } else if (name == "TrapPort") {
      const int32_t port = StrictInt32(value, "trap port");
      if (port < 1 || port > 65535) {
        throw platform::Failure("trap port " + value + " outside 1..65535");
      }
      port_ = port;
    } else {
      throw platform::Failure("unknown configuration '" + setting + "'");
    }
  }
  void SetObjCount(int16_t count) override {
    if (count < 0) throw platform::Failure("negative object count " + std::to_string(count));
    bindings_.resize(static_cast<size_t>(count));
  }
  void SetObjId(int32_t i, const std::string& oid) override {
    snmp::ber::ParseOid(oid);
    At(i).oid = oid;
  }
  void SetObjType(int32_t i, int32_t type) override {
    if (type != snmp::ber::kInteger && type != snmp::ber::kOctetString) {
      throw platform::Failure("object type " + std::to_string(type) + " is not supported");
    }
    PendingBinding& binding = At(i);
    if (type == snmp::ber::kInteger && binding.value) {
      StrictInt32(*binding.value, "INTEGER value");
    }
    binding.type = type;
  }
  void SetObjValue(int32_t i, const std::string& value) override {
    PendingBinding& binding = At(i);
    if (binding.type == snmp::ber::kInteger) StrictInt32(value, "INTEGER value");
    binding.value = value;
  }
  void SendTrap(const std::string& host, const std::string& trap_id) override;

 private:
  // The trap as configured, for `trap_id`; fails on an identifier that is
  // not "generic.specific" in range, no enterprise, or a binding not fully
  // set, in that order.
  snmp::TrapMessage Message(const std::string& trap_id) const;
  PendingBinding& At(int32_t i) {
    if (i < 0 || static_cast<size_t>(i) >= bindings_.size()) {
      throw platform::Failure("object index " + std::to_string(i) + " outside 0.." +
                              std::to_string(static_cast<int64_t>(bindings_.size()) - 1));
    }
    return bindings_[static_cast<size_t>(i)];
  }

  platform::Resolver& resolver_;
  std::string community_;
  std::string enterprise_;
  std::string agent_address_;
  int32_t port_ = 162;
  std::vector<PendingBinding> bindings_;
};

// The generic and specific trap of `trap_id`, "generic.specific".
void ReadTrapId(const std::string& trap_id, snmp::TrapMessage& trap) {
  const size_t dot = trap_id.find('.');
  if (dot == std::string::npos) {
    throw platform::Failure("trap identifier '" + trap_id + "' is not generic.specific");
  }
  trap.generic_trap = StrictInt32(trap_id.substr(0, dot), "generic trap");
  trap.specific_trap = StrictInt32(trap_id.substr(dot + 1), "specific trap");
  if (trap.generic_trap < 0 || trap.generic_trap > 6 || trap.specific_trap < 0) {
    throw platform::Failure("trap identifier '" + trap_id + "' out of range");
  }
}

// Binding `i` as it goes on the wire; a binding without its OID, type or
// value fails the trap.
snmp::TrapBinding WireBinding(size_t i, const PendingBinding& pending) {
  if (pending.oid.empty() || pending.type == 0 || !pending.value) {
    throw platform::Failure("object " + std::to_string(i) + " is not fully set");
  }
  snmp::TrapBinding binding;
  binding.oid = pending.oid;
  binding.type = pending.type;
  if (pending.type == snmp::ber::kInteger) {
    binding.integer = StrictInt32(*pending.value, "INTEGER value");
  } else {
    binding.octets = *pending.value;
  }
  return binding;
}

// Sends `datagram` from a fresh socket to the first address `host` resolves
// to, at `port`.
void SendDatagram(platform::Resolver& resolver, const std::string& host, int32_t port,
                  const std::string& datagram) {
  const platform::HostLookup& lookup = resolver.Resolve(host);
  if (lookup.addresses.empty()) {
    throw platform::Failure("cannot resolve the trap destination '" + host + "': " + lookup.error);
  }
  const platform::SocketAddress to = snmp::Endpoint(lookup.addresses.front(), port);
  const platform::ScopedFd fd(socket(to.storage.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  int error = 0;
  if (!fd.valid()) {
    error = errno;
  } else {
    const ssize_t n = sendto(fd.get(), datagram.data(), datagram.size(), 0,
                             reinterpret_cast<const sockaddr*>(&to.storage), to.length);
    if (n != static_cast<ssize_t>(datagram.size())) error = n < 0 ? errno : EMSGSIZE;
  }
  if (error != 0) {
    throw platform::Failure("cannot send the trap to " + host + ":" + std::to_string(port) + ": " +
                            std::strerror(error));
  }
}

snmp::TrapMessage UdpAgent::Message(const std::string& trap_id) const {
  snmp::TrapMessage trap;
  ReadTrapId(trap_id, trap);
  if (enterprise_.empty()) throw platform::Failure("no enterprise configured");
  trap.community = community_;
  trap.enterprise = enterprise_;
  trap.agent_address = AgentAddress(resolver_, agent_address_);
  trap.time_stamp = Uptime();
  for (size_t i = 0; i < bindings_.size(); ++i) {
    trap.bindings.push_back(WireBinding(i, bindings_[i]));
  }
  return trap;
}

void UdpAgent::SendTrap(const std::string& host, const std::string& trap_id) {
  const std::string datagram = snmp::EncodeTrap(Message(trap_id));
  if (host.empty()) throw platform::Failure("no trap destination");
  SendDatagram(resolver_, host, port_, datagram);
}

}  // namespace

std::unique_ptr<Agent> NewUdpAgent(platform::Resolver& resolver) {
  return std::make_unique<UdpAgent>(resolver);
}

}  // namespace upstest::trap
