// Delivery of pending component events on the program's one thread.
//
// Components (the SNMP manager's sockets, the test doubles' scripted
// events) register as sources. A wait (run/wait.h) sleeps until a source
// has an event or the wait's time is up, in one blocking call, and then has
// the pump deliver. Nothing else delivers events.
#pragma once

#include <cstdint>
#include <limits>
#include <vector>

#include "platform/env.h"

namespace upstest::platform {

// What a sleeping wait must watch to wake when a source has an event.
struct Wakeups {
  static constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
  static constexpr int64_t kPendingNow = std::numeric_limits<int64_t>::min();
  // Descriptors that turn readable when an event arrives.
  std::vector<int> fds;
  // The monotonic time at which an event falls due (sources scripted in
  // virtual time); at or before now: one is pending already.
  int64_t due_ms = kNever;
};

class EventSource {
 public:
  virtual ~EventSource() = default;
  // Runs the handler of every event pending at this moment, each to
  // completion, and returns. Must not block. A handler may itself wait and
  // so re-enter DeliverPending(); a source must stay consistent then (take
  // an event off its queue before running its handler). Exceptions from a
  // handler (ProgramEnd among them) pass through unchanged.
  virtual void DeliverPending() = 0;
  // Adds what wakes a wait when this source has an event: its descriptors,
  // or lowers `due_ms` to when its next event falls due.
  virtual void AddWakeups(Wakeups& wakeups) const = 0;
};

class EventPump {
 public:
  // REQUIRES: `source` stays alive until it is unregistered.
  void Register(EventSource* source);
  void Unregister(EventSource* source);
  // Delivers the pending events of every registered source, in order of
  // registration. Safe to re-enter from a handler.
  void DeliverPending();
  // Sleeps, in one blocking call of `env`, until a source has an event or
  // the monotonic clock reaches `until_ms`. True when a source has one (or
  // a descriptor of it is readable); delivers nothing.
  bool SleepUntilPending(Env& env, int64_t until_ms);

 private:
  std::vector<EventSource*> sources_;
};

}  // namespace upstest::platform
