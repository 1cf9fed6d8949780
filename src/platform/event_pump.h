// Delivery of pending component events on the program's one thread.
//
// Components (the SNMP manager's socket, the test doubles' scripted events)
// register as sources; Wait() calls DeliverPending() after each of its
// sleeps. Nothing else delivers events.
#pragma once

#include <vector>

namespace upstest::platform {

class EventSource {
 public:
  virtual ~EventSource() = default;
  // Runs the handler of every event pending at this moment, each to
  // completion, and returns. Must not block. A handler may itself wait and
  // so re-enter DeliverPending(); a source must stay consistent then (take
  // an event off its queue before running its handler). Exceptions from a
  // handler (ProgramEnd among them) pass through unchanged.
  virtual void DeliverPending() = 0;
};

class EventPump {
 public:
  // REQUIRES: `source` stays alive until it is unregistered.
  void Register(EventSource* source);
  void Unregister(EventSource* source);
  // Delivers the pending events of every registered source, in order of
  // registration. Safe to re-enter from a handler.
  void DeliverPending();

 private:
  std::vector<EventSource*> sources_;
};

}  // namespace upstest::platform
