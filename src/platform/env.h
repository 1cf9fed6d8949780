// The operating system as the run sees it: sleep, clocks and files.
//
// Abstract so that tests can run a whole run in virtual time with files in
// memory (test_support/fake_env.h). The real implementation is DefaultEnv().
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/printable.h"
#include "platform/stderr_line.h"

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

// An address a datagram can go to, as the system gives it (port 0 when it
// comes from a lookup).
struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
};

// What one lookup of a host found.
struct HostLookup {
  std::vector<SocketAddress> addresses;  // in the resolver's order
  std::string error;                     // why none was found; empty when some were
};

class Env {
 public:
  virtual ~Env() = default;

  // Sleeps until the monotonic clock reaches `until_ms` or, sooner, one of
  // `wake_fds` has something to read, in one blocking call (poll), and says
  // which: true when a descriptor is readable. Returns false at once when
  // `until_ms` has passed. With no descriptors it is a plain sleep. A
  // signal does not cut it short; a descriptor that cannot be polled is
  // slept through, so a sleep never ends early without a reason.
  virtual bool SleepUntil(int64_t until_ms, const std::vector<int>& wake_fds = {}) = 0;

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
  // O_CREAT|O_NONBLOCK|O_NOFOLLOW, check that it is an ordinary file, lock
  // it (flock, exclusive; waiting at most 200 ms for another process's
  // append), write, close. So two processes appending to one file never
  // interleave within one call, a FIFO or device at `path` neither blocks
  // nor receives anything, and nothing is written through a symbolic link
  // at `path`. Bytes that would take the file past the process's file size
  // limit (RLIMIT_FSIZE) are not written at all, also when several
  // processes append at once: the size is judged under the lock. Throws
  // Failure with the system's description when any step fails, also when
  // fewer bytes than given were written or the lock was not had in time.
  virtual void AppendToFile(const std::string& path, std::string_view bytes) = 0;

  // Looks `host` (a name, or an IPv4 or IPv6 literal) up for datagrams:
  // one call of the system's resolver, one query per address family. It
  // takes as long as the resolver is configured to (resolv.conf's timeout
  // and attempts); a run asks once per name (platform/resolver.h).
  virtual HostLookup LookUpHost(const std::string& host) = 0;

  // Writes "upstest: <line>" and a line end to the standard error, the
  // line's control characters shown as '?' (platform/printable.h) and the
  // line cut by CutStderrLine (platform/stderr_line.h), so that no text
  // from outside reaches a terminal as a control or floods it.
  void WriteStderrLine(std::string_view line) {
    WriteStderr("upstest: " + CutStderrLine(Printable(line)) + "\n");
  }

 protected:
  // Writes `text` to the standard error in one write; a failed write is
  // lost alone.
  virtual void WriteStderr(std::string_view text) = 0;
};

// The real operating system. Lives for the whole process.
Env& DefaultEnv();

}  // namespace upstest::platform
