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

// For tests of what the layer cannot be made to do with a real provider (a
// provider that reports errors on a successful operation): when set, every
// Connection::Open first asks `hook`, and uses the provider it returns
// unless that is null. Not for use outside tests.
using OpenHook = std::unique_ptr<ProviderConnection> (*)(const std::string& connection_string,
                                                         OperationNotes& notes);
void SetOpenHookForTesting(OpenHook hook);

class Connection {
 public:
  Connection() = default;
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

  // For tests of what the layer cannot be made to do with a real provider (a
  // provider that reports errors on a successful operation): when set, every
  // Connection::Open first asks `hook`, and uses the provider it returns
  // unless that is null. Not for use outside tests.
  using OpenHook = std::unique_ptr<ProviderConnection> (*)(const std::string& connection_string,
                                                           OperationNotes& notes);
  void SetOpenHookForTesting(OpenHook hook);
  ProviderConnection& OpenProvider(const char* operation);
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
