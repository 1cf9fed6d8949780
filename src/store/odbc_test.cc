// The layer's ODBC path for real: the SQLite ODBC driver, a PostgreSQL
// server started by scripts/test, and FreeTDS against ports where no SQL
// Server answers.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/error.h"
#include "store/ado.h"
#include "store/odbc_notes.h"
#include "test_support/pg_test_db.h"
#include "test_support/test_files.h"

namespace upstest::store {
namespace {

using testing::PgTestDb;
using testing::RunSql;
using testing::TempDir;

std::string OpenFailure(Connection& conn) {
  try {
    conn.Open();
  } catch (const platform::Failure& e) {
    EXPECT_EQ(conn.State(), kStateClosed);
    return e.what();
  }
  return "(opened)";
}

TEST(OdbcSqlite, ValuesThroughTheDriver) {
  TempDir dir;
  const std::string db = dir.File("nodes.db");
  RunSql(db,
         "CREATE TABLE ATR_Nodes (node_id INTEGER, address TEXT, UdpPort REAL, status INTEGER);"
         "INSERT INTO ATR_Nodes VALUES (17, '10.1.2.3', 161.5, NULL);");
  Connection conn;
  conn.ConnectionString = "Driver=SQLite3;Database=" + db + ";NoCreat=1";
  conn.ConnectionTimeout = 5;
  conn.Open();
  EXPECT_EQ(conn.ErrorsCount(), 0);
  auto rs = conn.Execute("SELECT address, UdpPort, status FROM ATR_Nodes WHERE node_id = '17'");
  EXPECT_EQ(conn.ErrorsCount(), 0);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Fields("ADDRESS").AsText(), "10.1.2.3");
  EXPECT_EQ(rs->Fields("udpport").data(), Value::Floating(161.5).data());
  EXPECT_TRUE(rs->Fields("status").IsNull());
  EXPECT_TRUE(conn.Execute("SELECT * FROM ATR_Nodes WHERE node_id = '18'")->Eof());
  Recordset table;
  table.Open("ATR_Nodes", conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
  EXPECT_EQ(table.Fields("node_id").AsInt32(), 17);
  EXPECT_THROW(conn.Execute("SELECT * FROM nowhere"), platform::Failure);
}

TEST(OdbcSqlite, MissingFileAndUnknownDriverFail) {
  TempDir dir;
  Connection missing;
  missing.ConnectionString = "Driver=SQLite3;Database=" + dir.File("none.db") + ";NoCreat=1";
  EXPECT_NE(OpenFailure(missing), "(opened)");
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.db")));
  Connection unknown;
  unknown.ConnectionString = "Driver={No Such Driver};Pwd=hush-hush";
  const std::string why = OpenFailure(unknown);
  EXPECT_NE(why, "(opened)");
  EXPECT_EQ(why.find("hush-hush"), std::string::npos);
}

TEST(OdbcPostgres, TypesNamesAndCaseFolding) {
  PgTestDb pg;
  if (!pg.available()) GTEST_SKIP() << "UPSTEST_PG_* is not set";
  pg.Sql(
      "CREATE TABLE ATR_Nodes (node_id INTEGER, address VARCHAR(40), UdpPort NUMERIC(8,1), "
      "status SMALLINT, LastChange TIMESTAMP, ok BOOLEAN, ratio DOUBLE PRECISION, note TEXT);"
      "INSERT INTO ATR_Nodes VALUES (-7, '10.0.0.7', 160.5, 3, '2026-12-08 10:11:12', true, "
      "0.25, NULL), (-7, 'second', 1, 1, NULL, false, 0, 'x');");
  Connection conn;
  conn.ConnectionString = pg.ConnectionString();
  conn.ConnectionTimeout = 5;
  conn.Open();
  EXPECT_EQ(conn.ErrorsCount(), 0);
  auto rs = conn.Execute(
      "SELECT address, status, LastChange, ok, ratio, note, UdpPort FROM ATR_Nodes WHERE "
      "node_id = '-7'");
  EXPECT_EQ(conn.ErrorsCount(), 0);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->FieldNames().back(), "udpport");  // folded by the server
  EXPECT_EQ(rs->Fields("address").AsText(), "10.0.0.7");
  EXPECT_EQ(rs->Fields("UdpPort").data(), Value::Floating(160.5).data());
  EXPECT_EQ(rs->Fields("UdpPort").AsInt32(), 160);
  EXPECT_EQ(rs->Fields("Status").data(), Value::Integer(3).data());
  EXPECT_EQ(rs->Fields("LastChange").AsText(), "2026-12-08 10:11:12");
  // psqlODBC hands booleans over as the texts "1" and "0" unless told
  // otherwise (BoolsAsChar=0).
  EXPECT_TRUE(rs->Fields("ok").AsBool());
  EXPECT_EQ(rs->Fields("ratio").AsText(), "0.25");
  EXPECT_TRUE(rs->Fields("note").IsNull());
}

TEST(OdbcPostgres, NoticesAreNotErrors) {
  PgTestDb pg;
  if (!pg.available()) GTEST_SKIP() << "UPSTEST_PG_* is not set";
  pg.Sql(
      "CREATE FUNCTION noisy() RETURNS TABLE (v INTEGER) LANGUAGE plpgsql AS $$ BEGIN "
      "RAISE NOTICE 'just so you know'; RAISE WARNING 'careful'; RETURN QUERY SELECT 42; END $$;");
  Connection conn;
  conn.ConnectionString = pg.ConnectionString();
  conn.Open();
  auto rs = conn.Execute("SELECT v FROM noisy()");
  EXPECT_EQ(conn.ErrorsCount(), 0);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Fields("v").AsInt32(), 42);
  // NOTICE comes as SQLSTATE 00000, WARNING as 01000: neither counts.
  // A failing statement is a failure of its own, not an entry in Errors.
  EXPECT_THROW(conn.Execute("SELECT * FROM nowhere"), platform::Failure);
  EXPECT_EQ(conn.State(), kStateOpen);
}

TEST(OdbcPostgres, WrongPasswordFailsWithoutShowingIt) {
  PgTestDb pg;
  if (!pg.available()) GTEST_SKIP() << "UPSTEST_PG_* is not set";
  Connection conn;
  conn.ConnectionString = pg.ConnectionString("wrong-secret-4711");
  conn.ConnectionTimeout = 5;
  const std::string why = OpenFailure(conn);
  EXPECT_NE(why, "(opened)");
  EXPECT_EQ(why.find("wrong-secret-4711"), std::string::npos) << why;
}

// A loopback TCP port: listening (connections complete but nothing is ever
// read or answered) or closed again at once.
class LoopbackPort {
 public:
  explicit LoopbackPort(bool listen_on) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0 ||
        (listen_on && listen(fd_, 8) != 0)) {
      throw std::runtime_error("no loopback port");
    }
    port_ = ntohs(addr.sin_port);
    if (!listen_on) {
      close(fd_);
      fd_ = -1;
    }
  }
  ~LoopbackPort() {
    if (fd_ >= 0) close(fd_);
  }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(OdbcFreeTds, ClosedPortFails) {
  LoopbackPort closed(false);
  Connection conn;
  conn.ConnectionString = "Provider=SQLOLEDB.1;Data Source=127.0.0.1," +
                          std::to_string(closed.port()) +
                          ";Initial Catalog=Nodes;User ID=sa;Password=tds-secret";
  conn.ConnectionTimeout = 5;
  const std::string why = OpenFailure(conn);
  EXPECT_NE(why, "(opened)");
  EXPECT_EQ(why.find("tds-secret"), std::string::npos) << why;
}

TEST(OdbcFreeTds, SilentListenerGivesUpAfterTheLoginTimeout) {
  LoopbackPort silent(true);
  Connection conn;
  conn.ConnectionString = "Provider=SQLNCLI11;Data Source=tcp:127.0.0.1," +
                          std::to_string(silent.port()) + ";User ID=sa;Password=tds-secret";
  conn.ConnectionTimeout = 5;
  const std::string why = OpenFailure(conn);
  EXPECT_NE(why, "(opened)");
  EXPECT_EQ(why.find("tds-secret"), std::string::npos) << why;
}

}  // namespace
}  // namespace upstest::store

namespace upstest::store {
namespace {

TEST(OdbcNotes, OnlyErrorClassesCount) {
  EXPECT_EQ(CountErrors({{"00000", "NOTICE: x"},
                         {"01000", "Changed database context to 'Nodes'."},
                         {"01S02", "Option value changed"},
                         {"42S02", "Invalid object name"},
                         {"HY000", "General error"}}),
            2);
  EXPECT_EQ(CountErrors({}), 0);
  EXPECT_EQ(DescribeDiagnostics({{"08001", "Unable to connect"}, {"01000", ""}}),
            "Unable to connect; SQLSTATE 01000");
}

}  // namespace
}  // namespace upstest::store
