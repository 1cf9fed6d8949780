// Taking in what the manager reports.
#pragma once

#include <cstdint>
#include <string>

#include "snmp/manager.h"

namespace upstest::run {
struct Context;
}

namespace upstest::snmp {

// Types that carry no value of their own: the answer's handler reads no
// value for them and counts them as 0.
bool IsValueless(int32_t type);

// Stores the answer's bindings in ObjValue(1..4) and sets ResponseReceived
// (and ResponseError on failure). Never ends the program.
void snmpManager_Response(run::Context& ctx, int32_t request_id, int16_t error_status,
                          int16_t error_index, const std::string& error_description);

// Logs a rejected packet. Changes nothing; never fails.
void snmpManager_BadPacket(run::Context& ctx, int16_t error_code,
                           const std::string& error_description);

// Routes the manager's events to the two handlers above, passing the
// event's data unchanged.
class FormEvents final : public ManagerEvents {
 public:
  explicit FormEvents(run::Context& ctx) : ctx_(ctx) {}
  void Response(int32_t request_id, int16_t error_status, int16_t error_index,
                const std::string& error_description) override {
    snmpManager_Response(ctx_, request_id, error_status, error_index, error_description);
  }
  void BadPacket(int16_t error_code, const std::string& error_description) override {
    snmpManager_BadPacket(ctx_, error_code, error_description);
  }

 private:
  run::Context& ctx_;
};

}  // namespace upstest::snmp
