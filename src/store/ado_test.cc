// The database layer over SQLite files built by the tests.
#include "store/ado.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/error.h"
#include "test_support/test_files.h"

namespace upstest::store {
namespace {

using testing::RunSql;
using testing::TempDir;
using testing::WriteFile;

std::string OpenFailure(const std::string& connection_string) {
  Connection conn;
  conn.ConnectionString = connection_string;
  try {
    conn.Open("", "", "", kConnectUnspecified);
  } catch (const platform::Failure& e) {
    EXPECT_EQ(conn.State(), kStateClosed);
    return e.what();
  }
  return "(opened)";
}

class SqliteLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    db_ = dir_.File("nodes.db");
    RunSql(db_,
           "CREATE TABLE t (id INTEGER, name TEXT, ratio REAL, flag INTEGER, note TEXT);"
           "INSERT INTO t VALUES (1, 'first', 161.5, 1, NULL);"
           "INSERT INTO t VALUES (2, 'second', 2.0, 0, 'x');"
           "CREATE TABLE empty (a INTEGER);");
  }
  TempDir dir_;
  std::string db_;
};

TEST_F(SqliteLayer, ProviderSqliteExecutesOnTheFirstRecord) {
  Connection conn;
  EXPECT_EQ(conn.State(), kStateClosed);
  conn.ConnectionString = "Provider=SQLite;Data Source=" + db_;
  conn.ConnectionTimeout = 5;
  conn.Open("", "", "", kConnectUnspecified);
  EXPECT_EQ(conn.State(), kStateOpen);
  EXPECT_EQ(conn.ErrorsCount(), 0);
  auto rs = conn.Execute("SELECT id, name, ratio, flag, note FROM t WHERE id = '2' OR id = '1'",
                         kOptionUnspecified);
  EXPECT_EQ(rs->State(), kStateOpen);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Fields("ID").data(), Value::Integer(1).data());
  EXPECT_EQ(rs->Fields("Name").AsText(), "first");
  EXPECT_EQ(rs->Fields("ratio").data(), Value::Floating(161.5).data());
  EXPECT_EQ(rs->Fields("ratio").AsInt32(), 162);
  EXPECT_TRUE(rs->Fields("flag").AsBool());
  EXPECT_TRUE(rs->Fields("note").IsNull());
  EXPECT_THROW(rs->Fields("missing"), platform::Failure);
  rs->Close();
  EXPECT_THROW(rs->Eof(), platform::Failure);
  EXPECT_THROW(rs->Close(), platform::Failure);
  conn.Close();
  EXPECT_THROW(conn.Close(), platform::Failure);
  EXPECT_THROW(conn.Execute("SELECT 1"), platform::Failure);
}

TEST_F(SqliteLayer, NoRecordAndNoRows) {
  Connection conn;
  conn.ConnectionString = "Provider=SQLite;Data Source=" + db_;
  conn.Open();
  auto none = conn.Execute("SELECT * FROM t WHERE id = '9'");
  EXPECT_EQ(none->State(), kStateOpen);
  EXPECT_TRUE(none->Eof());
  EXPECT_THROW(none->Fields("id"), platform::Failure);
  Recordset empty;
  empty.Open("EMPTY", conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
  EXPECT_TRUE(empty.Eof());
  // A query that finds nothing is open at EOF; a statement that has no
  // rows at all gives a closed recordset.
  auto found_nothing = conn.Execute("SELECT 1 WHERE 0 = 1; ");
  EXPECT_EQ(found_nothing->State(), kStateOpen);
  EXPECT_TRUE(found_nothing->Eof());
  auto nothing = conn.Execute("  -- only a comment");
  EXPECT_EQ(nothing->State(), kStateClosed);
  EXPECT_THROW(nothing->Eof(), platform::Failure);
  EXPECT_THROW(conn.Execute("SELECT * FROM nowhere"), platform::Failure);
  Recordset missing;
  EXPECT_THROW(missing.Open("nowhere", conn, kOpenUnspecified, kLockUnspecified, kCmdTable),
               platform::Failure);
  EXPECT_EQ(missing.State(), kStateClosed);
}

TEST_F(SqliteLayer, ReadOnlyEvenForWrites) {
  Connection conn;
  conn.ConnectionString = "Provider=SQLite;Data Source=" + db_;
  conn.Open();
  EXPECT_THROW(conn.Execute("DELETE FROM t"), platform::Failure);
  EXPECT_FALSE(conn.Execute("SELECT * FROM t")->Eof());
}

TEST_F(SqliteLayer, JetProviderTellsFilesApartByTheirFirstBytes) {
  // An SQLite file named by the Jet provider is read as SQLite.
  Connection conn;
  conn.ConnectionString =
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + db_ + ";Persist Security Info=False";
  conn.Open();
  Recordset rs;
  rs.Open("t", conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
  EXPECT_EQ(rs.Fields("name").AsText(), "first");

  const std::string text = dir_.File("notes.mdb");
  WriteFile(text, "Standard Jet DB, or so it says\n");
  EXPECT_NE(OpenFailure("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + text)
                .find("is neither a Jet/ACE database nor an SQLite database"),
            std::string::npos);
  const std::string empty = dir_.File("empty.mdb");
  WriteFile(empty, "");
  EXPECT_NE(OpenFailure("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + empty).find("neither"),
            std::string::npos);
  const std::string missing = dir_.File("Kovatrel.mdb");
  EXPECT_EQ(OpenFailure("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + missing),
            "Could not find file '" + missing + "'");
  EXPECT_FALSE(std::filesystem::exists(missing));
  EXPECT_NE(
      OpenFailure("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + dir_.path()).find(dir_.path()),
      std::string::npos);
}

TEST_F(SqliteLayer, ProviderSqliteNeverCreatesAndProbesAtOpen) {
  const std::string missing = dir_.File("none.db");
  EXPECT_NE(OpenFailure("Provider=SQLite;Data Source=" + missing).find("Cannot open"),
            std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(missing));
  const std::string junk = dir_.File("junk.db");
  WriteFile(junk, std::string(4096, 'x'));
  EXPECT_NE(OpenFailure("Provider=SQLite;Data Source=" + junk).find("not a database"),
            std::string::npos);
}

TEST(Layer, UnusableConnectionStringsFailAtOpen) {
  EXPECT_NE(OpenFailure("").find("empty"), std::string::npos);
  EXPECT_NE(OpenFailure("Provider=Nonsense;Password=topsecret").find("'Nonsense'"),
            std::string::npos);
  EXPECT_EQ(OpenFailure("Provider=Nonsense;Password=topsecret").find("topsecret"),
            std::string::npos);
  Connection conn;
  conn.ConnectionString = "Provider=SQLite;Data Source=/nonexistent/x.db";
  EXPECT_THROW(conn.Open("", "user", "", kConnectUnspecified), platform::Failure);
  Recordset rs;
  EXPECT_THROW(rs.Open("t", conn, kOpenUnspecified, kLockUnspecified, kCmdTable),
               platform::Failure);
}

}  // namespace
}  // namespace upstest::store
