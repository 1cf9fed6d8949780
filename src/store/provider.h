// The providers behind the database layer. Each serves one kind of
// connection string; the layer (store/ado.h) sees only this interface, so a
// provider's library is needed only by the provider's own source file.
#pragma once

#include <chrono>
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

// What an operation left on the connection. The rule, for every provider:
// error_count counts the messages of error severity that an operation
// which succeeded left behind; warnings and information (a notice, a
// "changed database context") do not count, and an operation that fails
// throws instead of counting. The reader reads nothing when the count is
// above 0. Each provider below says what it can report.
struct OperationNotes {
  int error_count = 0;
};

// No database operation is awaited longer than this: not an open (its
// schema read included), not a statement or a table. An SQLite statement
// that runs past it is interrupted; the database helper is killed
// (store/helper.h). Either way the operation fails with a description
// that ends "did not finish within 10 s" or "did not answer within 10 s".
inline constexpr int kLongestDatabaseWaitS = 10;

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

// A database file is opened only when it is an ordinary file: a FIFO would
// block the open for ever, a device would be read without end. Throws
// Failure ("'<path>' is not an ordinary file") for anything else; an absent
// file is left to the provider, which says so in its own words.
void RequireOrdinaryFileIfPresent(const std::string& path);

// Each opens read-only, never creates a file, and throws Failure with a
// description (never holding a password) when it cannot open.
//
// SQLite and libmdb leave no messages beside a failure: these two never
// count anything, their operations either succeed cleanly or throw.
//
// An SQLite file's open (the read of its schema) and each of its statements
// are given `bound` on the monotonic clock; one that runs past it is
// interrupted and fails ("... did not finish within <bound>"). Only tests
// give another bound than kLongestDatabaseWaitS.
std::unique_ptr<ProviderConnection> OpenSqliteFile(
    const std::string& path,
    std::chrono::milliseconds bound = std::chrono::seconds(kLongestDatabaseWaitS));
std::unique_ptr<ProviderConnection> OpenAccessFile(const std::string& path);
// ODBC counts the diagnostics that a call returning SQL_SUCCESS_WITH_INFO
// left, by their SQLSTATE class (store/odbc_notes.h), at the open and at
// each operation.
std::unique_ptr<ProviderConnection> OpenOdbc(const std::string& connection_string,
                                             int login_timeout_s, OperationNotes& notes);

}  // namespace upstest::store
