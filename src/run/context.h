// Everything one run works on: the test state (run/test_state.h), the
// operating system, the event pump, the two SNMP components and the debug
// log. The procedures of every module take it by reference; there is
// exactly one per run, and it is never copied.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "diag/log.h"
#include "platform/env.h"
#include "platform/event_pump.h"
#include "run/test_state.h"
#include "snmp/manager.h"
#include "trap/agent.h"

namespace upstest::run {

// What a context carries out: a run, or a check (`upstest --check`), whose
// command line numbers the objects' arguments otherwise
// (cmdline::ObjectArgument).
enum class Command { kRun, kCheck };

struct Context {
  // REQUIRES: env_in, pump_in, manager_in and agent_in outlive the context.
  // The log starts with no base and node id 0: whoever sets state.AppBase
  // tells ctx.log too (SetBase), and the command line's reader tells it the
  // node id (SetNodeId).
  Context(platform::Env& env_in, platform::EventPump& pump_in, snmp::Manager& manager_in,
          trap::Agent& agent_in, std::string argument_text_in)
      : env(env_in),
        pump(pump_in),
        snmpManager(manager_in),
        snmpAgentTrap(agent_in),
        log(env_in),
        argument_text(std::move(argument_text_in)) {}
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  TestState state;
  Command command = Command::kRun;
  platform::Env& env;
  platform::EventPump& pump;
  snmp::Manager& snmpManager;
  trap::Agent& snmpAgentTrap;
  // The run's debug log: its files, its failure report and its group
  // limits. Written only while state.DebugOn; every writer tests that.
  diag::NodeLog log;
  // The argument text of the command line (platform::ArgumentText).
  std::string argument_text;
  // The arguments as the process got them (argv[1..]), from which
  // argument_text was rebuilt; empty when a test gives only the text.
  std::vector<std::string> arguments;
  // The node record stage; store::ReadNodeData unless a test replaces it.
  std::function<void(Context&)> read_node_data;

  // Set once the poll's values have been scaled into the trap's units
  // (run/scaling.h): the answer handler scales what a later answer stores.
  bool values_scaled = false;
  // Set by the answer handler's first failure: a run pauses after that one
  // only, so that a stream of failing answers cannot stall it.
  bool response_failed = false;

  // Written by the node record reader when no full record was read (empty
  // when one was): "node <id>: <why>", one line for the standard error.
  // The failure table gives it as the reason of a failed send
  // (FailureReason::kNodeRecord), since the send fails for want of it.
  std::string node_record_problem;
  // Set by the reader when it has written its own stderr line about a
  // record read in part, so that no end of the run gives
  // node_record_problem as its reason again.
  bool node_record_problem_said = false;
};

}  // namespace upstest::run
