// The SNMP manager over UDP sockets.
//
// Activation opens an IPv4 socket bound to port 0 and registers the manager
// with the event pump; when the local address is empty, an IPv6-only socket
// (also bound to port 0) is added the first time a request goes to an IPv6
// address, so that IPv4 runs, the common case, never pay for it.
//
// Only the polled UPS can answer: a datagram raises Response only when it
// comes from the very address and port the current request went to, and
// decodes as a response PDU of the version set. Anything else, a datagram
// from any other address or port above all, raises BadPacket. Which of the
// polled endpoint's answers counts is decided by the handler from the
// request identifier.
#include "snmp/udp_manager.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/resolver.h"
#include "platform/scoped_fd.h"
#include "snmp/ber.h"
#include "snmp/endpoint.h"
#include "snmp/message.h"

namespace upstest::snmp {

namespace {

// Larger than any UDP payload, so that a cut-off datagram is detected.
constexpr size_t kReceiveBuffer = 65536;
// One delivery takes in at most this many datagrams, so that a flood cannot
// keep the run from looking at its clock: the rest wait for the next one.
constexpr int kMaxDatagramsPerDelivery = 32;

std::string ErrnoText(int error) { return std::strerror(error); }

class UdpManager final : public Manager, public platform::EventSource {
 public:
  UdpManager(platform::EventPump& pump, platform::Resolver& resolver)
      : pump_(pump), resolver_(resolver) {}
  ~UdpManager() override { Close(); }

  void SetEvents(ManagerEvents* events) override { events_ = events; }
  void SetWaitingTime(int16_t ms) override {
    if (ms < 0) throw platform::Failure("negative waiting time " + std::to_string(ms));
    waiting_time_ = ms;
  }
  void SetLocalAddress(const std::string& address) override { local_address_ = address; }
  std::string LocalAddress() override { return active_ ? bound_address_ : local_address_; }
  int32_t LocalPort() override { return active_ ? bound_port_ : 0; }
  void SetActive(bool active) override;

  void Reset() override {
    waiting_time_ = 0;
    remote_host_.clear();
    remote_port_ = 161;
    version_ = 1;
    community_.clear();
    request_id_ = 0;
    oids_.clear();
  }
  // Host and port are kept as given and judged when the request is sent.
  void SetRemoteHost(const std::string& host) override { remote_host_ = host; }
  void SetRemotePort(int32_t port) override { remote_port_ = port; }
  void SetVersion(int32_t version) override {
    if (version != 1 && version != 2) {
      throw platform::Failure("unsupported SNMP version " + std::to_string(version));
    }
    version_ = version;
  }
  void SetCommunity(const std::string& community) override { community_ = community; }
  void SetRequestId(int32_t request_id) override { request_id_ = request_id; }

  void SetObjCount(int16_t count) override {
    if (count < 0) throw platform::Failure("negative object count " + std::to_string(count));
    oids_.resize(static_cast<size_t>(count));
  }
  int16_t ObjCount() override {
    return static_cast<int16_t>(current_ != nullptr ? current_->size() : oids_.size());
  }
  void SetObjId(int32_t i, const std::string& oid) override {
    CheckIndex(i, oids_.size());
    ber::ParseOid(oid);  // fails now rather than at sending
    oids_[static_cast<size_t>(i)] = oid;
  }
  std::string ObjId(int32_t i) override {
    if (current_ != nullptr) return Received(i).oid;
    CheckIndex(i, oids_.size());
    return oids_[static_cast<size_t>(i)];
  }
  int32_t ObjValueType(int32_t i) override { return Received(i).type; }
  std::string ObjValue(int32_t i) override { return Received(i).value; }

  void SendGetRequest() override;
  void DeliverPending() override;
  void AddWakeups(platform::Wakeups& wakeups) const override {
    for (int fd : {fd4_.get(), fd6_.get()}) {
      if (fd >= 0) wakeups.fds.push_back(fd);
    }
  }

 private:
  static void CheckIndex(int32_t i, size_t count) {
    if (i < 0 || static_cast<size_t>(i) >= count) {
      throw platform::Failure("object index " + std::to_string(i) + " outside 0.." +
                              std::to_string(static_cast<int64_t>(count) - 1));
    }
  }
  const ReceivedBinding& Received(int32_t i) const {
    if (current_ == nullptr) throw platform::Failure("no answer is being handled");
    CheckIndex(i, current_->size());
    return (*current_)[static_cast<size_t>(i)];
  }
  // A UDP socket of `family` bound to `address`; none, with the reason in
  // `error` (an errno value), when it cannot be opened or bound.
  static platform::ScopedFd OpenSocket(int family, const sockaddr* address, socklen_t length,
                                       int& error);
  static platform::ScopedFd OpenAnyIpv4(int& error);
  static platform::ScopedFd OpenAnyIpv6(int& error);
  // The socket bound to the local address set, in `fd4` or `fd6` by its
  // family. Throws Failure when it cannot be resolved or bound.
  void OpenLocal(platform::ScopedFd& fd4, platform::ScopedFd& fd6) const;
  void Close();
  void HandleDatagram(std::string_view datagram, bool cut_off);
  // Why a datagram from `source` is no answer; empty when it comes from the
  // endpoint the current request went to.
  std::string ForeignSource(const platform::SocketAddress& source) const;

  platform::EventPump& pump_;
  platform::Resolver& resolver_;
  ManagerEvents* events_ = nullptr;
  int16_t waiting_time_ = 0;
  std::string local_address_;
  bool active_ = false;
  platform::ScopedFd fd4_;
  platform::ScopedFd fd6_;
  std::string bound_address_;
  int32_t bound_port_ = 0;

  std::string remote_host_;
  int32_t remote_port_ = 161;
  int32_t version_ = 1;
  std::string community_;
  int32_t request_id_ = 0;
  std::vector<std::string> oids_;
  // Where the current request went; nothing before the first one.
  std::optional<platform::SocketAddress> polled_;

  // The bindings of the answer whose Response handler runs; nested answers
  // (a handler that waits) replace it for their own duration.
  const std::vector<ReceivedBinding>* current_ = nullptr;
};

platform::ScopedFd UdpManager::OpenSocket(int family, const sockaddr* address, socklen_t length,
                                          int& error) {
  platform::ScopedFd fd(socket(family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    error = errno;
    return {};
  }
  if (family == AF_INET6) {
    const int on = 1;
    setsockopt(fd.get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
  }
  if (bind(fd.get(), address, length) != 0) {
    error = errno;
    return {};
  }
  return fd;
}

platform::ScopedFd UdpManager::OpenAnyIpv4(int& error) {
  sockaddr_in any4{};
  any4.sin_family = AF_INET;
  any4.sin_addr.s_addr = htonl(INADDR_ANY);
  return OpenSocket(AF_INET, reinterpret_cast<const sockaddr*>(&any4), sizeof any4, error);
}

platform::ScopedFd UdpManager::OpenAnyIpv6(int& error) {
  sockaddr_in6 any6{};
  any6.sin6_family = AF_INET6;
  any6.sin6_addr = in6addr_any;
  return OpenSocket(AF_INET6, reinterpret_cast<const sockaddr*>(&any6), sizeof any6, error);
}

void UdpManager::OpenLocal(platform::ScopedFd& fd4, platform::ScopedFd& fd6) const {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_PASSIVE;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(local_address_.c_str(), "0", &hints, &found);
  if (rc != 0 || found == nullptr) {
    throw platform::Failure("cannot resolve the local address '" + local_address_ +
                            "': " + gai_strerror(rc));
  }
  int error = 0;
  platform::ScopedFd fd = OpenSocket(found->ai_family, found->ai_addr, found->ai_addrlen, error);
  const int family = found->ai_family;
  freeaddrinfo(found);
  if (!fd.valid()) {
    throw platform::Failure("cannot bind the UDP socket to '" + local_address_ +
                            "': " + ErrnoText(error));
  }
  (family == AF_INET6 ? fd6 : fd4) = std::move(fd);
}

void UdpManager::SetActive(bool active) {
  if (active == active_) return;
  if (!active) {
    Close();
    return;
  }
  // Both closed on any way out before they are the manager's own.
  platform::ScopedFd fd4;
  platform::ScopedFd fd6;
  if (local_address_.empty()) {
    int error = 0;
    fd4 = OpenAnyIpv4(error);
    if (!fd4.valid()) throw platform::Failure("cannot open the UDP socket: " + ErrnoText(error));
  } else {
    OpenLocal(fd4, fd6);
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  const int main_fd = fd4.valid() ? fd4.get() : fd6.get();
  if (getsockname(main_fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) {
    throw platform::Failure("cannot read the local address: " + ErrnoText(errno));
  }
  fd4_ = std::move(fd4);
  fd6_ = std::move(fd6);
  bound_address_ = AddressText(bound);
  bound_port_ = PortOf(bound);
  active_ = true;
  pump_.Register(this);
}

void UdpManager::Close() {
  if (active_) pump_.Unregister(this);
  fd4_.Reset();
  fd6_.Reset();
  active_ = false;
  bound_address_.clear();
  bound_port_ = 0;
}

void UdpManager::SendGetRequest() {
  if (!active_) throw platform::Failure("the manager is not active");
  CheckDestination(remote_host_, remote_port_);
  const std::string message = EncodeGetRequest(version_ == 2 ? kVersionFieldV2c : kVersionFieldV1,
                                               community_, request_id_, oids_);
  int error = EAFNOSUPPORT;
  for (const platform::SocketAddress& found : ResolveHost(resolver_, remote_host_)) {
    const platform::SocketAddress to = Endpoint(found, remote_port_);
    const int family = to.storage.ss_family;
    if (family == AF_INET6 && !fd6_.valid() && local_address_.empty()) {
      // Without IPv6 on this machine only IPv4 addresses can be polled.
      fd6_ = OpenAnyIpv6(error);
      if (!fd6_.valid()) continue;
    }
    const int fd = family == AF_INET ? fd4_.get() : family == AF_INET6 ? fd6_.get() : -1;
    if (fd < 0) continue;
    const ssize_t n = sendto(fd, message.data(), message.size(), 0,
                             reinterpret_cast<const sockaddr*>(&to.storage), to.length);
    if (n == static_cast<ssize_t>(message.size())) {
      polled_ = to;
      return;
    }
    error = n < 0 ? errno : EMSGSIZE;
  }
  throw platform::Failure("cannot send the request to " + remote_host_ + ":" +
                          std::to_string(remote_port_) + ": " + ErrnoText(error));
}

void UdpManager::DeliverPending() {
  // Not zero-filled: only the received octets are read. One buffer per call,
  // so that a nested delivery inside a handler has its own.
  const std::unique_ptr<char[]> buffer(new char[kReceiveBuffer]);
  int budget = kMaxDatagramsPerDelivery;
  for (int fd : {fd4_.get(), fd6_.get()}) {
    while (fd >= 0 && (fd == fd4_.get() || fd == fd6_.get()) && budget-- > 0) {
      platform::SocketAddress source;
      source.length = sizeof source.storage;
      const ssize_t n = recvfrom(fd, buffer.get(), kReceiveBuffer, MSG_DONTWAIT | MSG_TRUNC,
                                 reinterpret_cast<sockaddr*>(&source.storage), &source.length);
      if (n < 0) {
        if (errno == EINTR) continue;
        break;  // EAGAIN: nothing more; anything else: try again at the next delivery
      }
      const std::string foreign = ForeignSource(source);
      if (!foreign.empty()) {
        // Not even decoded: only the polled endpoint can answer.
        if (events_ != nullptr) events_->BadPacket(kErrForeignSource, foreign);
        continue;
      }
      const size_t length = static_cast<size_t>(n);
      const bool cut_off = length > kReceiveBuffer;
      HandleDatagram(std::string_view(buffer.get(), cut_off ? kReceiveBuffer : length), cut_off);
    }
  }
}

std::string UdpManager::ForeignSource(const platform::SocketAddress& source) const {
  if (source.length > sizeof source.storage) return "datagram from an unreadable source address";
  const platform::SocketAddress from = Endpoint(source, PortOf(source.storage));
  if (!polled_) return "datagram from " + EndpointText(from.storage) + " while no request is out";
  if (SameEndpoint(from, *polled_)) return {};
  return "datagram from " + EndpointText(from.storage) + ", not from the polled " +
         EndpointText(polled_->storage);
}

void UdpManager::HandleDatagram(std::string_view datagram, bool cut_off) {
  if (events_ == nullptr) return;
  if (cut_off) {
    events_->BadPacket(ber::kErrTooLong,
                       "datagram longer than " + std::to_string(kReceiveBuffer) + " octets");
    return;
  }
  ResponseMessage message;
  try {
    message = DecodeResponse(datagram);
    const int32_t expected = version_ == 2 ? kVersionFieldV2c : kVersionFieldV1;
    if (message.version_field != expected) {
      throw ber::DecodeError(
          std::string(message.version_field == kVersionFieldV1 ? "SNMPv1" : "SNMPv2c") +
              " message while version " + std::to_string(version_) + " is set",
          ber::kErrVersion);
    }
  } catch (const ber::DecodeError& error) {
    events_->BadPacket(error.code(), error.what());
    return;
  }
  // The handler may wait and so deliver further answers; each one shows its
  // own bindings while it runs, and this one's again afterwards.
  struct Restore {
    const std::vector<ReceivedBinding>*& slot;
    const std::vector<ReceivedBinding>* saved;
    ~Restore() { slot = saved; }
  } restore{current_, current_};
  current_ = &message.bindings;
  events_->Response(message.request_id, message.error_status, message.error_index,
                    ErrorStatusText(message.error_status));
}

}  // namespace

std::vector<std::string> ResolveDestination(const std::string& host, int32_t port,
                                            platform::Resolver& resolver) {
  CheckDestination(host, port);
  std::vector<std::string> addresses;
  for (const platform::SocketAddress& found : ResolveHost(resolver, host)) {
    const std::string text = AddressText(Endpoint(found, port).storage);
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) {
      addresses.push_back(text);
    }
  }
  return addresses;
}

std::unique_ptr<Manager> NewUdpManager(platform::EventPump& pump, platform::Resolver& resolver) {
  return std::make_unique<UdpManager>(pump, resolver);
}

}  // namespace upstest::snmp
