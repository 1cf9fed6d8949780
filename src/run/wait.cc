#include "run/wait.h"

#include <algorithm>

#include "run/context.h"

namespace upstest::run {

void Wait(Context& ctx, int16_t ms) {
  int64_t steps_left = ms / kWaitStepMs;
  // The steps are counted from here, and again after each delivery: the
  // handlers' own time does not eat into them.
  int64_t origin = ctx.env.MonotonicMs();
  while (steps_left > 0) {
    if (!ctx.pump.SleepUntilPending(ctx.env, origin + steps_left * kWaitStepMs)) return;
    const int64_t into = ctx.env.MonotonicMs() - origin;
    const int64_t steps =
        std::clamp<int64_t>((into + kWaitStepMs - 1) / kWaitStepMs, 1, steps_left);
    ctx.env.SleepUntil(origin + steps * kWaitStepMs);
    steps_left -= steps;
    ctx.pump.DeliverPending();
    origin = ctx.env.MonotonicMs();
  }
}

void WaitUntil(Context& ctx, int64_t deadline_ms, const bool& done) {
  int64_t next_delivery = ctx.env.MonotonicMs();
  while (!done && ctx.env.MonotonicMs() < deadline_ms) {
    if (!ctx.pump.SleepUntilPending(ctx.env, deadline_ms)) return;
    ctx.env.SleepUntil(next_delivery);
    ctx.pump.DeliverPending();
    next_delivery = ctx.env.MonotonicMs() + kWaitStepMs;
  }
}

}  // namespace upstest::run
