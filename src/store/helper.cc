#include "store/helper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>

#include "platform/error.h"

extern char** environ;

namespace upstest::store {
namespace {

std::string& HelperPath() {
  static std::string path;
  return path;
}

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

// How long a helper whose input has closed may take to end by itself
// (closing its connection) before it is killed.
constexpr std::chrono::milliseconds kQuietEnd{1000};

// The helper as this process sees it: its pipes and its pid. Every wait on
// it has a deadline; a helper that misses one, breaks the protocol or dies
// is killed and reaped at once, and the connection is dead from then on.
class HelperConnection final : public ProviderConnection {
 public:
  HelperConnection(pid_t pid, int to_child, int from_child)
      : pid_(pid), to_child_(to_child), from_child_(from_child) {}
  ~HelperConnection() override {
    if (pid_ <= 0) return;
    // The helper ends when its input closes; it is killed when it does not.
    ::close(to_child_);
    to_child_ = -1;
    const Clock::time_point deadline = Clock::now() + kQuietEnd;
    try {
      char ignored[256];
      while (Read(ignored, sizeof ignored, deadline) > 0) {
      }
    } catch (const std::exception&) {
      // Not ended in time: killed below.
    }
    Stop();
  }
  HelperConnection(const HelperConnection&) = delete;
  HelperConnection& operator=(const HelperConnection&) = delete;

  // Sends `request` and returns the record of its answer; waits at most
  // `bound_s` seconds for the whole exchange.
  std::string Ask(const std::string& request, int bound_s, OperationNotes& notes) {
    if (pid_ <= 0) throw platform::Failure("database helper ended unexpectedly");
    HelperAnswer answer;
    try {
      const Clock::time_point deadline = Clock::now() + std::chrono::seconds(bound_s);
      Write(EncodeFrame(request), deadline, bound_s);
      char header[kHelperFrameHeader];
      ReadExactly(header, sizeof header, deadline, bound_s);
      std::string body(DecodeFrameLength(std::string_view(header, sizeof header)), '\0');
      ReadExactly(body.data(), body.size(), deadline, bound_s);
      answer = DecodeAnswer(body);
    } catch (const std::exception&) {
      Stop();
      throw;
    }
    // The helper's own failure of the operation; it goes on serving.
    if (answer.failure) throw platform::Failure(*answer.failure);
    notes.error_count = answer.error_count;
    return std::move(answer.record);
  }

  FirstRecord Execute(const std::string& sql, OperationNotes& notes) override {
    return Decode(Ask(EncodeStatementRequest(kHelperExecute, sql), kLongestDatabaseWaitS, notes));
  }
  FirstRecord OpenTable(const std::string& table, OperationNotes& notes) override {
    return Decode(Ask(EncodeStatementRequest(kHelperTable, table), kLongestDatabaseWaitS, notes));
  }

 private:
  FirstRecord Decode(const std::string& bytes) {
    try {
      return DecodeRecord(bytes);
    } catch (const std::exception&) {
      Stop();
      throw;
    }
  }

  // Kills and reaps the helper. Killing one that has ended already does
  // nothing: it stays this process's child until it is reaped.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    for (int* fd : {&to_child_, &from_child_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }

  [[noreturn]] static void TimedOut(int bound_s) {
    throw platform::Failure("The database helper did not answer within " + std::to_string(bound_s) +
                            " s");
  }

  // Waits until `fd` is ready for `events` or the deadline passes (false).
  static bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd ready{fd, events, 0};
      const int n = ::poll(&ready, 1, static_cast<int>(std::min<int64_t>(left.count(), 60'000)));
      if (n < 0 && errno != EINTR) throw platform::Failure(std::strerror(errno));
      if (n > 0 && ready.revents != 0) return true;
    }
  }

  void Write(std::string_view bytes, Clock::time_point deadline, int bound_s) {
    while (!bytes.empty()) {
      const ssize_t n = ::write(to_child_, bytes.data(), bytes.size());
      if (n > 0) {
        bytes.remove_prefix(static_cast<size_t>(n));
      } else if (n < 0 && errno == EAGAIN) {
        if (!WaitFor(to_child_, POLLOUT, deadline)) TimedOut(bound_s);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        throw platform::Failure("database helper ended unexpectedly");
      }
    }
  }

  // Some octets (0 at the end of the pipe); waits until the deadline.
  size_t Read(char* data, size_t size, Clock::time_point deadline, int bound_s = 0) {
    for (;;) {
      const ssize_t n = ::read(from_child_, data, size);
      if (n >= 0) return static_cast<size_t>(n);
      if (errno == EINTR) continue;
      if (errno != EAGAIN) throw platform::Failure("database helper ended unexpectedly");
      if (!WaitFor(from_child_, POLLIN, deadline)) TimedOut(bound_s);
    }
  }

  void ReadExactly(char* data, size_t size, Clock::time_point deadline, int bound_s) {
    for (size_t done = 0; done < size;) {
      const size_t n = Read(data + done, size - done, deadline, bound_s);
      if (n == 0) throw platform::Failure("database helper ended unexpectedly");
      done += n;
    }
  }

  pid_t pid_;
  int to_child_;
  int from_child_;
};

// The helper's two pipes while it is started, numbered as the helper's
// descriptors: its input and its answers, both closed on exec. Whatever end
// is still held when this goes is closed.
class HelperPipes {
 public:
  static constexpr int kInput = STDIN_FILENO, kAnswers = STDOUT_FILENO;

  // Throws Failure with the system's text when a pipe cannot be made.
  HelperPipes() {
    for (auto& pipe : ends_) {
      if (::pipe2(pipe, O_CLOEXEC) != 0) {
        const int error = errno;
        CloseAll();  // no destructor runs for a constructor that throws
        throw platform::Failure(std::strerror(error));
      }
    }
    // This process's ends do not block: every wait on them is a poll.
    for (int i : {kInput, kAnswers}) ::fcntl(OwnEnd(i), F_SETFL, O_NONBLOCK);
  }
  ~HelperPipes() { CloseAll(); }
  HelperPipes(const HelperPipes&) = delete;
  HelperPipes& operator=(const HelperPipes&) = delete;

  // The helper's end of pipe `i`: the reading end of its input, the
  // writing end of its answers.
  int& ChildEnd(int i) { return ends_[i][i == kInput ? 0 : 1]; }
  // Closes the helper's ends once it holds its own copies (or never will).
  void CloseChildEnds() {
    for (int i : {kInput, kAnswers}) {
      ::close(ChildEnd(i));
      ChildEnd(i) = -1;
    }
  }
  // This process's end of pipe `i`, handed over: no longer closed here.
  int Take(int i) { return std::exchange(OwnEnd(i), -1); }

 private:
  int& OwnEnd(int i) { return ends_[i][i == kInput ? 1 : 0]; }
  void CloseAll() {
    for (auto& pipe : ends_) {
      for (int& fd : pipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
      }
    }
  }

  int ends_[2][2] = {{-1, -1}, {-1, -1}};
};

// Starts `helper` on the pipes' child ends with this process's pid as its
// argument, and closes those ends here. Returns its pid; throws Failure
// when it cannot be started.
pid_t Spawn(const std::string& helper, HelperPipes& pipes) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int i : {HelperPipes::kInput, HelperPipes::kAnswers}) {
    posix_spawn_file_actions_adddup2(&actions, pipes.ChildEnd(i), i);
  }
  // What the helper's libraries print (libmdb's complaints about a corrupt
  // file, a driver's chatter) reaches nobody: the run's standard error holds
  // only its own lines, and a failure comes back as the helper's answer.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  // The helper checks that its parent is still this process once it has
  // asked to die with it.
  std::string parent = std::to_string(::getpid());
  char* argv[] = {const_cast<char*>(helper.c_str()), parent.data(), nullptr};
  // This process ignores SIGPIPE, and the helper would inherit that: it is
  // to die when it writes answers nobody reads any more (this process is
  // gone).
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  sigaddset(&signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, helper.c_str(), &actions, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  pipes.CloseChildEnds();
  if (rc != 0) {
    throw platform::Failure("Cannot start the database helper '" + helper +
                            "': " + std::strerror(rc));
  }
  return pid;
}

// Starts the helper and holds it as a connection that has opened nothing
// yet. Throws Failure when it cannot be started; nothing is left behind.
std::unique_ptr<HelperConnection> StartHelper(const std::string& helper) {
  HelperPipes pipes;
  const pid_t pid = Spawn(helper, pipes);
  // A helper that dies must not kill this process with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  return std::make_unique<HelperConnection>(pid, pipes.Take(HelperPipes::kInput),
                                            pipes.Take(HelperPipes::kAnswers));
}

}  // namespace

void UseDatabaseHelper(std::string path) { HelperPath() = std::move(path); }
const std::string& DatabaseHelper() { return HelperPath(); }

std::unique_ptr<ProviderConnection> OpenThroughHelper(char kind, const std::string& target,
                                                      int timeout_s, OperationNotes& notes) {
  const std::string& helper = HelperPath();
  if (helper.empty()) return OpenHere(kind, target, timeout_s, notes);
  auto connection = StartHelper(helper);
  const int bound_s =
      timeout_s > 0 ? std::min(timeout_s, kLongestDatabaseWaitS) : kLongestDatabaseWaitS;
  connection->Ask(EncodeOpenRequest(kind, timeout_s, target), bound_s, notes);
  return connection;
}

}  // namespace upstest::store
