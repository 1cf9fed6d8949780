#include "test_support/fake_env.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "platform/error.h"

namespace upstest::testing {

FakeEnv::FakeEnv(platform::CivilTime start, int64_t start_ms)
    : start_serial_ms_(platform::SerialSeconds(start) * 1000 + start_ms) {}

bool FakeEnv::SleepUntil(int64_t until_ms, const std::vector<int>&) {
  if (until_ms <= now_ms_) return false;
  sleeps_.push_back(static_cast<int>(until_ms - now_ms_));
  now_ms_ = until_ms;
  return false;
}

int FakeEnv::slept_ms() const {
  int total = 0;
  for (int ms : sleeps_) total += ms;
  return total;
}

platform::CivilTime FakeEnv::LocalNow() {
  const int64_t serial_s = (start_serial_ms_ + now_ms_) / 1000;
  // Inverse of SerialSeconds (civil from days).
  int64_t days = serial_s / 86400;
  const int64_t secs = serial_s % 86400;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t doe = days - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  const int month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  const int year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
  return platform::CivilTime{year,
                             month,
                             day,
                             static_cast<int>(secs / 3600),
                             static_cast<int>(secs % 3600 / 60),
                             static_cast<int>(secs % 60)};
}

double FakeEnv::SecondsSinceMidnight() {
  const int64_t ms = (start_serial_ms_ + now_ms_) % (86400 * 1000);
  return static_cast<double>(ms) / 1000.0;
}

bool FakeEnv::IsRegularFile(const std::string& path) { return files.count(path) != 0; }

void FakeEnv::AppendToFile(const std::string& path, std::string_view bytes) {
  if (failing_paths.count(path) != 0 || directories.count(path) != 0) {
    throw platform::Failure("Cannot open '" + path + "': Permission denied");
  }
  files[path].append(bytes);
  appends.emplace_back(path, std::string(bytes));
}

platform::HostLookup FakeEnv::LookUpHost(const std::string& host) {
  lookups.push_back(host);
  const auto named = hosts.find(host);
  const std::vector<std::string> literals =
      named != hosts.end() ? named->second : std::vector<std::string>{host};
  platform::HostLookup lookup;
  for (const std::string& literal : literals) {
    platform::SocketAddress address;
    auto* v4 = reinterpret_cast<sockaddr_in*>(&address.storage);
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.storage);
    if (inet_pton(AF_INET, literal.c_str(), &v4->sin_addr) == 1) {
      v4->sin_family = AF_INET;
      address.length = sizeof *v4;
    } else if (inet_pton(AF_INET6, literal.c_str(), &v6->sin6_addr) == 1) {
      v6->sin6_family = AF_INET6;
      address.length = sizeof *v6;
    } else {
      continue;
    }
    lookup.addresses.push_back(address);
  }
  if (lookup.addresses.empty()) lookup.error = "Name or service not known";
  return lookup;
}

std::string FakeEnv::ContentOf(const std::string& path) const {
  const auto it = files.find(path);
  return it == files.end() ? std::string() : it->second;
}

}  // namespace upstest::testing
