// The providers behind the database layer. Each serves one kind of
// connection string; the layer (store/ado.h) sees only this interface, so a
// provider's library is needed only by the provider's own source file.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/value.h"

namespace upstest::store {

// The outcome of a statement or a table open: its column names and its
// first record, if any. Only the first record is ever read.
struct FirstRecord {
  bool has_columns = false;  // false: the statement returns no rows at all
  bool eof = true;           // no current record
  std::vector<std::string> names;
  std::vector<Value> values;  // one per name when !eof
};

// What an operation left on the connection: the messages of error severity
// after a successful operation (warnings and information do not count).
struct OperationNotes {
  int error_count = 0;
};

class ProviderConnection {
 public:
  virtual ~ProviderConnection() = default;
  // Runs `sql` and positions on its first record. Throws Failure when the
  // statement fails.
  virtual FirstRecord Execute(const std::string& sql, OperationNotes& notes) = 0;
  // Every column of `table`, positioned on its first record. Throws Failure
  // when there is no such table.
  virtual FirstRecord OpenTable(const std::string& table, OperationNotes& notes) = 0;
};

// Each opens read-only, never creates a file, and throws Failure with a
// description (never holding a password) when it cannot open.
std::unique_ptr<ProviderConnection> OpenSqliteFile(const std::string& path);
std::unique_ptr<ProviderConnection> OpenAccessFile(const std::string& path);
std::unique_ptr<ProviderConnection> OpenOdbc(const std::string& connection_string,
                                             int login_timeout_s, OperationNotes& notes);

}  // namespace upstest::store
