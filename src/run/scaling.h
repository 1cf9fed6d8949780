// The scaling of polled values into the units a run judges them in and its
// traps carry them in (the run's, and --check's).
#pragma once

namespace upstest::run {

struct TestState;

// Object k's ObjValue divided as the row of its own slot whose OID is
// exactly its ObjOid says (cmdline::ObjectNameTable: a divisor, and
// whether only a value above 0 is divided), rounded to the nearest
// integer, an exact half to the even neighbour. An object polled under a
// name without a divisor keeps its value.
//
// Reads: ObjOid(k). Writes: ObjValue(k). Never fails for k in 1..4.
void ScaleValue(TestState& state, int k);

// ScaleValue for every object.
void ScaleValues(TestState& state);

}  // namespace upstest::run
