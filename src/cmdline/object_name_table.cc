#include "cmdline/object_name_table.h"

namespace upstest::cmdline {

const std::array<std::array<ObjectName, 2>, run::kObjectCount> ObjectNameTable = {{
    {{{"upsEstimatedMinutesRemaining", "1.3.6.1.2.1.33.1.2.3.0"},
      // Seconds, judged in minutes.
      {"xupsBatTimeRemaining", "1.3.6.1.4.1.534.1.2.1.0", 60}}},
    {{{"upsBatteryVoltage", "1.3.6.1.2.1.33.1.3.3.1.3.1"},
      {"xupsInputVoltage", "1.3.6.1.4.1.534.1.3.4.1.2.1"}}},
    {{{"upsBatteryTemperature", "1.3.6.1.2.1.33.1.2.7.0"},
      {"xupsEnvAmbientTemp", "1.3.6.1.4.1.534.1.6.1.0"}}},
    // Tenths, judged in whole units; a reading of 0 or below stands as it is.
    {{{"entPhySensorValue", "1.3.6.1.2.1.99.1.1.1.4.1", 10, true},
      {"xupsEnvRemoteTemp", "1.3.6.1.4.1.534.1.6.5.0"}}},
}};

const ObjectName* FindObjectName(int k, std::string_view oid) {
  if (k < 1 || k > run::kObjectCount) return nullptr;
  for (const ObjectName& row : ObjectNameTable[static_cast<size_t>(k - 1)]) {
    if (row.oid == oid) return &row;
  }
  return nullptr;
}

}  // namespace upstest::cmdline
