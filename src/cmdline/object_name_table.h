// The accepted object names of each slot, the OIDs they select, and how a
// value polled under each is scaled before it is judged: every rule that
// belongs to one name stands in its row.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "run/test_state.h"

namespace upstest::cmdline {

struct ObjectName {
  std::string_view name;
  std::string_view oid;
  // A value polled under this name is divided by `divisor` (in double
  // precision, rounded to the nearest integer, an exact half to the even
  // one) before it is judged; 0: it is judged as polled.
  int32_t divisor = 0;
  // The division is made only for a value above 0; 0 and below stand as
  // polled.
  bool divided_only_above_zero = false;
};

// ObjectNameTable[k - 1] holds the two names of slot k, in order of testing.
extern const std::array<std::array<ObjectName, 2>, run::kObjectCount> ObjectNameTable;

// The row of slot k (1..kObjectCount) whose OID is exactly `oid`; nullptr
// when neither name of the slot polls it (the other slots' names are not
// looked at).
const ObjectName* FindObjectName(int k, std::string_view oid);

}  // namespace upstest::cmdline
