// A scripted SNMP manager for tests. It records every operation and every
// GET request it is asked to send, and delivers scripted Response and
// BadPacket events through the event pump, in virtual time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_pump.h"
#include "snmp/manager.h"
#include "test_support/fake_env.h"

namespace upstest::testing {

struct FakeBinding {
  std::string oid;
  int32_t type = snmp::kTypeInteger;
  std::string value;
};

struct FakeResponse {
  int32_t request_id = 1000001;
  int16_t error_status = 0;
  int16_t error_index = 0;
  std::string error_description;
  std::vector<FakeBinding> bindings;
};

struct FakeBadPacket {
  int16_t error_code = 0;
  std::string error_description;
};

// What one SendGetRequest carried.
struct SentRequest {
  int64_t at_ms = 0;
  std::string remote_host;
  int32_t remote_port = 0;
  int32_t version = 0;
  std::string community;
  int32_t request_id = 0;
  int16_t waiting_time = -1;
  std::vector<std::string> oids;
};

class FakeManager final : public snmp::Manager, public platform::EventSource {
 public:
  FakeManager(FakeEnv& env, platform::EventPump& pump) : env_(env), pump_(pump) {}
  ~FakeManager() override { pump_.Unregister(this); }

  // Script: an event due at virtual time `at_ms` (absolute), or `delay_ms`
  // after the n-th GET request (n from 1) was sent.
  void ResponseAt(int64_t at_ms, FakeResponse response);
  void BadPacketAt(int64_t at_ms, FakeBadPacket packet);
  void ResponseAfterGet(int n, int64_t delay_ms, FakeResponse response);
  void BadPacketAfterGet(int n, int64_t delay_ms, FakeBadPacket packet);

  // The operation named here (such as "SetActive", "SendGetRequest",
  // "ObjValue") throws Failure(description) from now on.
  void FailOn(std::string operation, std::string description = "component failure");

  // Every operation called, in order, with its arguments: "Reset",
  // "SetRemoteHost 10.0.0.5", "ObjValueType 0" ...
  std::vector<std::string> calls;
  std::vector<SentRequest> requests;
  // Every event delivered, as "Response <id>" / "BadPacket <code>", with
  // the virtual time of its delivery.
  std::vector<std::pair<int64_t, std::string>> delivered;

  std::string local_address_in_use = "0.0.0.0";
  int32_t local_port_in_use = 40123;

  // snmp::Manager
  void SetEvents(snmp::ManagerEvents* events) override { events_ = events; }
  void SetWaitingTime(int16_t ms) override;
  void SetLocalAddress(const std::string& address) override;
  std::string LocalAddress() override;
  int32_t LocalPort() override;
  void SetActive(bool active) override;
  void Reset() override;
  void SetRemoteHost(const std::string& host) override;
  void SetRemotePort(int32_t port) override;
  void SetVersion(int32_t version) override;
  void SetCommunity(const std::string& community) override;
  void SetRequestId(int32_t request_id) override;
  void SetObjCount(int16_t count) override;
  int16_t ObjCount() override;
  void SetObjId(int32_t i, const std::string& oid) override;
  std::string ObjId(int32_t i) override;
  int32_t ObjValueType(int32_t i) override;
  std::string ObjValue(int32_t i) override;
  void SendGetRequest() override;

  // platform::EventSource
  void DeliverPending() override;
  void AddWakeups(platform::Wakeups& wakeups) const override;

 private:
  struct Scheduled {
    int64_t at_ms;
    std::optional<FakeResponse> response;
    std::optional<FakeBadPacket> bad_packet;
  };
  struct AfterGet {
    int n;
    int64_t delay_ms;
    Scheduled event;
  };
  void Record(const std::string& call);
  const FakeBinding& Binding(int32_t i);

  FakeEnv& env_;
  platform::EventPump& pump_;
  snmp::ManagerEvents* events_ = nullptr;
  std::vector<Scheduled> scheduled_;
  std::vector<AfterGet> after_get_;
  std::vector<std::pair<std::string, std::string>> failures_;
  bool active_ = false;
  SentRequest pending_;
  int16_t request_count_ = 0;
  // The bindings of the answer whose Response is running.
  const FakeResponse* current_ = nullptr;
};

}  // namespace upstest::testing
