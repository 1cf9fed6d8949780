#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
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

  int64_t MonotonicMs() override {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  }

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
    const int fd = ::open(
        path.c_str(),
        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0640);
    if (fd < 0 && errno == ELOOP) {
      throw Failure("Cannot open '" + path + "': a symbolic link (links are not followed)");
    }
    if (fd < 0) ThrowErrno("Cannot open", path);
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      throw Failure("Cannot write '" + path + "': not an ordinary file");
    }
    // Past the file size limit the write would stop at the limit and leave
    // the group torn: a group that does not fit is not written at all.
    rlimit limits;
    const rlim_t limit = ::getrlimit(RLIMIT_FSIZE, &limits) == 0 ? limits.rlim_cur : RLIM_INFINITY;
    const auto size = static_cast<rlim_t>(st.st_size);
    if (limit != RLIM_INFINITY && (size > limit || bytes.size() > limit - size)) {
      ::close(fd);
      throw Failure("Cannot write '" + path + "': " + std::strerror(EFBIG) +
                    " (the file size limit is " + std::to_string(limit) + " bytes)");
    }
    // The blocks are reserved first, the size left as it is: on a full disk
    // the group then fails whole instead of leaving its first part behind.
    // (File systems without fallocate simply skip the reservation.)
    if (!bytes.empty() &&
        ::fallocate(fd, FALLOC_FL_KEEP_SIZE, st.st_size, static_cast<off_t>(bytes.size())) != 0 &&
        errno == ENOSPC) {
      ::close(fd);
      throw Failure("Cannot write '" + path + "': " + std::strerror(ENOSPC));
    }
    // One write: a second one after a short write could interleave with
    // another run's group.
    ssize_t n;
    do {
      n = ::write(fd, bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
      const int saved = errno;
      ::close(fd);
      errno = saved;
      ThrowErrno("Cannot write", path);
    }
    if (static_cast<size_t>(n) < bytes.size()) {
      ::close(fd);
      throw Failure("Cannot write '" + path + "': " + std::to_string(n) + " of " +
                    std::to_string(bytes.size()) + " bytes written (disk full?)");
    }
    if (::close(fd) != 0) ThrowErrno("Cannot close", path);
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

  void WriteStderrLine(std::string_view line) override {
    std::string text = "upstest: ";
    text.append(CutStderrLine(line));
    text += '\n';
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
