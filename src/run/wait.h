// The waits of a run: the only places where component events get in. diag
// never waits; it only formats and writes.
//
// A wait sleeps in one blocking call until a datagram (an event) arrives
// or its time is up; a run whose UPS is silent therefore sleeps through
// its waits instead of waking every step to look.
#pragma once

#include <cstdint>

namespace upstest::run {

struct Context;

// ms / 10 steps (remainder dropped, none for ms below 10 or negative); the
// wait lasts at least that many times 10 ms, plus whatever the handlers it
// runs take. An event is delivered at the end of the step in which it
// arrived (one pending at the start, after the first step), as if each
// step were a 10 ms sleep followed by the delivery of every pending event;
// steps in which nothing arrives are slept through in one call.
inline constexpr int kWaitStepMs = 10;
void Wait(Context& ctx, int16_t ms);

// Waits until `done` is true or the monotonic clock reaches `deadline_ms`,
// delivering each event as soon as it arrives: an answer ends the wait
// without waiting for a step to end. Between two deliveries at least one
// step passes, so a flood of datagrams is taken in at a bounded rate and
// the caller gets back to its clock.
void WaitUntil(Context& ctx, int64_t deadline_ms, const bool& done);

}  // namespace upstest::run
