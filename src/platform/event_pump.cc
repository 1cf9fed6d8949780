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

}  // namespace upstest::platform
