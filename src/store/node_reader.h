// The node record reader.
#pragma once

namespace upstest::run {
struct Context;
}

namespace upstest::store {

// Reads the settings database and the node's row of ATR_Nodes into the test
// state. Always returns (a failure in its own error line's writing
// propagates to the caller).
void ReadNodeData(run::Context& ctx);

}  // namespace upstest::store
