// A trap sender that records every trap it is asked to send.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "test_support/fake_env.h"
#include "trap/agent.h"

namespace upstest::testing {

struct RecordedBinding {
  std::string oid;
  int32_t type = 0;
  std::string value;
  bool operator==(const RecordedBinding&) const = default;
};

struct RecordedTrap {
  int64_t at_ms = 0;
  int32_t version = 0;
  std::vector<std::string> configs;  // in order, as given
  std::vector<RecordedBinding> bindings;
  std::string host;
  std::string trap_id;
};

class FakeAgent final : public trap::Agent {
 public:
  explicit FakeAgent(FakeEnv& env) : env_(env) {}

  // The operation named here ("Config", "SendTrap" ...) throws
  // Failure(description) from now on.
  void FailOn(std::string operation, std::string description = "trap sender failure");

  std::vector<RecordedTrap> traps;
  std::vector<std::string> calls;

  void Reset() override;
  void SetVersion(int32_t version) override;
  void Config(const std::string& setting) override;
  void SetObjCount(int16_t count) override;
  void SetObjId(int32_t i, const std::string& oid) override;
  void SetObjType(int32_t i, int32_t type) override;
  void SetObjValue(int32_t i, const std::string& value) override;
  void SendTrap(const std::string& host, const std::string& trap_id) override;

  // Helpers for assertions: the integer value of binding `index` (0..10).
  static int32_t IntAt(const RecordedTrap& trap, size_t index);

 private:
  void Record(const std::string& call);
  RecordedBinding& At(int32_t i);

  FakeEnv& env_;
  RecordedTrap building_;
  std::vector<std::pair<std::string, std::string>> failures_;
};

}  // namespace upstest::testing
