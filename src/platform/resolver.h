// Host names looked up once per run.
//
// The request and every trap of a run use what the first lookup of a name
// found: a slow name server then costs a run one lookup, not one per
// datagram, and the request and its traps cannot see two different
// answers for one name.
#pragma once

#include <map>
#include <string>

#include "platform/env.h"

namespace upstest::platform {

class Resolver {
 public:
  // REQUIRES: `env` outlives the resolver.
  explicit Resolver(Env& env) : env_(env) {}
  Resolver(const Resolver&) = delete;
  Resolver& operator=(const Resolver&) = delete;

  // What env.LookUpHost(host) gave the first time `host` was asked for, a
  // failure included. The reference stays valid as long as the resolver.
  const HostLookup& Resolve(const std::string& host);

 private:
  Env& env_;
  std::map<std::string, HostLookup> found_;
};

// The resolver of this process, over DefaultEnv(): one run, one cache.
Resolver& DefaultResolver();

}  // namespace upstest::platform
