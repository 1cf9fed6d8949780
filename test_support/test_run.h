// One whole run wired to the fakes: virtual time, files in memory, a
// scripted manager and a recording trap sender.
#pragma once

#include <functional>
#include <string>

#include "platform/event_pump.h"
#include "run/context.h"
#include "snmp/response.h"
#include "test_support/fake_agent.h"
#include "test_support/fake_env.h"
#include "test_support/fake_manager.h"

namespace upstest::testing {

inline constexpr const char* kTestBase = "/base";
inline constexpr const char* kTestSwitchFile = "/base/apiexec/upsdebug.txt";

struct TestRun {
  explicit TestRun(std::string argument_text = "")
      : manager(env, pump),
        agent(env),
        ctx(env, pump, manager, agent, std::move(argument_text)),
        events(ctx) {
    manager.SetEvents(&events);
    SetBase(kTestBase);
    // No node database unless a test says otherwise.
    ctx.read_node_data = [](run::Context&) {};
  }
  // The base directory and the node id, in the state and in the log, as
  // main and the command line's reader set them.
  void SetBase(std::string base) {
    ctx.state.AppBase = base;
    ctx.log.SetBase(std::move(base));
  }
  void SetNodeId(int32_t node_id) {
    ctx.state.NodeId = node_id;
    ctx.log.SetNodeId(node_id);
  }
  // Creates the switch file, so the debug log is on.
  void SwitchOn() { env.files[kTestSwitchFile] = ""; }
  std::string NodeLog(int node_id) const {
    return env.ContentOf(std::string(kTestBase) + "/apiexec/upsdebug-" + std::to_string(node_id) +
                         ".txt");
  }

  FakeEnv env;
  platform::EventPump pump;
  FakeManager manager;
  FakeAgent agent;
  run::Context ctx;
  snmp::FormEvents events;
};

}  // namespace upstest::testing
