// The accepted object names of each slot and the OIDs they select.
#pragma once

#include <array>
#include <string_view>

namespace upstest::cmdline {

struct ObjectName {
  std::string_view name;
  std::string_view oid;
};

// ObjectNameTable[k - 1] holds the two names of slot k, in order of testing.
extern const std::array<std::array<ObjectName, 2>, 4> ObjectNameTable;

}  // namespace upstest::cmdline
