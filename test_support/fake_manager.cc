#include "test_support/fake_manager.h"

#include <algorithm>

#include "platform/error.h"

namespace upstest::testing {

void FakeManager::ResponseAt(int64_t at_ms, FakeResponse response) {
  scheduled_.push_back({at_ms, std::move(response), std::nullopt});
}
void FakeManager::BadPacketAt(int64_t at_ms, FakeBadPacket packet) {
  scheduled_.push_back({at_ms, std::nullopt, std::move(packet)});
}
void FakeManager::ResponseAfterGet(int n, int64_t delay_ms, FakeResponse response) {
  after_get_.push_back({n, delay_ms, {0, std::move(response), std::nullopt}});
}
void FakeManager::BadPacketAfterGet(int n, int64_t delay_ms, FakeBadPacket packet) {
  after_get_.push_back({n, delay_ms, {0, std::nullopt, std::move(packet)}});
}

void FakeManager::FailOn(std::string operation, std::string description) {
  failures_.emplace_back(std::move(operation), std::move(description));
}

void FakeManager::Record(const std::string& call) {
  calls.push_back(call);
  const std::string op = call.substr(0, call.find(' '));
  for (const auto& [name, description] : failures_) {
    if (name == op) throw platform::Failure(description);
  }
}

void FakeManager::SetWaitingTime(int16_t ms) {
  Record("SetWaitingTime " + std::to_string(ms));
  pending_.waiting_time = ms;
}
void FakeManager::SetLocalAddress(const std::string& address) {
  Record("SetLocalAddress " + address);
}
std::string FakeManager::LocalAddress() {
  Record("LocalAddress");
  return active_ ? local_address_in_use : std::string();
}
int32_t FakeManager::LocalPort() {
  Record("LocalPort");
  return active_ ? local_port_in_use : 0;
}
void FakeManager::SetActive(bool active) {
  Record(std::string("SetActive ") + (active ? "true" : "false"));
  active_ = active;
  if (active) pump_.Register(this);
}
void FakeManager::Reset() {
  Record("Reset");
  pending_ = SentRequest{};
  request_count_ = 0;
}
void FakeManager::SetRemoteHost(const std::string& host) {
  Record("SetRemoteHost " + host);
  pending_.remote_host = host;
}
void FakeManager::SetRemotePort(int32_t port) {
  Record("SetRemotePort " + std::to_string(port));
  pending_.remote_port = port;
}
void FakeManager::SetVersion(int32_t version) {
  Record("SetVersion " + std::to_string(version));
  pending_.version = version;
}
void FakeManager::SetCommunity(const std::string& community) {
  Record("SetCommunity " + community);
  pending_.community = community;
}
void FakeManager::SetRequestId(int32_t request_id) {
  Record("SetRequestId " + std::to_string(request_id));
  pending_.request_id = request_id;
}
void FakeManager::SetObjCount(int16_t count) {
  Record("SetObjCount " + std::to_string(count));
  request_count_ = count;
  pending_.oids.assign(static_cast<size_t>(std::max<int16_t>(count, 0)), std::string());
}
int16_t FakeManager::ObjCount() {
  Record("ObjCount");
  if (current_ != nullptr) return static_cast<int16_t>(current_->bindings.size());
  return request_count_;
}
void FakeManager::SetObjId(int32_t i, const std::string& oid) {
  Record("SetObjId " + std::to_string(i) + " " + oid);
  if (i < 0 || static_cast<size_t>(i) >= pending_.oids.size()) {
    throw platform::Failure("object index out of range");
  }
  pending_.oids[static_cast<size_t>(i)] = oid;
}
const FakeBinding& FakeManager::Binding(int32_t i) {
  if (current_ == nullptr || i < 0 || static_cast<size_t>(i) >= current_->bindings.size()) {
    throw platform::Failure("object index out of range");
  }
  return current_->bindings[static_cast<size_t>(i)];
}
std::string FakeManager::ObjId(int32_t i) {
  Record("ObjId " + std::to_string(i));
  return Binding(i).oid;
}
int32_t FakeManager::ObjValueType(int32_t i) {
  Record("ObjValueType " + std::to_string(i));
  return Binding(i).type;
}
std::string FakeManager::ObjValue(int32_t i) {
  Record("ObjValue " + std::to_string(i));
  return Binding(i).value;
}

void FakeManager::SendGetRequest() {
  Record("SendGetRequest");
  SentRequest sent = pending_;
  sent.at_ms = env_.now_ms();
  requests.push_back(sent);
  const int n = static_cast<int>(requests.size());
  for (AfterGet& a : after_get_) {
    if (a.n == n) {
      Scheduled s = a.event;
      s.at_ms = env_.now_ms() + a.delay_ms;
      scheduled_.push_back(std::move(s));
    }
  }
}

void FakeManager::AddWakeups(platform::Wakeups& wakeups) const {
  for (const Scheduled& s : scheduled_) wakeups.due_ms = std::min(wakeups.due_ms, s.at_ms);
}

void FakeManager::DeliverPending() {
  const int64_t now = env_.now_ms();
  // Take each due event off the queue before running its handler, so that
  // a handler that waits (and so re-enters here) sees a consistent queue.
  for (;;) {
    auto due = std::find_if(scheduled_.begin(), scheduled_.end(),
                            [now](const Scheduled& s) { return s.at_ms <= now; });
    if (due == scheduled_.end()) return;
    Scheduled event = std::move(*due);
    scheduled_.erase(due);
    if (events_ == nullptr) continue;
    if (event.response) {
      delivered.emplace_back(env_.now_ms(),
                             "Response " + std::to_string(event.response->request_id));
      const FakeResponse* outer = current_;
      current_ = &*event.response;
      struct Restore {
        const FakeResponse*& slot;
        const FakeResponse* value;
        ~Restore() { slot = value; }
      } restore{current_, outer};
      events_->Response(event.response->request_id, event.response->error_status,
                        event.response->error_index, event.response->error_description);
    } else if (event.bad_packet) {
      delivered.emplace_back(env_.now_ms(),
                             "BadPacket " + std::to_string(event.bad_packet->error_code));
      events_->BadPacket(event.bad_packet->error_code, event.bad_packet->error_description);
    }
  }
}

}  // namespace upstest::testing
