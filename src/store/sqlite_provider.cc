// SQLite files through the sqlite3 C API, read-only.
#include <sqlite3.h>

#include "platform/error.h"
#include "store/provider.h"

namespace upstest::store {
namespace {

// Set before SQLite initialises; later calls are refused by SQLite and change
// nothing. SQLite's memory statistics take a global mutex on every
// allocation, and a run never reads them. Its page cache would otherwise
// start each connection with a block of 20 pages whose free list it writes at
// once, touching about 80 KiB of fresh memory for a query that reads two or
// three pages; without that block each page is allocated when it is read.
void ConfigureOnce() {
  static const bool configured = [] {
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, static_cast<void*>(nullptr), 0, 0);
    return true;
  }();
  (void)configured;
}

class SqliteConnection final : public ProviderConnection {
 public:
  explicit SqliteConnection(const std::string& path) {
    ConfigureOnce();
    const int rc =
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) FailOpen(path, db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
    sqlite3_busy_timeout(db_, 5000);
    // A file that is no SQLite database only shows when a statement is
    // prepared: preparing one that names a table reads the schema. It is
    // not run, which would take the file's read lock a second time.
    sqlite3_stmt* probe = nullptr;
    const int prepared =
        sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master", -1, &probe, nullptr);
    sqlite3_finalize(probe);  // null when preparing failed; the message stays
    if (prepared != SQLITE_OK) FailOpen(path, sqlite3_errmsg(db_));
  }
  ~SqliteConnection() override { sqlite3_close(db_); }

  FirstRecord Execute(const std::string& sql, OperationNotes&) override {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &tail) !=
        SQLITE_OK) {
      throw platform::Failure(sqlite3_errmsg(db_));
    }
    if (stmt == nullptr) return {};  // only blanks or comments
    FirstRecord record;
    try {
      const int columns = sqlite3_column_count(stmt);
      record.has_columns = columns > 0;
      for (int i = 0; i < columns; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        record.names.emplace_back(name != nullptr ? name : "");
      }
      const int rc = sqlite3_step(stmt);
      if (rc == SQLITE_ROW) {
        record.eof = false;
        for (int i = 0; i < columns; ++i) record.values.push_back(ColumnValue(stmt, i));
      } else if (rc != SQLITE_DONE) {
        throw platform::Failure(sqlite3_errmsg(db_));
      }
    } catch (...) {
      sqlite3_finalize(stmt);
      throw;
    }
    sqlite3_finalize(stmt);
    return record;
  }

  FirstRecord OpenTable(const std::string& table, OperationNotes& notes) override {
    std::string quoted = "\"";
    for (char c : table) {
      quoted += c;
      if (c == '"') quoted += '"';
    }
    quoted += '"';
    return Execute("SELECT * FROM " + quoted, notes);
  }

 private:
  [[noreturn]] void FailOpen(const std::string& path, const std::string& why) {
    sqlite3_close(db_);
    db_ = nullptr;
    throw platform::Failure("Cannot open the SQLite database '" + path + "': " + why);
  }
  static Value ColumnValue(sqlite3_stmt* stmt, int i) {
    switch (sqlite3_column_type(stmt, i)) {
      case SQLITE_INTEGER:
        return Value::Integer(sqlite3_column_int64(stmt, i));
      case SQLITE_FLOAT:
        return Value::Floating(sqlite3_column_double(stmt, i));
      case SQLITE_NULL:
        return Value();
      default: {  // text, or a blob taken as its bytes
        const void* bytes = sqlite3_column_blob(stmt, i);
        const int length = sqlite3_column_bytes(stmt, i);
        if (bytes == nullptr || length <= 0) return Value::Text("");
        return Value::Text(
            std::string(static_cast<const char*>(bytes), static_cast<size_t>(length)));
      }
    }
  }

  sqlite3* db_ = nullptr;
};

}  // namespace

std::unique_ptr<ProviderConnection> OpenSqliteFile(const std::string& path) {
  return std::make_unique<SqliteConnection>(path);
}

}  // namespace upstest::store
