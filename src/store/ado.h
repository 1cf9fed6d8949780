// The database layer: a connection and a recordset with the operations,
// states and results of their ADO namesakes that the node record reader
// uses, over the providers of store/provider.h.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/provider.h"
#include "store/value.h"

namespace upstest::store {

inline constexpr int kStateClosed = 0;
inline constexpr int kStateOpen = 1;
inline constexpr int kOpenUnspecified = -1;
inline constexpr int kOpenStatic = 3;
inline constexpr int kLockUnspecified = -1;
inline constexpr int kLockOptimistic = 3;
inline constexpr int kCmdTable = 2;
inline constexpr int kConnectUnspecified = -1;
inline constexpr int kOptionUnspecified = -1;
inline constexpr int kDefaultConnectionTimeout = 15;

class Recordset;

// Opens the provider `connection_string` leads to, waiting at most
// `timeout_s` seconds; `notes` receives what the open left. Throws Failure.
using ProviderOpener = std::unique_ptr<ProviderConnection> (*)(const std::string& connection_string,
                                                               int timeout_s,
                                                               OperationNotes& notes);

// The layer's own opener: chooses the provider by the connection string
// (store/connection_string.h) and opens it, Access files and ODBC through
// the database helper when one is named.
std::unique_ptr<ProviderConnection> OpenAnyProvider(const std::string& connection_string,
                                                    int timeout_s, OperationNotes& notes);

// What a file named by a Jet/ACE connection string holds, told by its
// first bytes.
enum class DatabaseFileKind { kSqlite, kAccess };

// Judges the file at `path`, opening it only as an ordinary file and
// without waiting. Throws Failure ("Could not find file '<path>'", "'<path>'
// is not an ordinary file", "... is neither a Jet/ACE database nor an
// SQLite database", or the open's own error).
DatabaseFileKind JudgeDatabaseFile(const std::string& path);

class Connection {
 public:
  // `opener` is OpenAnyProvider but for tests of what no real provider does
  // (such as errors reported on a successful operation).
  explicit Connection(ProviderOpener opener = OpenAnyProvider) : opener_(opener) {}
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::string ConnectionString;
  // Seconds the open may take: ODBC's login timeout, and the bound on the
  // database helper's open (store/helper.h). 0 or less stands for the
  // default, since some drivers would otherwise wait for ever.
  int ConnectionTimeout = kDefaultConnectionTimeout;

  // Opens the target of ConnectionString. The arguments are those of ADO;
  // only empty ones and kConnectUnspecified are accepted. Throws Failure.
  void Open(const std::string& connection_string = "", const std::string& user = "",
            const std::string& password = "", int options = kConnectUnspecified);
  // The number of messages the last operation left (see OperationNotes).
  int ErrorsCount() const { return notes_.error_count; }
  // Runs `sql`; the result is an open recordset on its first record (a
  // closed one for a statement without rows). Throws Failure.
  std::unique_ptr<Recordset> Execute(const std::string& sql, int options = kOptionUnspecified);
  int State() const { return provider_ ? kStateOpen : kStateClosed; }
  // Throws Failure when not open.
  void Close();

 private:
  friend class Recordset;

  ProviderConnection& OpenProvider(const char* operation);
  ProviderOpener opener_;
  std::unique_ptr<ProviderConnection> provider_;
  OperationNotes notes_;
};

class Recordset {
 public:
  Recordset() = default;
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  int CursorType = kOpenUnspecified;
  int LockType = kLockUnspecified;

  // Opens `source` over `connection`; only kCmdTable is supported as
  // options. The cursor and lock types, when not unspecified, replace the
  // ones set before. Throws Failure.
  void Open(const std::string& source, Connection& connection, int cursor_type = kOpenUnspecified,
            int lock_type = kLockUnspecified, int options = kCmdTable);
  // Throws Failure when closed.
  bool Eof() const;
  // The current record's value of the column `name` (any case). Throws
  // Failure when closed, at EOF, or for an unknown column.
  const Value& Fields(const std::string& name) const;
  // The column names, in order (empty when closed).
  const std::vector<std::string>& FieldNames() const { return record_.names; }
  int State() const { return open_ ? kStateOpen : kStateClosed; }
  void Close();

 private:
  friend class Connection;
  void Assign(FirstRecord record);
  bool open_ = false;
  FirstRecord record_;
};

}  // namespace upstest::store
