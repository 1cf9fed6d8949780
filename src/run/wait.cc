#include "run/wait.h"

#include "run/context.h"

namespace upstest::run {

void Wait(Context& ctx, int16_t ms) {
  const int steps = ms / kWaitStepMs;
  for (int step = 0; step < steps; ++step) {
    ctx.env.SleepMs(kWaitStepMs);
    ctx.pump.DeliverPending();
  }
}

}  // namespace upstest::run
