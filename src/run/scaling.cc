#include "run/scaling.h"

#include <cstdint>

#include "cmdline/object_name_table.h"
#include "platform/convert.h"
#include "run/test_state.h"

namespace upstest::run {

void ScaleValue(TestState& state, int k) {
  const cmdline::ObjectName* row = cmdline::FindObjectName(k, state.ObjOid(k));
  if (row == nullptr || row->divisor == 0) return;
  int32_t& value = state.ObjValue(k);
  if (row->divided_only_above_zero && value <= 0) return;
  value = platform::RoundToInt32(static_cast<double>(value) / row->divisor);
}

void ScaleValues(TestState& state) {
  for (int k = 1; k <= kObjectCount; ++k) ScaleValue(state, k);
}

}  // namespace upstest::run
