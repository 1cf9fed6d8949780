// The operating system as the run sees it: sleep, clocks and files.
//
// Abstract so that tests can run a whole run in virtual time with files in
// memory (test_support/fake_env.h). The real implementation is DefaultEnv().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace upstest::platform {

// A local date and time, to the second.
struct CivilTime {
  int year = 0, month = 0, day = 0;      // month and day from 1
  int hour = 0, minute = 0, second = 0;  // 24-hour clock
  bool operator==(const CivilTime&) const = default;
};

// Whole seconds since 0000-03-01 00:00:00 of the proleptic Gregorian
// calendar (day 0 of the civil-days count), so that two local times can be
// compared and a span added.
int64_t SerialSeconds(const CivilTime& t);

class Env {
 public:
  virtual ~Env() = default;

  // Sleeps `ms` milliseconds on the monotonic clock; returns at once for 0
  // or less.
  virtual void SleepMs(int ms) = 0;

  // Milliseconds on the monotonic clock: steps of the local time (summer
  // time, a corrected system clock) do not move it. Deadlines and elapsed
  // times are measured with it.
  virtual int64_t MonotonicMs() = 0;

  // The current local date and time, to the second.
  virtual CivilTime LocalNow() = 0;

  // Seconds since local midnight, with their fraction.
  virtual double SecondsSinceMidnight() = 0;

  // True only when `path` itself names an ordinary file (not a directory,
  // device or anything else). A symbolic link is not followed and counts as
  // no ordinary file, whatever it points to.
  virtual bool IsRegularFile(const std::string& path) = 0;

  // Appends `bytes` to `path` in one write, creating the file (mode 0640:
  // the logs hold the communities) when absent: open O_WRONLY|O_APPEND|
  // O_CREAT|O_NONBLOCK|O_NOFOLLOW, check that it is an ordinary file,
  // write, close. So two processes appending to one file never interleave
  // within one call, a FIFO or device at `path` neither blocks nor receives
  // anything, and nothing is written through a symbolic link at `path`.
  // Bytes that would take the file past the process's file size limit
  // (RLIMIT_FSIZE) are not written at all. Throws Failure with the
  // system's description when any step fails, also when fewer bytes than
  // given were written.
  virtual void AppendToFile(const std::string& path, std::string_view bytes) = 0;

  // Writes "upstest: <line>" and a line end to the standard error.
  virtual void WriteStderrLine(std::string_view line) = 0;
};

// The real operating system. Lives for the whole process.
Env& DefaultEnv();

}  // namespace upstest::platform
