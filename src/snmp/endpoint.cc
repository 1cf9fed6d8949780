#include "snmp/endpoint.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/error.h"

namespace upstest::snmp {

void CheckDestination(const std::string& host, int32_t port) {
  if (host.empty()) throw platform::Failure("no remote address: the node record gives none");
  for (size_t i = 0; i < host.size(); ++i) {
    const auto c = static_cast<unsigned char>(host[i]);
    if (c < 0x20 || c == 0x7f) {
      throw platform::Failure("the remote address holds control character " + std::to_string(c) +
                              " at position " + std::to_string(i + 1));
    }
  }
  if (port < 1 || port > 65535) {
    throw platform::Failure("remote port " + std::to_string(port) + " outside 1..65535");
  }
}

const std::vector<platform::SocketAddress>& ResolveHost(platform::Resolver& resolver,
                                                        const std::string& host) {
  const platform::HostLookup& lookup = resolver.Resolve(host);
  if (lookup.addresses.empty()) {
    throw platform::Failure("cannot resolve the remote host '" + host + "': " + lookup.error);
  }
  return lookup.addresses;
}

platform::SocketAddress Endpoint(const platform::SocketAddress& address, int port) {
  platform::SocketAddress endpoint = address;
  if (address.storage.ss_family == AF_INET6) {
    const auto& v6 = reinterpret_cast<const sockaddr_in6&>(address.storage);
    if (IN6_IS_ADDR_V4MAPPED(&v6.sin6_addr)) {
      endpoint = {};
      auto& v4 = reinterpret_cast<sockaddr_in&>(endpoint.storage);
      v4.sin_family = AF_INET;
      std::memcpy(&v4.sin_addr, &v6.sin6_addr.s6_addr[12], 4);
      endpoint.length = sizeof v4;
    }
  }
  if (endpoint.storage.ss_family == AF_INET) {
    reinterpret_cast<sockaddr_in&>(endpoint.storage).sin_port = htons(static_cast<uint16_t>(port));
  } else if (endpoint.storage.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6&>(endpoint.storage).sin6_port =
        htons(static_cast<uint16_t>(port));
  }
  return endpoint;
}

bool SameEndpoint(const platform::SocketAddress& a, const platform::SocketAddress& b) {
  if (a.storage.ss_family != b.storage.ss_family || PortOf(a.storage) != PortOf(b.storage)) {
    return false;
  }
  if (a.storage.ss_family == AF_INET) {
    return reinterpret_cast<const sockaddr_in&>(a.storage).sin_addr.s_addr ==
           reinterpret_cast<const sockaddr_in&>(b.storage).sin_addr.s_addr;
  }
  if (a.storage.ss_family == AF_INET6) {
    const auto& x = reinterpret_cast<const sockaddr_in6&>(a.storage);
    const auto& y = reinterpret_cast<const sockaddr_in6&>(b.storage);
    return IN6_ARE_ADDR_EQUAL(&x.sin6_addr, &y.sin6_addr) &&
           (x.sin6_scope_id == 0 || y.sin6_scope_id == 0 || x.sin6_scope_id == y.sin6_scope_id);
  }
  return false;
}

std::string AddressText(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (address.ss_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
  } else if (address.ss_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
  }
  return text;
}

int PortOf(const sockaddr_storage& address) {
  if (address.ss_family == AF_INET) {
    return ntohs(reinterpret_cast<const sockaddr_in*>(&address)->sin_port);
  }
  if (address.ss_family == AF_INET6) {
    return ntohs(reinterpret_cast<const sockaddr_in6*>(&address)->sin6_port);
  }
  return 0;
}

std::string EndpointText(const sockaddr_storage& address) {
  const std::string text = AddressText(address);
  const std::string port = std::to_string(PortOf(address));
  return address.ss_family == AF_INET6 ? "[" + text + "]:" + port : text + ":" + port;
}

}  // namespace upstest::snmp
