#include "store/helper.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

class HelperConnection final : public ProviderConnection {
 public:
  HelperConnection(pid_t pid, int to_child, int from_child)
      : pid_(pid), to_child_(to_child), from_child_(from_child) {}
  ~HelperConnection() override {
    ::close(to_child_);  // the helper ends when its input closes
    ::close(from_child_);
    int status;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
  }

  // Sends `request` and returns the answer after its 'K' and error count.
  std::string Ask(const std::string& request, OperationNotes& notes) {
    SendFrame(to_child_, request);
    std::string answer;
    ReceiveFrame(from_child_, answer, false);
    Cursor in(answer);
    const uint8_t tag = in.Byte();
    if (tag == kFailed) throw platform::Failure(in.Text());
    if (tag != kOk) throw platform::Failure("database helper: malformed answer");
    notes.error_count = static_cast<int>(in.U32());
    return answer.substr(5);
  }

  FirstRecord Execute(const std::string& sql, OperationNotes& notes) override {
    return DecodeRecord(Ask(std::string(1, kExecute) + sql, notes));
  }
  FirstRecord OpenTable(const std::string& table, OperationNotes& notes) override {
    return DecodeRecord(Ask(std::string(1, kTable) + table, notes));
  }

 private:
  pid_t pid_;
  int to_child_;
  int from_child_;
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
                                                      int login_timeout_s, OperationNotes& notes) {
  const std::string& helper = HelperPath();
  if (helper.empty()) return OpenHere(kind, target, login_timeout_s, notes);

  int to_child[2];
  int from_child[2];
  if (::pipe2(to_child, O_CLOEXEC) != 0) throw platform::Failure(std::strerror(errno));
  if (::pipe2(from_child, O_CLOEXEC) != 0) {
    const int saved = errno;
    ::close(to_child[0]);
    ::close(to_child[1]);
    throw platform::Failure(std::strerror(saved));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, to_child[0], 0);
  posix_spawn_file_actions_adddup2(&actions, from_child[1], 1);
  char* argv[] = {const_cast<char*>(helper.c_str()), nullptr};
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, helper.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(to_child[0]);
  ::close(from_child[1]);
  if (rc != 0) {
    ::close(to_child[1]);
    ::close(from_child[0]);
    throw platform::Failure("Cannot start the database helper '" + helper +
                            "': " + std::strerror(rc));
  }
  // A helper that dies must not kill this process with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
  auto connection = std::make_unique<HelperConnection>(pid, to_child[1], from_child[0]);
  std::string request(1, kind);
  PutU32(request, static_cast<uint32_t>(login_timeout_s));
  request += target;
  connection->Ask(request, notes);
  return connection;
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
