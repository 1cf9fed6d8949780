#include "platform/resolver.h"

namespace upstest::platform {

const HostLookup& Resolver::Resolve(const std::string& host) {
  const auto known = found_.find(host);
  if (known != found_.end()) return known->second;
  return found_.emplace(host, env_.LookUpHost(host)).first->second;
}

Resolver& DefaultResolver() {
  static Resolver resolver(DefaultEnv());
  return resolver;
}

}  // namespace upstest::platform
