#include "platform/event_pump.h"

#include <algorithm>

namespace upstest::platform {

void EventPump::Register(EventSource* source) {
  if (std::find(sources_.begin(), sources_.end(), source) == sources_.end()) {
    sources_.push_back(source);
  }
}

void EventPump::Unregister(EventSource* source) {
  sources_.erase(std::remove(sources_.begin(), sources_.end(), source), sources_.end());
}

void EventPump::DeliverPending() {
  // A copy: a handler may register or unregister a source meanwhile.
  const std::vector<EventSource*> sources = sources_;
  for (EventSource* source : sources) {
    if (std::find(sources_.begin(), sources_.end(), source) != sources_.end()) {
      source->DeliverPending();
    }
  }
}

bool EventPump::SleepUntilPending(Env& env, int64_t until_ms) {
  Wakeups wakeups;
  for (const EventSource* source : sources_) source->AddWakeups(wakeups);
  if (wakeups.due_ms <= env.MonotonicMs()) return true;
  const bool readable = env.SleepUntil(std::min(until_ms, wakeups.due_ms), wakeups.fds);
  return readable || env.MonotonicMs() >= wakeups.due_ms;
}

}  // namespace upstest::platform
