#include "snmp/binding_value.h"

#include <string>

#include "platform/convert.h"
#include "platform/error.h"
#include "run/test_state.h"
#include "snmp/response.h"

namespace upstest::snmp {

int32_t BindingValue(Manager& manager, int number) {
  if (number > run::kObjectCount) {
    throw platform::Failure("Subscript out of range: object " + std::to_string(number));
  }
  const int32_t type = manager.ObjValueType(number - 1);
  return IsValueless(type) ? 0 : platform::ToInt32(manager.ObjValue(number - 1));
}

}  // namespace upstest::snmp
