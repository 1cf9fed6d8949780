// An Env in virtual time with files in memory, for tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/stderr_line.h"

namespace upstest::testing {

class FakeEnv final : public platform::Env {
 public:
  // Virtual time starts at `start` (local) plus `start_ms` milliseconds.
  explicit FakeEnv(platform::CivilTime start = {2026, 12, 8, 10, 0, 0}, int64_t start_ms = 0);

  // Moves virtual time to `until_ms`; no descriptor is ever readable here
  // (scripted sources wake a wait by the time their events fall due).
  bool SleepUntil(int64_t until_ms, const std::vector<int>& wake_fds = {}) override;
  int64_t MonotonicMs() override { return now_ms_; }
  platform::CivilTime LocalNow() override;
  double SecondsSinceMidnight() override;
  bool IsRegularFile(const std::string& path) override;
  void AppendToFile(const std::string& path, std::string_view bytes) override;
  platform::HostLookup LookUpHost(const std::string& host) override;
  // Records the line as the program writes it, without "upstest: " and the
  // line end.
  void WriteStderr(std::string_view text) override {
    text.remove_prefix(std::min(text.size(), std::string_view("upstest: ").size()));
    if (!text.empty()) text.remove_suffix(1);
    stderr_lines.emplace_back(text);
  }

  // Virtual milliseconds since the start.
  int64_t now_ms() const { return now_ms_; }
  void Advance(int64_t ms) { now_ms_ += ms; }
  // Steps the local time (not the monotonic clock) by `ms`, as a change of
  // summer time or a corrected system clock does.
  void StepLocalTime(int64_t ms) { start_serial_ms_ += ms; }
  // Every sleep (one blocking call each), in order, in ms.
  const std::vector<int>& sleeps() const { return sleeps_; }
  // All of them together.
  int slept_ms() const;

  // Files: regular files hold content; directories only exist.
  std::map<std::string, std::string> files;
  std::set<std::string> directories;
  // Every append: (path, bytes), in order. One group is one append.
  std::vector<std::pair<std::string, std::string>> appends;
  // Appends to a path in this set fail with "Permission denied".
  std::set<std::string> failing_paths;
  // Names and the address literals they resolve to; a literal resolves to
  // itself, anything else fails as an unknown name.
  std::map<std::string, std::vector<std::string>> hosts;
  // Every host looked up, in order.
  std::vector<std::string> lookups;
  // Every line written to the standard error, without "upstest: ".
  std::vector<std::string> stderr_lines;

  // The content of a file written here; empty when there is none.
  std::string ContentOf(const std::string& path) const;

 private:
  int64_t start_serial_ms_;
  int64_t now_ms_ = 0;
  std::vector<int> sleeps_;
};

}  // namespace upstest::testing
