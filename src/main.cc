// upstest: tests one UPS over SNMP once and reports the outcome as traps.
#include <cstdio>
#include <exception>
#include <memory>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/program.h"
#include "run/context.h"
#include "run/sequence.h"
#include "snmp/response.h"
#include "snmp/udp_manager.h"
#include "store/node_reader.h"
#include "trap/udp_agent.h"

int main(int argc, char** argv) {
  using namespace upstest;
  platform::EventPump pump;
  std::unique_ptr<snmp::Manager> manager;
  std::unique_ptr<trap::Agent> agent;
  try {
    manager = snmp::NewUdpManager(pump);
    agent = trap::NewUdpAgent();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "upstest: %s\n", e.what());
    return platform::kExitErrorTrap;
  }
  run::Context ctx(platform::DefaultEnv(), pump, *manager, *agent,
                   platform::ArgumentText(argc, argv));
  ctx.read_node_data = store::ReadNodeData;
  snmp::FormEvents events(ctx);
  manager->SetEvents(&events);
  ctx.state.AppBase = platform::BaseDirectory(platform::ProgramDirectory());
  return run::RunTest(ctx);
}
