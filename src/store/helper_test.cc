// Access files and ODBC through the helper program, for real: the built
// upstest-store, a Jet 4 fixture and the SQLite ODBC driver.
#include "store/helper.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/error.h"
#include "store/ado.h"
#include "store/test_files.h"

namespace upstest::store {
namespace {

using testing::RunSql;
using testing::TempDir;

// Names the helper for one test and restores in-process serving after it.
class WithHelper {
 public:
  explicit WithHelper(std::string path) { UseDatabaseHelper(std::move(path)); }
  ~WithHelper() { UseDatabaseHelper(""); }
};

std::string FailureOf(Connection& conn) {
  try {
    conn.Open();
  } catch (const platform::Failure& e) {
    return e.what();
  }
  return "(opened)";
}

TEST(HelperWire, RecordsRoundTripWithEveryKindOfValue) {
  FirstRecord record;
  record.has_columns = true;
  record.eof = false;
  record.names = {"a", "", "Umsätze", "d", "e", "f"};
  record.values = {Value(),
                   Value::Text(std::string("x\0y", 3)),
                   Value::Integer(-9223372036854775807LL - 1),
                   Value::Floating(161.5),
                   Value::Boolean(true),
                   Value::Date({1898, 12, 30, 23, 59, 58})};
  const FirstRecord back = DecodeRecord(EncodeRecord(record));
  EXPECT_TRUE(back.has_columns);
  EXPECT_FALSE(back.eof);
  EXPECT_EQ(back.names, record.names);
  ASSERT_EQ(back.values.size(), record.values.size());
  for (size_t i = 0; i < record.values.size(); ++i) {
    EXPECT_EQ(back.values[i].data(), record.values[i].data()) << i;
  }
}

TEST(HelperWire, EveryCutAndAnyTrailingOctetIsMalformed) {
  FirstRecord record;
  record.has_columns = true;
  record.eof = false;
  record.names = {"address", "status"};
  record.values = {Value::Text("10.0.0.1"), Value::Integer(5)};
  const std::string bytes = EncodeRecord(record);
  for (size_t n = 0; n < bytes.size(); ++n) {
    EXPECT_THROW(DecodeRecord(bytes.substr(0, n)), platform::Failure) << n;
  }
  EXPECT_THROW(DecodeRecord(bytes + "x"), platform::Failure);
  // A count far beyond the octets present fails before anything is built.
  std::string huge = bytes.substr(0, 2) + std::string("\xff\xff\xff\x7f", 4);
  EXPECT_THROW(DecodeRecord(huge), platform::Failure);
}

TEST(Helper, ServesAnAccessFileAsTheProcessItselfWould) {
  auto first_record = [] {
    Connection conn;
    conn.ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" UPSTEST_SOURCE_DIR
                            "/tests/fixtures/DateTestDatabase.mdb";
    conn.Open();
    Recordset rs;
    rs.Open("DateTest", conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
    EXPECT_FALSE(rs.Eof());
    return std::make_pair(rs.FieldNames(), rs.Fields("DateTimeCol").AsText() + "|" +
                                               rs.Fields("IDCol").AsText() + "|" +
                                               rs.Fields("ShortTextCol").AsText());
  };
  const auto here = first_record();
  WithHelper helper(UPSTEST_STORE_HELPER);
  EXPECT_EQ(first_record(), here);
  EXPECT_EQ(here.second, "2021-12-02 00:00:00|1|Hello");
}

TEST(Helper, ServesOdbcWithItsFailuresAndEndOfData) {
  TempDir dir;
  const std::string db = dir.File("nodes.db");
  RunSql(db,
         "CREATE TABLE ATR_Nodes (node_id INTEGER, address TEXT, UdpPort REAL);"
         "INSERT INTO ATR_Nodes VALUES (17, '10.1.2.3', 161.5);");
  WithHelper helper(UPSTEST_STORE_HELPER);
  Connection conn;
  conn.ConnectionString = "Driver=SQLite3;Database=" + db + ";NoCreat=1";
  conn.ConnectionTimeout = 5;
  conn.Open();
  EXPECT_EQ(conn.ErrorsCount(), 0);
  auto rs = conn.Execute("SELECT address, UdpPort FROM ATR_Nodes WHERE node_id = '17'");
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Fields("address").AsText(), "10.1.2.3");
  EXPECT_EQ(rs->Fields("UdpPort").AsInt32(), 162);
  EXPECT_TRUE(conn.Execute("SELECT * FROM ATR_Nodes WHERE node_id = '18'")->Eof());
  // A failing statement is the helper's failure, with its description, and
  // the connection goes on serving.
  EXPECT_THROW(conn.Execute("SELECT * FROM nowhere"), platform::Failure);
  EXPECT_FALSE(conn.Execute("SELECT node_id FROM ATR_Nodes")->Eof());

  Connection missing;
  missing.ConnectionString = "Driver=SQLite3;Database=" + dir.File("none.db") + ";NoCreat=1";
  EXPECT_NE(FailureOf(missing), "(opened)");
}

TEST(Helper, AMissingOrDyingHelperIsAFailureOfTheOpen) {
  Connection conn;
  conn.ConnectionString = "Driver=SQLite3;Database=/nonexistent.db;NoCreat=1";
  {
    WithHelper helper("/nonexistent/upstest-store");
    EXPECT_EQ(FailureOf(conn),
              "Cannot start the database helper '/nonexistent/upstest-store': No such file or "
              "directory");
  }
  {
    WithHelper helper("/bin/true");  // ends at once without answering
    EXPECT_EQ(FailureOf(conn), "database helper ended unexpectedly");
  }
}

}  // namespace
}  // namespace upstest::store
