// SQLite files through the sqlite3 C API, read-only.
#include <sqlite3.h>

#include <chrono>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "store/provider.h"

namespace upstest::store {
namespace {

using Clock = std::chrono::steady_clock;

// SQLite calls the progress handler after this many steps of its virtual
// machine. A statement of an answered run takes a few hundred steps, so it
// never reads the clock; a runaway one, running some hundred million steps a
// second, reads it about every ten microseconds.
constexpr int kStepsPerDeadlineCheck = 1000;

// The longest string or blob SQLite makes or reads for a statement: far
// above any record of the settings or the node table, and all that one
// runaway value (a view that builds a text of 50 MB in one step, which the
// deadline never sees) can cost. A stored value past it fails its
// statement ("string or blob too big"), and so does a function that would
// build one (printf gives Null instead); a value below it but past
// kLongestText is cut by Value::Text.
constexpr int kLongestSqliteValue = 1 << 20;

// "10 s", or "50 ms" for a bound of no whole seconds.
std::string BoundText(std::chrono::milliseconds bound) {
  if (bound.count() > 0 && bound.count() % 1000 == 0) {
    return std::to_string(bound.count() / 1000) + " s";
  }
  return std::to_string(bound.count()) + " ms";
}

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
  SqliteConnection(const std::string& path, std::chrono::milliseconds bound) : bound_(bound) {
    ConfigureOnce();
    const int rc =
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) FailOpen(path, db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(rc));
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_limit(db_, SQLITE_LIMIT_LENGTH, kLongestSqliteValue);
    // Every statement, the schema read among them, stops at the deadline of
    // the operation it serves.
    sqlite3_progress_handler(db_, kStepsPerDeadlineCheck, &SqliteConnection::PastDeadline, this);
    // A file that is no SQLite database only shows when a statement is
    // prepared: preparing one that names a table reads the schema. It is
    // not run, which would take the file's read lock a second time.
    StartOperation();
    sqlite3_stmt* probe = nullptr;
    const int prepared =
        sqlite3_prepare_v2(db_, "SELECT 1 FROM sqlite_master", -1, &probe, nullptr);
    sqlite3_finalize(probe);  // null when preparing failed; the message stays
    if (prepared != SQLITE_OK) FailOpen(path, Why("reading its schema", prepared));
  }
  ~SqliteConnection() override { sqlite3_close(db_); }

  FirstRecord Execute(const std::string& sql, OperationNotes&) override {
    return Run(sql, "The query");
  }

  FirstRecord OpenTable(const std::string& table, OperationNotes&) override {
    std::string quoted = "\"";
    for (char c : table) {
      quoted += c;
      if (c == '"') quoted += '"';
    }
    quoted += '"';
    return Run("SELECT * FROM " + quoted, "Reading the table " + table);
  }

 private:
  // Runs `sql` and positions on its first record; `what` names it in the
  // description of a statement stopped at its deadline.
  FirstRecord Run(const std::string& sql, const std::string& what) {
    StartOperation();
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    const int prepared =
        sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, &tail);
    if (prepared != SQLITE_OK) throw platform::Failure(Why(what, prepared));
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
        throw platform::Failure(Why(what, rc));
      }
    } catch (...) {
      sqlite3_finalize(stmt);
      throw;
    }
    sqlite3_finalize(stmt);
    return record;
  }

  // The deadline of the operation that starts now.
  void StartOperation() {
    deadline_ = Clock::now() + bound_;
    interrupted_ = false;
  }
  // The progress handler: non-zero interrupts the statement.
  static int PastDeadline(void* self) {
    auto* connection = static_cast<SqliteConnection*>(self);
    if (Clock::now() < connection->deadline_) return 0;
    connection->interrupted_ = true;
    return 1;
  }
  // The description of a failed step or prepare: SQLite's own message, or
  // the deadline when that is what stopped it.
  std::string Why(const std::string& what, int rc) const {
    if (rc == SQLITE_INTERRUPT && interrupted_) {
      return what + " did not finish within " + BoundText(bound_);
    }
    return sqlite3_errmsg(db_);
  }
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
            std::string_view(static_cast<const char*>(bytes), static_cast<size_t>(length)));
      }
    }
  }

  sqlite3* db_ = nullptr;
  const std::chrono::milliseconds bound_;
  Clock::time_point deadline_;
  bool interrupted_ = false;  // the progress handler stopped the last statement
};

}  // namespace

std::unique_ptr<ProviderConnection> OpenSqliteFile(const std::string& path,
                                                   std::chrono::milliseconds bound) {
  return std::make_unique<SqliteConnection>(path, bound);
}

}  // namespace upstest::store
