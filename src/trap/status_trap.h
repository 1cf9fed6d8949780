// The status trap.
#pragma once

namespace upstest::run {
struct Context;
}

namespace upstest::trap {

// Sends one trap built from the test state to 127.0.0.1:162; ends the
// program on failure.
void SendTrap(run::Context& ctx);

}  // namespace upstest::trap
