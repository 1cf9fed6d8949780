// A database of its own on the test PostgreSQL server (scripts/postgres),
// created for one test and dropped after it, so tests may run in parallel.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "test_support/test_files.h"

namespace upstest::store::testing {

class PgTestDb {
 public:
  PgTestDb() {
    const char* host = std::getenv("UPSTEST_PG_HOST");
    const char* port = std::getenv("UPSTEST_PG_PORT");
    const char* user = std::getenv("UPSTEST_PG_USER");
    const char* password = std::getenv("UPSTEST_PG_PASSWORD");
    const char* database = std::getenv("UPSTEST_PG_DATABASE");
    if (!host || !port || !user || !password || !database) return;
    host_ = host;
    port_ = port;
    user_ = user;
    password_ = password;
    static std::atomic<int> serial{0};
    name_ = "t" + std::to_string(getpid()) + "_" + std::to_string(serial++);
    Psql(database, "CREATE DATABASE " + name_);
  }
  ~PgTestDb() {
    if (!name_.empty()) {
      try {
        Psql(std::getenv("UPSTEST_PG_DATABASE"), "DROP DATABASE " + name_ + " WITH (FORCE)");
      } catch (...) {
      }
    }
  }
  PgTestDb(const PgTestDb&) = delete;
  PgTestDb& operator=(const PgTestDb&) = delete;

  bool available() const { return !name_.empty(); }
  void Sql(const std::string& sql) { Psql(name_, sql); }
  std::string ConnectionString(const std::string& password = "") const {
    return "Driver={PostgreSQL Unicode};Server=" + host_ + ";Port=" + port_ + ";Database=" + name_ +
           ";Uid=" + user_ + ";Pwd={" + (password.empty() ? password_ : password) + "}";
  }

 private:
  void Psql(const std::string& database, const std::string& sql) const {
    TempDir dir;
    WriteFile(dir.File("in.sql"), sql);
    const std::string command = "PGPASSWORD='" + password_ + "' psql -q -X -v ON_ERROR_STOP=1 -h " +
                                host_ + " -p " + port_ + " -U " + user_ + " -d " + database +
                                " -f " + dir.File("in.sql") + " >/dev/null";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("psql failed: " + sql);
  }

  std::string host_, port_, user_, password_, name_;
};

}  // namespace upstest::store::testing
