#include "diag/log.h"

#include <cmath>
#include <cstdio>

#include "run/context.h"

namespace upstest::diag {

std::string TimeStamp(platform::Env& env) {
  const platform::CivilTime t = env.LocalNow();
  const float since_midnight = static_cast<float>(env.SecondsSinceMidnight());
  char date[32];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d", t.year % 10000, t.month % 100,
                t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
  // "#0.000" keeps three decimals and takes an exact half away from zero
  // (65000.0625 gives .063). The float times 1000 is exact in a double
  // (24 + 10 significant bits), so the halves are seen as they are.
  const double thousandths = std::round(static_cast<double>(since_midnight) * 1000.0);
  const double last_three = std::fabs(std::fmod(thousandths, 1000.0));
  const int ms = std::isfinite(last_three) ? static_cast<int>(last_three) : 0;
  const char fraction[] = {'.', static_cast<char>('0' + ms / 100),
                           static_cast<char>('0' + ms / 10 % 10), static_cast<char>('0' + ms % 10)};
  return std::string(date) + std::string(fraction, sizeof fraction);
}

std::string SwitchFilePath(const run::TestState& state) {
  return state.AppBase + "/apiexec/upsdebug.txt";
}

std::string NodeLogPath(const run::TestState& state) {
  return state.AppBase + "/apiexec/upsdebug-" + std::to_string(state.NodeId) + ".txt";
}

bool SwitchIsOn(platform::Env& env, const run::TestState& state) {
  return env.IsRegularFile(SwitchFilePath(state));
}

namespace {

void Append(run::Context& ctx, const std::string& path, std::string_view group) {
  try {
    ctx.env.AppendToFile(path, group);
  } catch (const std::exception& e) {
    if (!ctx.log.failure_reported) {
      ctx.log.failure_reported = true;
      ctx.env.WriteStderrLine(std::string("debug log not written, the run goes on without it: ") +
                              e.what());
    }
  }
}

}  // namespace

void AppendNodeLog(run::Context& ctx, std::string_view group) {
  Append(ctx, NodeLogPath(ctx.state), group);
}

void AppendSwitchFile(run::Context& ctx, std::string_view group) {
  Append(ctx, SwitchFilePath(ctx.state), group);
}

std::string Printable(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    const auto code = static_cast<unsigned char>(c);
    if ((code < 0x20 && c != '\t') || code == 0x7f) c = '?';
  }
  return shown;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += kCrLf;
  }
  return text;
}

std::string ArgumentErrorGroup(platform::Env& env, std::string_view argument_text) {
  const std::string first = TimeStamp(env) + " Argument Error";
  const std::string second = TimeStamp(env) + " CommandLine = " + Printable(argument_text);
  return Lines({"", first, second, ""});
}

std::string ParsedArgumentsGroup(platform::Env& env, std::string_view argument_text,
                                 const run::TestState& state) {
  std::vector<std::string> lines{"", TimeStamp(env) + " CommandLine = " + Printable(argument_text)};
  for (int k = 1; k <= 4; ++k) {
    const std::string n = std::to_string(k);
    lines.push_back("ObjOid(" + n + "):      " + Printable(state.ObjOid(k)));
    lines.push_back("ObjCondSign(" + n + "): " + Printable(state.ObjCondSign(k)));
    lines.push_back("ObjCondVal(" + n + "):  " + Printable(state.ObjCondVal(k)));
  }
  lines.push_back("");
  return Lines(lines);
}

std::string NodeRecordGroup(const run::TestState& state) {
  return Lines({
      "IpAddr:     " + Printable(state.IpAddr),
      "Port:       " + std::to_string(state.UdpPort),
      "Status:     " + std::to_string(state.NodeStatus),
      "SnmpVer:    " + Printable(state.SnmpVersion),
      "ReadComm:   " + Printable(state.readcomm),
      "TrapComm:   " + Printable(state.trapcomm),
      "LastChange: " + Printable(state.LastChange),
      "LastMess:   " + Printable(state.LastMessage),
      "",
  });
}

std::string ManagerStartedGroup(platform::Env& env, std::string_view local_address,
                                int32_t local_port) {
  return Lines({TimeStamp(env) + " SNMP Manager Started, IP=" + std::string(local_address) +
                    ", Port=" + std::to_string(local_port),
                ""});
}

std::string SendGetRequestLine(platform::Env& env, const run::TestState& state) {
  std::string line = TimeStamp(env) +
                     " --> SendGetRequest\tReqId: " + std::to_string(state.RequestId) + "\t" +
                     Printable(state.IpAddr) + "\t" + Printable(state.readcomm) + "\t";
  for (int n = 1; n <= 4; ++n) line += state.ObjOid(n) + "\t";
  return Lines({line});
}

namespace {

std::string ResponseHeader(platform::Env& env, int32_t request_id) {
  return TimeStamp(env) + " <-- SnmpResponse\tReqId: " + std::to_string(request_id);
}

void AddBindings(std::vector<std::string>& lines, const std::vector<BindingLine>& bindings) {
  for (const BindingLine& b : bindings) {
    lines.push_back(b.first + ", Value: " + std::to_string(b.second));
  }
}

}  // namespace

std::string ResponseGroup(platform::Env& env, int32_t request_id,
                          const std::vector<BindingLine>& bindings) {
  std::vector<std::string> lines{ResponseHeader(env, request_id)};
  AddBindings(lines, bindings);
  lines.push_back("");
  return Lines(lines);
}

std::string ErrorResponseGroup(platform::Env& env, int32_t request_id, int16_t error_status,
                               int16_t error_index, std::string_view error_description,
                               const std::vector<BindingLine>& bindings) {
  std::vector<std::string> lines{
      ResponseHeader(env, request_id),
      "ErrorStatus: \t" + std::to_string(error_status),
      "ErrorIndex:  \t" + std::to_string(error_index),
      "ErrorDescr:  \t" + std::string(error_description),
      "",
  };
  AddBindings(lines, bindings);
  return Lines(lines);
}

std::string BadPacketGroup(platform::Env& env, int16_t error_code,
                           std::string_view error_description) {
  return Lines({TimeStamp(env) + " BadPacket (" + std::to_string(error_code) + ": " +
                    std::string(error_description),
                ""});
}

std::string SummaryGroup(platform::Env& env, const run::TestState& state, bool trap_sent) {
  return Lines({
      TimeStamp(env),
      "ObjStatus 1:  " + std::to_string(state.ObjStatus(1)) +
          ", ObjStatus 2: " + std::to_string(state.ObjStatus(2)) +
          ", ObjStatus 3: " + std::to_string(state.ObjStatus(3)) +
          ", ObjStatus 4: " + std::to_string(state.ObjStatus(4)),
      "Poll Status:  " + std::to_string(state.PollStatus) +
          ", UPS Status: " + std::to_string(state.UpsStatus),
      "Last Message: " + Printable(state.LastMessage),
      std::string("Trap Sent:    ") + (trap_sent ? "True" : "False"),
      "",
  });
}

std::string ErrorLine(platform::Env& env, std::string_view procedure, std::string_view description,
                      bool empty_line_after) {
  std::vector<std::string> lines{TimeStamp(env) + " (" + std::string(procedure) + ") " +
                                 Printable(description)};
  if (empty_line_after) lines.push_back("");
  return Lines(lines);
}

std::string CommandLineErrorGroup(platform::Env& env, std::string_view description,
                                  std::string_view argument_text) {
  return Lines({TimeStamp(env) + " " + Printable(description),
                "CommandLine = " + Printable(argument_text), ""});
}

std::string ManagerFailedGroup(platform::Env& env, std::string_view description) {
  return Lines({TimeStamp(env) + " SNMP Manager Failed to Start", Printable(description), ""});
}

}  // namespace upstest::diag
