#include "test_support/fake_agent.h"

#include <algorithm>

#include "platform/error.h"

namespace upstest::testing {

void FakeAgent::FailOn(std::string operation, std::string description) {
  failures_.emplace_back(std::move(operation), std::move(description));
}

void FakeAgent::Record(const std::string& call) {
  calls.push_back(call);
  const std::string op = call.substr(0, call.find(' '));
  for (const auto& [name, description] : failures_) {
    if (name == op) throw platform::Failure(description);
  }
}

RecordedBinding& FakeAgent::At(int32_t i) {
  if (i < 0 || static_cast<size_t>(i) >= building_.bindings.size()) {
    throw platform::Failure("object index out of range");
  }
  return building_.bindings[static_cast<size_t>(i)];
}

void FakeAgent::Reset() {
  Record("Reset");
  building_ = RecordedTrap{};
}
void FakeAgent::SetVersion(int32_t version) {
  Record("SetVersion " + std::to_string(version));
  building_.version = version;
}
void FakeAgent::Config(const std::string& setting) {
  Record("Config " + setting);
  building_.configs.push_back(setting);
}
void FakeAgent::SetObjCount(int16_t count) {
  Record("SetObjCount " + std::to_string(count));
  building_.bindings.resize(static_cast<size_t>(std::max<int16_t>(count, 0)));
}
void FakeAgent::SetObjId(int32_t i, const std::string& oid) {
  Record("SetObjId " + std::to_string(i));
  At(i).oid = oid;
}
void FakeAgent::SetObjType(int32_t i, int32_t type) {
  Record("SetObjType " + std::to_string(i));
  At(i).type = type;
}
void FakeAgent::SetObjValue(int32_t i, const std::string& value) {
  Record("SetObjValue " + std::to_string(i));
  At(i).value = value;
}
void FakeAgent::SendTrap(const std::string& host, const std::string& trap_id) {
  Record("SendTrap " + host + " " + trap_id);
  building_.host = host;
  building_.trap_id = trap_id;
  building_.at_ms = env_.now_ms();
  traps.push_back(building_);
}

int32_t FakeAgent::IntAt(const RecordedTrap& trap, size_t index) {
  return std::stoi(trap.bindings.at(index).value);
}

}  // namespace upstest::testing
