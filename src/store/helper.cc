#include "store/helper.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/error.h"

extern char** environ;

namespace upstest::store {
namespace {

std::string& HelperPath() {
  static std::string path;
  return path;
}

// --- Encoding: tags, fixed-width integers, length-prefixed texts. ---------

// Fixed-width integers, least significant octet first.
template <typename T>
void PutFixed(std::string& out, T v) {
  for (size_t i = 0; i < sizeof(T); ++i) {
    out.push_back(static_cast<char>((static_cast<uint64_t>(v) >> (8 * i)) & 0xff));
  }
}
void PutU32(std::string& out, uint32_t v) { PutFixed(out, v); }
void PutU64(std::string& out, uint64_t v) { PutFixed(out, v); }
void PutText(std::string& out, std::string_view text) {
  PutU32(out, static_cast<uint32_t>(text.size()));
  out.append(text);
}

class Cursor {
 public:
  explicit Cursor(std::string_view bytes) : rest_(bytes) {}
  uint8_t Byte() {
    Need(1);
    const auto v = static_cast<uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return v;
  }
  uint32_t U32() { return Fixed<uint32_t>(); }
  uint64_t U64() { return Fixed<uint64_t>(); }
  std::string Text() {
    const uint32_t n = U32();
    Need(n);
    std::string text(rest_.substr(0, n));
    rest_.remove_prefix(n);
    return text;
  }
  bool AtEnd() const { return rest_.empty(); }

 private:
  template <typename T>
  T Fixed() {
    Need(sizeof(T));
    uint64_t v = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
      v |= static_cast<uint64_t>(static_cast<uint8_t>(rest_[i])) << (8 * i);
    }
    rest_.remove_prefix(sizeof(T));
    return static_cast<T>(v);
  }
  void Need(size_t n) const {
    if (rest_.size() < n) throw platform::Failure("database helper: answer cut short");
  }
  std::string_view rest_;
};

enum ValueTag : uint8_t { kNull = 0, kText = 1, kInteger = 2, kFloating = 3, kBool = 4, kDate = 5 };

void PutValue(std::string& out, const Value& value) {
  const Value::Data& d = value.data();
  if (const auto* s = std::get_if<std::string>(&d)) {
    out.push_back(kText);
    PutText(out, *s);
  } else if (const auto* i = std::get_if<int64_t>(&d)) {
    out.push_back(kInteger);
    PutU64(out, static_cast<uint64_t>(*i));
  } else if (const auto* f = std::get_if<double>(&d)) {
    uint64_t bits;
    std::memcpy(&bits, f, sizeof bits);
    out.push_back(kFloating);
    PutU64(out, bits);
  } else if (const auto* b = std::get_if<bool>(&d)) {
    out.push_back(kBool);
    out.push_back(*b ? 1 : 0);
  } else if (const auto* t = std::get_if<DateTime>(&d)) {
    out.push_back(kDate);
    for (int part : {t->year, t->month, t->day, t->hour, t->minute, t->second}) {
      PutU32(out, static_cast<uint32_t>(part));
    }
  } else {
    out.push_back(kNull);
  }
}

Value GetValue(Cursor& in) {
  switch (in.Byte()) {
    case kNull:
      return Value();
    case kText:
      return Value::Text(in.Text());
    case kInteger:
      return Value::Integer(static_cast<int64_t>(in.U64()));
    case kFloating: {
      const uint64_t bits = in.U64();
      double v;
      std::memcpy(&v, &bits, sizeof v);
      return Value::Floating(v);
    }
    case kBool:
      return Value::Boolean(in.Byte() != 0);
    case kDate: {
      DateTime t;
      for (int* part : {&t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second}) {
        *part = static_cast<int32_t>(in.U32());
      }
      return Value::Date(t);
    }
    default:
      throw platform::Failure("database helper: unknown value kind");
  }
}

// --- Frames on a pipe: a 32-bit length, then the body. --------------------

constexpr uint32_t kMaxFrame = 64u << 20;  // far above any first record

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw platform::Failure("database helper ended unexpectedly");
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

// False at a clean end of the pipe before a frame begins.
bool ReadExactly(int fd, char* data, size_t size, bool allow_end) {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 && done == 0 && allow_end) return false;
    if (n <= 0) throw platform::Failure("database helper ended unexpectedly");
    done += static_cast<size_t>(n);
  }
  return true;
}

void SendFrame(int fd, std::string_view body) {
  std::string frame;
  PutU32(frame, static_cast<uint32_t>(body.size()));
  frame.append(body);
  WriteAll(fd, frame);
}

bool ReceiveFrame(int fd, std::string& body, bool allow_end) {
  char header[4];
  if (!ReadExactly(fd, header, sizeof header, allow_end)) return false;
  const uint32_t size = Cursor(std::string_view(header, 4)).U32();
  if (size > kMaxFrame) throw platform::Failure("database helper: frame too long");
  body.resize(size);
  ReadExactly(fd, body.data(), size, false);
  return true;
}

// Answers: 'K' + error count [+ record], or 'F' + description.
constexpr char kOk = 'K';
constexpr char kFailed = 'F';
constexpr char kExecute = 'E';
constexpr char kTable = 'T';

using Clock = std::chrono::steady_clock;  // CLOCK_MONOTONIC

// How long a helper whose input has closed may take to end by itself
// (closing its connection) before it is killed.
constexpr std::chrono::milliseconds kQuietEnd{1000};

// The helper as this process sees it: its pipes and its pid. Every wait on
// it has a deadline; a helper that misses one, breaks the protocol or dies
// is killed and reaped at once, and the connection is dead from then on.
class HelperConnection final : public ProviderConnection {
 public:
  HelperConnection(pid_t pid, int to_child, int from_child, int errors)
      : pid_(pid), to_child_(to_child), from_child_(from_child), errors_(errors) {}
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

  // Sends `request` and returns the answer after its 'K' and error count;
  // waits at most `bound_s` seconds for the whole exchange.
  std::string Ask(const std::string& request, int bound_s, OperationNotes& notes) {
    if (pid_ <= 0) throw platform::Failure("database helper ended unexpectedly");
    std::string answer;
    std::optional<std::string> failure;
    try {
      const Clock::time_point deadline = Clock::now() + std::chrono::seconds(bound_s);
      std::string frame;
      PutU32(frame, static_cast<uint32_t>(request.size()));
      frame += request;
      Write(frame, deadline, bound_s);
      char header[4];
      ReadExactly(header, sizeof header, deadline, bound_s);
      const uint32_t size = Cursor(std::string_view(header, 4)).U32();
      if (size > kMaxFrame) throw platform::Failure("database helper: frame too long");
      answer.resize(size);
      ReadExactly(answer.data(), size, deadline, bound_s);
      Cursor in(answer);
      const uint8_t tag = in.Byte();
      if (tag == kFailed) {
        failure = in.Text();
      } else if (tag == kOk) {
        notes.error_count = static_cast<int>(in.U32());
      } else {
        throw platform::Failure("database helper: malformed answer");
      }
    } catch (const std::exception&) {
      Stop();
      throw;
    }
    // The helper's own failure of the operation; it goes on serving.
    if (failure) throw platform::Failure(*failure);
    return answer.substr(5);
  }

  FirstRecord Execute(const std::string& sql, OperationNotes& notes) override {
    return Decode(Ask(std::string(1, kExecute) + sql, kLongestDatabaseWaitS, notes));
  }
  FirstRecord OpenTable(const std::string& table, OperationNotes& notes) override {
    return Decode(Ask(std::string(1, kTable) + table, kLongestDatabaseWaitS, notes));
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
    for (int* fd : {&to_child_, &from_child_, &errors_}) {
      if (*fd >= 0) ::close(*fd);
      *fd = -1;
    }
  }

  [[noreturn]] static void TimedOut(int bound_s) {
    throw platform::Failure("The database helper did not answer within " + std::to_string(bound_s) +
                            " s");
  }

  // Waits until `fd` is ready for `events` or the deadline passes (false),
  // passing on what the helper writes to its standard error meanwhile.
  bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd fds[2] = {{fd, events, 0}, {errors_, POLLIN, 0}};
      const int n = ::poll(fds, errors_ >= 0 ? 2 : 1,
                           static_cast<int>(std::min<int64_t>(left.count(), 60'000)));
      if (n < 0 && errno != EINTR) throw platform::Failure(std::strerror(errno));
      if (n <= 0) continue;
      if (errors_ >= 0 && fds[1].revents != 0) PassOnErrors();
      if (fds[0].revents != 0) return true;
    }
  }

  // Copies what is waiting on the helper's standard error to this
  // process's, up to kHelperErrorOutput in all; then closes the pipe, so
  // that a helper that goes on writing dies of it instead of filling it.
  void PassOnErrors() {
    char buffer[4096];
    const ssize_t n = ::read(errors_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n > 0) {
      const size_t keep = std::min(static_cast<size_t>(n), kHelperErrorOutput - error_output_);
      error_output_ += keep;
      PassOn(std::string_view(buffer, keep));
      if (error_output_ < kHelperErrorOutput) return;
      PassOn("\n(database helper: further messages left out)\n");
    }
    ::close(errors_);  // the end of the pipe, or enough of it
    errors_ = -1;
  }

  // Writes to this process's standard error while that takes what comes
  // without waiting: a standard error nobody reads costs the messages, and
  // is no reason to fail.
  static void PassOn(std::string_view bytes) {
    while (!bytes.empty()) {
      pollfd ready{STDERR_FILENO, POLLOUT, 0};
      if (::poll(&ready, 1, 0) != 1 || (ready.revents & POLLOUT) == 0) return;
      const ssize_t n = ::write(STDERR_FILENO, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      bytes.remove_prefix(static_cast<size_t>(n));
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
  int errors_;  // the helper's standard error; -1 once closed
  size_t error_output_ = 0;
};

std::unique_ptr<ProviderConnection> OpenHere(char kind, const std::string& target, int timeout,
                                             OperationNotes& notes) {
  if (kind == kHelperAccess) return OpenAccessFile(target);
  return OpenOdbc(target, timeout, notes);
}

}  // namespace

void UseDatabaseHelper(std::string path) { HelperPath() = std::move(path); }
const std::string& DatabaseHelper() { return HelperPath(); }

std::string EncodeRecord(const FirstRecord& record) {
  std::string out;
  out.push_back(record.has_columns ? 1 : 0);
  out.push_back(record.eof ? 1 : 0);
  PutU32(out, static_cast<uint32_t>(record.names.size()));
  for (const std::string& name : record.names) PutText(out, name);
  PutU32(out, static_cast<uint32_t>(record.values.size()));
  for (const Value& value : record.values) PutValue(out, value);
  return out;
}

FirstRecord DecodeRecord(std::string_view bytes) {
  Cursor in(bytes);
  FirstRecord record;
  record.has_columns = in.Byte() != 0;
  record.eof = in.Byte() != 0;
  // Each name and value takes at least one octet, so a count above the
  // bytes left is malformed; checked before anything is reserved.
  const uint32_t names = in.U32();
  if (names > bytes.size()) throw platform::Failure("database helper: answer cut short");
  for (uint32_t i = 0; i < names; ++i) record.names.push_back(in.Text());
  const uint32_t values = in.U32();
  if (values > bytes.size()) throw platform::Failure("database helper: answer cut short");
  for (uint32_t i = 0; i < values; ++i) record.values.push_back(GetValue(in));
  if (!in.AtEnd()) throw platform::Failure("database helper: trailing octets in an answer");
  return record;
}

std::unique_ptr<ProviderConnection> OpenThroughHelper(char kind, const std::string& target,
                                                      int timeout_s, OperationNotes& notes) {
  const std::string& helper = HelperPath();
  if (helper.empty()) return OpenHere(kind, target, timeout_s, notes);

  // Input, answers, standard error; this process's ends do not block.
  int pipes[3][2];
  int made = 0;
  auto close_all = [&] {
    for (int i = 0; i < made; ++i) {
      for (int fd : pipes[i]) {
        if (fd >= 0) ::close(fd);
      }
    }
  };
  for (; made < 3; ++made) {
    if (::pipe2(pipes[made], O_CLOEXEC) != 0) {
      const int saved = errno;
      close_all();
      throw platform::Failure(std::strerror(saved));
    }
  }
  int& to_child = pipes[0][1];
  int& from_child = pipes[1][0];
  int& errors = pipes[2][0];
  for (int fd : {to_child, from_child, errors}) ::fcntl(fd, F_SETFL, O_NONBLOCK);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipes[0][0], 0);
  posix_spawn_file_actions_adddup2(&actions, pipes[1][1], 1);
  posix_spawn_file_actions_adddup2(&actions, pipes[2][1], 2);
  // The helper checks that its parent is still this process once it has
  // asked to die with it.
  std::string parent = std::to_string(::getpid());
  char* argv[] = {const_cast<char*>(helper.c_str()), parent.data(), nullptr};
  // This process ignores SIGPIPE, and the helper would inherit that: it is
  // to die when it writes to a pipe nobody reads any more (its standard
  // error once enough came, its answers once this process is gone).
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
  for (int* child_end : {&pipes[0][0], &pipes[1][1], &pipes[2][1]}) {
    ::close(*child_end);
    *child_end = -1;
  }
  if (rc != 0) {
    close_all();
    throw platform::Failure("Cannot start the database helper '" + helper +
                            "': " + std::strerror(rc));
  }
  // A helper that dies must not kill this process with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  auto connection = std::make_unique<HelperConnection>(pid, to_child, from_child, errors);
  std::string request(1, kind);
  PutU32(request, static_cast<uint32_t>(timeout_s));
  request += target;
  const int bound_s =
      timeout_s > 0 ? std::min(timeout_s, kLongestDatabaseWaitS) : kLongestDatabaseWaitS;
  connection->Ask(request, bound_s, notes);
  return connection;
}

bool PrepareHelperProcess(const char* parent) {
  // The request holds for the thread that started this process; upstest
  // has no other.
  if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0) return false;
  if (parent == nullptr || std::to_string(::getppid()) != parent) return false;
  const rlimit no_core{0, 0};
  if (::setrlimit(RLIMIT_CORE, &no_core) != 0) return false;
  if (kHelperLimitsAddressSpace) {
    // Never above a stricter limit set already (raising one needs rights).
    rlimit address_space;
    if (::getrlimit(RLIMIT_AS, &address_space) != 0) return false;
    const rlim_t cap = std::min<rlim_t>(kHelperAddressSpace, address_space.rlim_max);
    address_space = {std::min(cap, address_space.rlim_cur), cap};
    if (::setrlimit(RLIMIT_AS, &address_space) != 0) return false;
  }
  return true;
}

int ServeHelperRequests(int in_fd, int out_fd) {
  std::unique_ptr<ProviderConnection> provider;
  std::string request;
  try {
    while (ReceiveFrame(in_fd, request, true)) {
      std::string answer(1, kOk);
      try {
        if (request.empty()) throw platform::Failure("database helper: empty request");
        OperationNotes notes;
        std::string record;
        const char op = request[0];
        if (op == kHelperAccess || op == kHelperOdbc) {
          Cursor in(std::string_view(request).substr(1));
          const int timeout = static_cast<int>(in.U32());
          provider.reset();
          provider = OpenHere(op, request.substr(5), timeout, notes);
        } else if (op == kExecute || op == kTable) {
          if (!provider) throw platform::Failure("database helper: nothing is open");
          const std::string text = request.substr(1);
          record = EncodeRecord(op == kExecute ? provider->Execute(text, notes)
                                               : provider->OpenTable(text, notes));
        } else {
          throw platform::Failure("database helper: unknown request");
        }
        PutU32(answer, static_cast<uint32_t>(notes.error_count));
        answer += record;
      } catch (const std::exception& e) {
        answer = std::string(1, kFailed);
        PutText(answer, e.what());
      }
      SendFrame(out_fd, answer);
    }
  } catch (const std::exception&) {
    return 1;  // the pipe broke: the program is gone
  }
  return 0;
}

}  // namespace upstest::store
