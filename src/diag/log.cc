#include "diag/log.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

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

std::string NodeLog::SwitchFilePath() const { return base_ + "/apiexec/upsdebug.txt"; }

std::string NodeLog::NodeLogPath() const {
  return base_ + "/apiexec/upsdebug-" + std::to_string(node_id_) + ".txt";
}

bool NodeLog::SwitchIsOn() const { return env_.IsRegularFile(SwitchFilePath()); }

void NodeLog::AppendNodeLog(std::string_view group) { Append(NodeLogPath(), group); }

void NodeLog::AppendSwitchFile(std::string_view group) { Append(SwitchFilePath(), group); }

void NodeLog::Append(const std::string& path, std::string_view group) {
  try {
    env_.AppendToFile(path, group);
  } catch (const std::exception& e) {
    if (!failure_reported_) {
      failure_reported_ = true;
      env_.WriteStderrLine(std::string("debug log not written, the run goes on without it: ") +
                           e.what());
    }
  }
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
                                 std::span<const std::string> oids,
                                 std::span<const std::string> signs,
                                 std::span<const std::string> values) {
  std::vector<std::string> lines{"", TimeStamp(env) + " CommandLine = " + Printable(argument_text)};
  const size_t count = std::min({oids.size(), signs.size(), values.size()});
  for (size_t i = 0; i < count; ++i) {
    const std::string n = std::to_string(i + 1);
    lines.push_back("ObjOid(" + n + "):      " + Printable(oids[i]));
    lines.push_back("ObjCondSign(" + n + "): " + Printable(signs[i]));
    lines.push_back("ObjCondVal(" + n + "):  " + Printable(values[i]));
  }
  lines.push_back("");
  return Lines(lines);
}

std::string NodeRecordGroup(const NodeRecord& record) {
  return Lines({
      "IpAddr:     " + Printable(record.address),
      "Port:       " + std::to_string(record.port),
      "Status:     " + std::to_string(record.status),
      "SnmpVer:    " + Printable(record.snmp_version),
      "ReadComm:   " + Printable(record.read_community),
      "TrapComm:   " + Printable(record.trap_community),
      "LastChange: " + Printable(record.last_change),
      "LastMess:   " + Printable(record.last_message),
      "",
  });
}

std::string ManagerStartedGroup(platform::Env& env, std::string_view local_address,
                                int32_t local_port) {
  return Lines({TimeStamp(env) + " SNMP Manager Started, IP=" + std::string(local_address) +
                    ", Port=" + std::to_string(local_port),
                ""});
}

std::string SendGetRequestLine(platform::Env& env, const GetRequest& request) {
  std::string line = TimeStamp(env) +
                     " --> SendGetRequest\tReqId: " + std::to_string(request.request_id) + "\t" +
                     Printable(request.address) + "\t" + Printable(request.read_community) + "\t";
  for (const std::string& oid : request.oids) line += oid + "\t";
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

std::string SummaryGroup(platform::Env& env, const Summary& summary) {
  std::string statuses;
  for (size_t i = 0; i < summary.object_statuses.size(); ++i) {
    // The first label is followed by two spaces, the others by one.
    statuses += (i == 0 ? "ObjStatus 1:  " : ", ObjStatus " + std::to_string(i + 1) + ": ") +
                std::to_string(summary.object_statuses[i]);
  }
  return Lines({
      TimeStamp(env),
      statuses,
      "Poll Status:  " + std::to_string(summary.poll_status) +
          ", UPS Status: " + std::to_string(summary.ups_status),
      "Last Message: " + Printable(summary.last_message),
      std::string("Trap Sent:    ") + (summary.trap_sent ? "True" : "False"),
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
