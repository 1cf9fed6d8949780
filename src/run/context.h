// Everything one run works on: the test state, the operating system, the
// event pump and the two SNMP components. The procedures of every module
// take it by reference; there is exactly one per run.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/event_pump.h"
#include "run/test_state.h"
#include "snmp/manager.h"
#include "trap/agent.h"

namespace upstest::run {

struct Context {
  Context(platform::Env& env_, platform::EventPump& pump_, snmp::Manager& manager,
          trap::Agent& agent, std::string argument_text_)
      : env(env_),
        pump(pump_),
        snmpManager(manager),
        snmpAgentTrap(agent),
        argument_text(std::move(argument_text_)) {}

  TestState state;
  platform::Env& env;
  platform::EventPump& pump;
  snmp::Manager& snmpManager;
  trap::Agent& snmpAgentTrap;
  // The argument text of the command line (platform::ArgumentText).
  std::string argument_text;
  // The arguments as the process got them (argv[1..]), from which
  // argument_text was rebuilt; empty when a test gives only the text.
  std::vector<std::string> arguments;
  // The node record stage; store::ReadNodeData unless a test replaces it.
  std::function<void(Context&)> read_node_data;

  // The debug log's bookkeeping for this run: whether a failed write has
  // been reported, and how many answer and BadPacket groups were written.
  struct LogCounts {
    bool failure_reported = false;
    int answer_groups = 0;
    int bad_packet_groups = 0;
  } log;
};

}  // namespace upstest::run
