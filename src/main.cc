// upstest: tests one UPS over SNMP once and reports the outcome as traps.
#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check/check.h"
#include "platform/env.h"
#include "platform/error.h"
#include "platform/event_pump.h"
#include "platform/exit_status.h"
#include "platform/program.h"
#include "run/context.h"
#include "run/sequence.h"
#include "snmp/response.h"
#include "snmp/udp_manager.h"
#include "store/helper.h"
#include "store/node_reader.h"
#include "trap/udp_agent.h"

namespace {

constexpr const char* kUsage =
    "Usage: upstest NODENAME NODEID NODESTATUS RUNTIME VOLTAGE TEMPERATURE SENSOR\n"
    "       upstest --check [--show-communities] NODEID\n"
    "       upstest --check[=json] NODEID [RUNTIME VOLTAGE TEMPERATURE SENSOR]\n"
    "       upstest --check={plugin,prometheus} NODEID RUNTIME VOLTAGE TEMPERATURE SENSOR\n"
    "       upstest --help | --version\n"
    "\n"
    "Polls one UPS once over SNMP (v1 or v2c) and reports the outcome as SNMPv1\n"
    "traps to 127.0.0.1:162. The node's address, port, version and communities\n"
    "come from Kovatrel.mdb beside the apiexec directory and the node database it\n"
    "names. Each object argument is a name, one condition character (= < > |) and\n"
    "a value; | takes a range LOW-HIGH:\n"
    "  RUNTIME      upsEstimatedMinutesRemaining | xupsBatTimeRemaining\n"
    "  VOLTAGE      upsBatteryVoltage | xupsInputVoltage\n"
    "  TEMPERATURE  upsBatteryTemperature | xupsEnvAmbientTemp\n"
    "  SENSOR       entPhySensorValue | xupsEnvRemoteTemp\n"
    "Example: upstest \"Main UPS\" 17 5 'upsEstimatedMinutesRemaining>10' \\\n"
    "           'upsBatteryVoltage|200-250' 'upsBatteryTemperature<40' 'entPhySensorValue<45'\n"
    "\n"
    "The debug log is on when apiexec/upsdebug.txt exists at start; it goes to\n"
    "apiexec/upsdebug-NODEID.txt. Exit status: 0 normal end, 2 argument error,\n"
    "1 ended by an error; the reason of an end other than 0 goes to stderr.\n"
    "--check reads the settings and the node record as a run does, shows them\n"
    "and says whether a run could poll the node (exit 0) or not (exit 1). Given\n"
    "the four objects, it also sends the run's GET and shows, object by object,\n"
    "what the device answered and what a run would judge (exit 0 only when a\n"
    "run would judge all four from values the device gave). --check=json prints\n"
    "the same as one JSON object. --check=plugin prints it as a monitoring plugin\n"
    "does (UPS OK|WARNING|CRITICAL|UNKNOWN, exit 0|1|2|3), --check=prometheus in\n"
    "Prometheus's text format. It sends no trap and writes no log. See upstest(1).\n";

// What every run needs before it opens anything.
void PrepareProcess() {
  using namespace upstest;
  platform::OpenClosedStandardDescriptors();
  platform::IgnoreWriteSignals();
  // From the start, whatever the parent left of SIGALRM: every run ends.
  platform::StartWatchdog(platform::kWatchdogSeconds);
  // The heap grows once for the whole run and gives nothing back before the
  // end: each change of its size is a system call, and memory handed back at
  // a free would be faulted in afresh at the next allocation.
  mallopt(M_TOP_PAD, 256 << 10);
  mallopt(M_TRIM_THRESHOLD, 1 << 20);
}

// --help and --version: the exit status when the call asks for one of them
// (its answer printed), none otherwise. A single argument is otherwise
// always a missing-argument end, so these two change no run that the
// management service makes.
std::optional<int> AnswerHelpOrVersion(int argc, char** argv) {
  using namespace upstest;
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return platform::kExitNormal;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("upstest %s\n", UPSTEST_VERSION);
    return platform::kExitNormal;
  }
  return std::nullopt;
}

// The run's SNMP manager and trap sender.
struct Components {
  std::unique_ptr<upstest::snmp::Manager> manager;
  std::unique_ptr<upstest::trap::Agent> agent;
};

// Makes both components, the manager on `pump`. Throws when one cannot be
// made: the top handler writes why.
Components MakeComponents(upstest::platform::EventPump& pump) {
  using namespace upstest;
  return {snmp::NewUdpManager(pump), trap::NewUdpAgent()};
}

// Gives `ctx` the process's arguments, the node reader, the manager's
// receiver of events and the base directory, and the store its helper.
void ConnectRun(upstest::run::Context& ctx, int argc, char** argv,
                upstest::snmp::FormEvents& events) {
  using namespace upstest;
  ctx.arguments.assign(argv + 1, argv + argc);
  ctx.read_node_data = [](run::Context& c) { store::ReadNodeData(c); };
  ctx.snmpManager.SetEvents(&events);
  const std::string program_directory = platform::ProgramDirectory();
#ifdef UPSTEST_DATABASE_HELPER
  // Access files and ODBC are served by the helper installed beside the
  // program, in a process of its own that is bounded, capped and killed
  // when it overstays.
  store::UseDatabaseHelper(program_directory + "/upstest-store");
#endif
  ctx.state.AppBase = platform::BaseDirectory(program_directory);
  ctx.log.SetBase(ctx.state.AppBase);
}

// A check in any form: the report on stdout; returns the exit status.
int Check(upstest::run::Context& ctx, const upstest::check::CheckCall& check) {
  std::string report;
  const int status = upstest::check::RunCheck(ctx, check, report);
  std::fputs(report.c_str(), stdout);
  return status;
}

// The run or the check `call` asks for; returns the exit status. Every end
// that escapes it goes to the handler it runs under.
int Execute(const upstest::check::CheckCall& call, int argc, char** argv) {
  using namespace upstest;
  if (!call.problem.empty()) platform::EndProgram(platform::kExitArgumentError, call.problem);
  platform::EventPump pump;
  const Components components = MakeComponents(pump);
  run::Context ctx(platform::DefaultEnv(), pump, *components.manager, *components.agent,
                   platform::ArgumentText(argc, argv));
  snmp::FormEvents events(ctx);
  ConnectRun(ctx, argc, argv, events);
  if (call.form != check::CheckCall::Form::kNone) return Check(ctx, call);
  run::StartTest(ctx);
  return platform::kExitNormal;
}

// The run or the check the arguments ask for (at most six arguments for a
// check, so that no run, with seven, can be taken for one). A
// --check=plugin call answers every end, its argument errors included, as
// a plugin state on stdout.
int RunCommand(int argc, char** argv) {
  using namespace upstest;
  const check::CheckCall call =
      check::ReadCheckCall(std::vector<std::string>(argv + 1, argv + argc));
  if (call.form != check::CheckCall::Form::kPlugin) return Execute(call, argc, argv);
  std::string unknown;
  const int status =
      check::PluginStatusOf([&call, argc, argv] { return Execute(call, argc, argv); }, unknown);
  std::fputs(unknown.c_str(), stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace upstest;
  // Before anything else is opened.
  PrepareProcess();
  if (const std::optional<int> status = AnswerHelpOrVersion(argc, argv)) return *status;
  // One handler for both commands: whatever escapes a run or a check gives
  // an exit status and one line on stderr, never std::terminate.
  return platform::ExitStatusOf(platform::DefaultEnv(),
                                [argc, argv] { return RunCommand(argc, argv); });
}
