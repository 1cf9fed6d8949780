// The value a run takes from one binding of an answer: the one rule that
// the run's answer handler (snmp/response.h) and --check (check/poll.h)
// both follow, so that the check cannot judge a value otherwise.
#pragma once

#include <cstdint>

#include "snmp/manager.h"

namespace upstest::snmp {

// The value of binding `number` (from 1) of the answer `manager` describes
// (while its Response event runs), as a run stores it in ObjValue(number):
// 0 for the types that carry no value (IsValueless: NULL, noSuchObject,
// noSuchInstance), whose value is not read; otherwise the value's text
// through platform::ToInt32.
//
// Fails: platform::Failure "Subscript out of range: object <number>" for a
// number above run::kObjectCount, before anything of that binding is read
// (an answer fills at most the four objects); ToInt32's Failure for a value
// that is no 32-bit integer; and whatever the manager throws.
int32_t BindingValue(Manager& manager, int number);

}  // namespace upstest::snmp
