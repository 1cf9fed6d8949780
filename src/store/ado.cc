#include "store/ado.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "platform/error.h"
#include "platform/scoped_fd.h"
#include "store/connection_string.h"
#include "store/helper.h"

namespace upstest::store {
namespace {

constexpr char kSqliteMagic[] = "SQLite format 3";  // and its NUL: 16 bytes
constexpr char kJetMagic[] = "Standard Jet DB";
constexpr char kAceMagic[] = "Standard ACE DB";

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (std::tolower(x) != std::tolower(y)) return false;
  }
  return true;
}

[[noreturn]] void NotAllowed(const char* why) {
  throw platform::Failure(std::string("Operation is not allowed when the object is ") + why);
}

[[noreturn]] void NotAnOrdinaryFile(const std::string& path) {
  throw platform::Failure("'" + path + "' is not an ordinary file");
}

// A file named by a Jet/ACE connection string: an Access file or an SQLite
// file, told apart by its first bytes. `timeout_s` bounds the helper's open.
std::unique_ptr<ProviderConnection> OpenJetFile(const std::string& path, int timeout_s) {
  if (JudgeDatabaseFile(path) == DatabaseFileKind::kSqlite) return OpenSqliteFile(path);
  OperationNotes notes;
  return OpenThroughHelper(kHelperAccess, path, timeout_s, notes);
}

}  // namespace

void RequireOrdinaryFileIfPresent(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) NotAnOrdinaryFile(path);
}

DatabaseFileKind JudgeDatabaseFile(const std::string& path) {
  // Read without stdio: its buffer would cost a page for 32 octets. Opened
  // without waiting (a FIFO would wait for a writer), then judged by type.
  const platform::ScopedFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  const int fd = file.get();
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) throw platform::Failure("Could not find file '" + path + "'");
    throw platform::Failure("Cannot open '" + path + "': " + std::strerror(error));
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) NotAnOrdinaryFile(path);
  unsigned char head[32] = {};
  size_t got = 0;
  while (got < sizeof head) {
    const ssize_t n = read(fd, head + got, sizeof head - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the end, or unreadable: judged by what came
    got += static_cast<size_t>(n);
  }
  if (got >= sizeof kSqliteMagic && std::memcmp(head, kSqliteMagic, sizeof kSqliteMagic) == 0) {
    return DatabaseFileKind::kSqlite;
  }
  const size_t magic_length = sizeof kJetMagic - 1;
  if (got >= 4 + magic_length && head[0] == 0 && head[1] == 1 && head[2] == 0 && head[3] == 0 &&
      (std::memcmp(head + 4, kJetMagic, magic_length) == 0 ||
       std::memcmp(head + 4, kAceMagic, magic_length) == 0)) {
    return DatabaseFileKind::kAccess;
  }
  throw platform::Failure("'" + path + "' is neither a Jet/ACE database nor an SQLite database");
}

std::unique_ptr<ProviderConnection> OpenAnyProvider(const std::string& connection_string,
                                                    int timeout_s, OperationNotes& notes) {
  const ProviderChoice choice = ChooseProvider(connection_string);
  switch (choice.kind) {
    case ProviderKind::kJetFile:
      return OpenJetFile(choice.target, timeout_s);
    case ProviderKind::kSqlite:
      RequireOrdinaryFileIfPresent(choice.target);
      return OpenSqliteFile(choice.target);
    case ProviderKind::kOdbc:
    case ProviderKind::kSqlServer:
      return OpenThroughHelper(kHelperOdbc, choice.target, timeout_s, notes);
  }
  throw platform::Failure("unknown provider");
}

void Connection::Open(const std::string& connection_string, const std::string& user,
                      const std::string& password, int options) {
  if (provider_) NotAllowed("open");
  if (!user.empty() || !password.empty() || options != kConnectUnspecified) {
    throw platform::Failure("Connection::Open takes its target from ConnectionString only");
  }
  if (!connection_string.empty()) ConnectionString = connection_string;
  notes_ = {};
  const int timeout = ConnectionTimeout > 0 ? ConnectionTimeout : kDefaultConnectionTimeout;
  provider_ = opener_(ConnectionString, timeout, notes_);
  if (!provider_) throw platform::Failure("no provider for the connection string");
}

ProviderConnection& Connection::OpenProvider(const char* operation) {
  if (!provider_) {
    throw platform::Failure(std::string(operation) +
                            ": Operation is not allowed when the object is closed");
  }
  return *provider_;
}

std::unique_ptr<Recordset> Connection::Execute(const std::string& sql, int options) {
  ProviderConnection& provider = OpenProvider("Execute");
  if (options != kOptionUnspecified) {
    throw platform::Failure("Execute supports only unspecified options");
  }
  notes_ = {};
  auto recordset = std::make_unique<Recordset>();
  recordset->Assign(provider.Execute(sql, notes_));
  return recordset;
}

void Connection::Close() {
  if (!provider_) NotAllowed("closed");
  provider_.reset();
}

void Recordset::Open(const std::string& source, Connection& connection, int cursor_type,
                     int lock_type, int options) {
  if (open_) NotAllowed("open");
  if (options != kCmdTable) throw platform::Failure("Recordset::Open supports only adCmdTable");
  ProviderConnection& provider = connection.OpenProvider("Recordset::Open");
  if (cursor_type != kOpenUnspecified) CursorType = cursor_type;
  if (lock_type != kLockUnspecified) LockType = lock_type;
  // Every record is read only once and never written, so each cursor and
  // lock type gives the same result here.
  connection.notes_ = {};
  Assign(provider.OpenTable(source, connection.notes_));
}

void Recordset::Assign(FirstRecord record) {
  record_ = std::move(record);
  open_ = record_.has_columns;
}

bool Recordset::Eof() const {
  if (!open_) NotAllowed("closed");
  return record_.eof;
}

const Value& Recordset::Fields(const std::string& name) const {
  if (!open_) NotAllowed("closed");
  for (size_t i = 0; i < record_.names.size(); ++i) {
    if (EqualsNoCase(record_.names[i], name)) {
      if (record_.eof || i >= record_.values.size()) {
        throw platform::Failure(
            "Either BOF or EOF is True, or the current record has been deleted");
      }
      return record_.values[i];
    }
  }
  throw platform::Failure(
      "Item cannot be found in the collection corresponding to the requested "
      "name or ordinal: '" +
      name + "'");
}

void Recordset::Close() {
  if (!open_) NotAllowed("closed");
  open_ = false;
  record_ = {};
}

}  // namespace upstest::store
