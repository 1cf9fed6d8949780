#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/env.h"
#include "platform/error.h"
#include "platform/scoped_fd.h"
#include "platform/stderr_line.h"

namespace upstest::platform {

int64_t SerialSeconds(const CivilTime& t) {
  // Days from civil (proleptic Gregorian), shifted so March is month 0.
  const int64_t y = t.year - (t.month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (t.month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + t.day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = era * 146097 + doe;
  return days * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

namespace {

// A run watches at most its manager's two sockets.
constexpr size_t kMaxWakeFds = 4;

[[noreturn]] void ThrowErrno(const std::string& what, const std::string& path) {
  throw Failure(what + " '" + path + "': " + std::strerror(errno));
}

// How long an append waits for another run's append to the same file.
constexpr int64_t kAppendLockMs = 200;
constexpr timespec kAppendLockRetry{0, 1000000};  // 1 ms

ScopedFd OpenForAppending(const std::string& path) {
  ScopedFd fd(::open(path.c_str(),
                     O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW,
                     0640));
  if (!fd.valid() && errno == ELOOP) {
    throw Failure("Cannot open '" + path + "': a symbolic link (links are not followed)");
  }
  if (!fd.valid()) ThrowErrno("Cannot open", path);
  return fd;
}

void CheckOrdinaryFile(const ScopedFd& fd, const std::string& path) {
  struct stat st;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw Failure("Cannot write '" + path + "': not an ordinary file");
  }
}

int64_t MonotonicNowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// An exclusive lock on the open file, released when it is closed. The runs
// of one node hold it for one write each, so it is free again within
// microseconds; one held longer (a stopped process) costs this group after
// kAppendLockMs, never the run. A file system that has no locks is written
// without one.
void LockForAppending(const ScopedFd& fd, const std::string& path) {
  const int64_t give_up_ms = MonotonicNowMs() + kAppendLockMs;
  while (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return;
    if (MonotonicNowMs() >= give_up_ms) {
      throw Failure("Cannot write '" + path + "': locked by another process for " +
                    std::to_string(kAppendLockMs) + " ms");
    }
    nanosleep(&kAppendLockRetry, nullptr);
  }
}

// The file's size under the lock, where `count` more bytes fit. Past the
// file size limit the write would stop at the limit and leave the group
// torn: a group that does not fit is not written at all.
off_t SizeWhereTheGroupFits(const ScopedFd& fd, const std::string& path, size_t count) {
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) ThrowErrno("Cannot write", path);
  rlimit limits;
  const rlim_t limit = ::getrlimit(RLIMIT_FSIZE, &limits) == 0 ? limits.rlim_cur : RLIM_INFINITY;
  if (limit == RLIM_INFINITY) return st.st_size;
  const auto size = static_cast<rlim_t>(st.st_size);
  if (size > limit || count > limit - size) {
    throw Failure("Cannot write '" + path + "': " + std::strerror(EFBIG) +
                  " (the file size limit is " + std::to_string(limit) + " bytes)");
  }
  return st.st_size;
}

// The blocks are reserved first, the size left as it is: on a full disk
// the group then fails whole instead of leaving its first part behind.
// (File systems without fallocate simply skip the reservation.)
void ReserveBlocks(const ScopedFd& fd, const std::string& path, off_t size, size_t count) {
  if (count > 0 &&
      ::fallocate(fd.get(), FALLOC_FL_KEEP_SIZE, size, static_cast<off_t>(count)) != 0 &&
      errno == ENOSPC) {
    throw Failure("Cannot write '" + path + "': " + std::strerror(ENOSPC));
  }
}

// One write: a second one after a short write could interleave with
// another run's group.
void WriteOnce(const ScopedFd& fd, const std::string& path, std::string_view bytes) {
  ssize_t n;
  do {
    n = ::write(fd.get(), bytes.data(), bytes.size());
  } while (n < 0 && errno == EINTR);
  if (n < 0) ThrowErrno("Cannot write", path);
  if (static_cast<size_t>(n) < bytes.size()) {
    throw Failure("Cannot write '" + path + "': " + std::to_string(n) + " of " +
                  std::to_string(bytes.size()) + " bytes written (disk full?)");
  }
}

class PosixEnv final : public Env {
 public:
  // The run's waits are its design; the kernel's default timer slack
  // (50 us) would add to each of its 10 ms sleeps.
  PosixEnv() { prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL); }

  bool SleepUntil(int64_t until_ms, const std::vector<int>& wake_fds) override {
    const timespec deadline{static_cast<time_t>(until_ms / 1000),
                            static_cast<long>(until_ms % 1000) * 1000000L};
    std::array<pollfd, kMaxWakeFds> polled{};
    const size_t count = std::min(wake_fds.size(), polled.size());
    for (size_t i = 0; i < count; ++i) polled[i] = {wake_fds[i], POLLIN, 0};
    for (;;) {
      timespec now;
      clock_gettime(CLOCK_MONOTONIC, &now);
      int64_t left_ns = (static_cast<int64_t>(deadline.tv_sec) - now.tv_sec) * 1000000000LL +
                        (deadline.tv_nsec - now.tv_nsec);
      if (left_ns <= 0) return false;
      if (count == 0) break;
      const timespec left{static_cast<time_t>(left_ns / 1000000000LL),
                          static_cast<long>(left_ns % 1000000000LL)};
      const int ready = ppoll(polled.data(), count, &left, nullptr);
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) break;  // slept through below
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
    return false;
  }

  int64_t MonotonicMs() override { return MonotonicNowMs(); }

  CivilTime LocalNow() override {
    const time_t now = time(nullptr);
    tm local;
    localtime_r(&now, &local);
    return CivilTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
  }

  double SecondsSinceMidnight() override {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm local;
    localtime_r(&now.tv_sec, &local);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_nsec / 1e9;
  }

  bool IsRegularFile(const std::string& path) override {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }

  void AppendToFile(const std::string& path, std::string_view bytes) override {
    ScopedFd fd = OpenForAppending(path);
    CheckOrdinaryFile(fd, path);
    // The file's size is looked at only under the lock: another run that
    // appends between the look and the write could otherwise make the
    // group pass the file size limit and be cut at it.
    LockForAppending(fd, path);
    const off_t size = SizeWhereTheGroupFits(fd, path, bytes.size());
    ReserveBlocks(fd, path, size, bytes.size());
    WriteOnce(fd, path, bytes);
    if (fd.Close() != 0) ThrowErrno("Cannot close", path);
  }

  HostLookup LookUpHost(const std::string& host) override {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const int rc = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    HostLookup lookup;
    for (const addrinfo* a = rc == 0 ? found : nullptr; a != nullptr; a = a->ai_next) {
      if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
      SocketAddress address;
      std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
      address.length = a->ai_addrlen;
      lookup.addresses.push_back(address);
    }
    if (found != nullptr) freeaddrinfo(found);
    if (lookup.addresses.empty()) {
      lookup.error = rc != 0 ? gai_strerror(rc) : "no address for datagrams";
    }
    return lookup;
  }

  void WriteStderr(std::string_view text) override {
    // One write, so that the line of one run is never split by another's.
    // A line that cannot be written (a pipe whose reader has gone) is lost
    // alone: the run goes on.
    ssize_t n;
    do {
      n = ::write(STDERR_FILENO, text.data(), text.size());
    } while (n < 0 && errno == EINTR);
  }
};

}  // namespace

Env& DefaultEnv() {
  static PosixEnv env;
  return env;
}

}  // namespace upstest::platform
