// Wait: the only place where component events get in.
//
// Part of the floor every subsystem stands on (with the test state and the
// context): the procedures of cmdline, store, snmp and trap include it from
// run/ to pause; diag never does, it only formats and writes.
#pragma once

#include <cstdint>

namespace upstest::run {

struct Context;

// ms / 10 steps (remainder dropped, none for ms below 10 or negative), each
// a 10 ms sleep followed by the delivery of every pending event.
inline constexpr int kWaitStepMs = 10;
void Wait(Context& ctx, int16_t ms);

}  // namespace upstest::run
