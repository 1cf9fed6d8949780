#include "cmdline/object_name_table.h"

namespace upstest::cmdline {

const std::array<std::array<ObjectName, 2>, 4> ObjectNameTable = {{
    {{{"upsEstimatedMinutesRemaining", "1.3.6.1.2.1.33.1.2.3.0"},
      {"xupsBatTimeRemaining", "1.3.6.1.4.1.534.1.2.1.0"}}},
    {{{"upsBatteryVoltage", "1.3.6.1.2.1.33.1.3.3.1.3.1"},
      {"xupsInputVoltage", "1.3.6.1.4.1.534.1.3.4.1.2.1"}}},
    {{{"upsBatteryTemperature", "1.3.6.1.2.1.33.1.2.7.0"},
      {"xupsEnvAmbientTemp", "1.3.6.1.4.1.534.1.6.1.0"}}},
    {{{"entPhySensorValue", "1.3.6.1.2.1.99.1.1.1.4.1"},
      {"xupsEnvRemoteTemp", "1.3.6.1.4.1.534.1.6.5.0"}}},
}};

}  // namespace upstest::cmdline
