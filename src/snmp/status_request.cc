// Manager start and the status request: one GET for the four objects, at
// most two attempts, each waiting until an answer is taken in or its
// deadline second has passed.
#include "snmp/status_request.h"

#include <cmath>
#include <cstdint>
#include <exception>
#include <string>

#include "diag/log.h"
#include "platform/env.h"
#include "platform/error.h"
#include "run/context.h"
#include "run/failure.h"
#include "run/wait.h"

namespace upstest::snmp {

namespace {

// Every request carries this identifier plus one, the repeated one too.
constexpr int32_t kRequestIdBase = 1000000;
// An attempt lasts until the local time, read in whole seconds, has passed
// its start plus this many seconds: more than 2 s and at most 3 s, by where
// in the second it began.
constexpr int64_t kAttemptSeconds = 2;
constexpr int16_t kMaxAttempts = 2;
// The manager's settle pause after activation.
constexpr int16_t kSettleMs = 20;

// The attempts are timed on the monotonic clock, so that a step of the
// local time cannot stretch or cut them; only the position in the second at
// which the first attempt starts comes from the local time, read once.
class AttemptClock {
 public:
  explicit AttemptClock(platform::Env& env)
      : env_(env),
        start_ms_(env.MonotonicMs()),
        start_fraction_ms_(FractionMs(env.SecondsSinceMidnight())) {}

  // The monotonic time at which an attempt that starts now ends: when the
  // local second it started in, plus kAttemptSeconds, has passed.
  int64_t AttemptDeadline() const {
    const int64_t now = env_.MonotonicMs();
    const int64_t fraction = (start_fraction_ms_ + (now - start_ms_)) % 1000;
    return now - fraction + (kAttemptSeconds + 1) * 1000;
  }

 private:
  // The whole milliseconds of the second; the small addend keeps a count
  // of whole milliseconds held in a double from falling one short.
  static int64_t FractionMs(double seconds) {
    if (!(seconds >= 0) || seconds > 1e9) return 0;
    return static_cast<int64_t>(std::floor(seconds * 1000.0 + 1e-4)) % 1000;
  }

  platform::Env& env_;
  int64_t start_ms_;
  int64_t start_fraction_ms_;
};

}  // namespace

void StartManager(run::Context& ctx) {
  try {
    Manager& manager = ctx.snmpManager;
    manager.SetWaitingTime(0);
    manager.SetLocalAddress("");
    manager.SetActive(true);
    run::Wait(ctx, kSettleMs);
    if (ctx.state.DebugOn) {
      const std::string address = manager.LocalAddress();
      const int32_t port = manager.LocalPort();
      ctx.log.AppendNodeLog(diag::ManagerStartedGroup(ctx.env, address, port));
    }
  } catch (const std::exception& e) {
    run::HandleFailure(ctx, run::kStartManagerFailure, e.what());
  }
}

void CheckStatus(run::Context& ctx) {
  try {
    const AttemptClock clock(ctx.env);
    int16_t attempt = 0;
    for (;;) {
      const int64_t deadline = clock.AttemptDeadline();
      ctx.state.ResponseReceived = false;
      SnmpSend(ctx);
      // Until an answer is taken in or the deadline passes, in one wait
      // that wakes for each datagram.
      run::WaitUntil(ctx, deadline, ctx.state.ResponseReceived);
      if (ctx.state.ResponseReceived) return;
      ++attempt;
      if (attempt >= kMaxAttempts) return;
    }
  } catch (const std::exception& e) {
    run::HandleFailure(ctx, run::kCheckStatusFailure, e.what());
  }
}

void SnmpSend(run::Context& ctx) {
  try {
    Manager& manager = ctx.snmpManager;
    run::TestState& state = ctx.state;
    manager.Reset();
    manager.SetWaitingTime(0);
    state.RequestId = kRequestIdBase;
    manager.SetRemoteHost(state.IpAddr);
    manager.SetRemotePort(state.UdpPort);
    manager.SetVersion(run::PolledSnmpVersion(state));
    manager.SetCommunity(state.readcomm);
    state.RequestId = state.RequestId + 1;
    manager.SetRequestId(state.RequestId);
    manager.SetObjCount(run::kObjectCount);
    for (int n = 1; n <= run::kObjectCount; ++n) manager.SetObjId(n - 1, state.ObjOid(n));
    // Logged before sending, so the line is there even when sending fails.
    if (state.DebugOn) {
      ctx.log.AppendNodeLog(diag::SendGetRequestLine(ctx.env, {.request_id = state.RequestId,
                                                               .address = state.IpAddr,
                                                               .read_community = state.readcomm,
                                                               .oids = state.ObjOid.All()}));
    }
    manager.SendGetRequest();
  } catch (const std::exception& e) {
    run::HandleFailure(ctx, run::kSnmpSendFailure, e.what());
  }
}

}  // namespace upstest::snmp
