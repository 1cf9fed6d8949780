// The UDP endpoints of the manager: what a destination must be before a
// request goes to it, the addresses its name gives, and how a datagram's
// source is compared with where the request went and shown in a text.
//
// An endpoint is a platform::SocketAddress of family AF_INET or AF_INET6
// with its port set; an IPv4-mapped IPv6 address is always held as the IPv4
// address it stands for, so that one host has one form.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/resolver.h"

namespace upstest::snmp {

// Accepts a request's destination: a host name that is not empty and holds
// no control character (a NUL would cut the name short, a line break forge
// a log line), and a port in 1..65535. Throws platform::Failure naming the
// first fault ("no remote address: ...", "the remote address holds control
// character C at position P", "remote port N outside 1..65535").
void CheckDestination(const std::string& host, int32_t port);

// The addresses `host` resolves to, as `resolver`'s first lookup of it
// found them, in its order. Throws platform::Failure ("cannot resolve the
// remote host ...") when there is none. The reference stays valid as long
// as `resolver`.
const std::vector<platform::SocketAddress>& ResolveHost(platform::Resolver& resolver,
                                                        const std::string& host);

// `address` as an endpoint with `port`; any other family is returned as it
// is.
platform::SocketAddress Endpoint(const platform::SocketAddress& address, int port);

// Two endpoints have the same family, address and port; IPv6 addresses
// also the same interface when both name one (a scope id of 0 matches any).
bool SameEndpoint(const platform::SocketAddress& a, const platform::SocketAddress& b);

// The address as text ("192.0.2.1", "2001:db8::1"); empty for another
// family.
std::string AddressText(const sockaddr_storage& address);

// The port in host order; 0 for another family.
int PortOf(const sockaddr_storage& address);

// "address:port", an IPv6 address in brackets ("[2001:db8::1]:161").
std::string EndpointText(const sockaddr_storage& address);

}  // namespace upstest::snmp
