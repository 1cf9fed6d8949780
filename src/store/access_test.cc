// The Access file reader on genuine Jet 4 and Jet 3 files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "store/ado.h"

namespace upstest::store {
namespace {

// Genuine Access files kept with the tests (tests/fixtures/README.md).
const std::string kFixtures = UPSTEST_SOURCE_DIR "/tests/fixtures/";

std::unique_ptr<Connection> OpenFixture(const std::string& file) {
  auto conn = std::make_unique<Connection>();
  conn->ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + kFixtures + file +
                           ";Persist Security Info=False";
  conn->Open("", "", "", kConnectUnspecified);
  return conn;
}

TEST(AccessFile, Jet4TableFirstRecord) {
  auto conn = OpenFixture("DateTestDatabase.mdb");
  EXPECT_EQ(conn->State(), kStateOpen);
  EXPECT_EQ(conn->ErrorsCount(), 0);
  Recordset rs;
  rs.CursorType = kOpenStatic;
  rs.LockType = kLockOptimistic;
  rs.Open("DateTest", *conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
  EXPECT_EQ(rs.State(), kStateOpen);
  EXPECT_EQ(rs.CursorType, kOpenStatic);
  const std::vector<std::string> names{"IDCol",   "DateTimeCol", "DateCol",
                                       "TimeCol", "LongTextCol", "ShortTextCol"};
  EXPECT_EQ(rs.FieldNames(), names);
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Fields("IDCol").data(), Value::Integer(1).data());
  EXPECT_EQ(rs.Fields("idcol").AsInt32(), 1);  // names in any case
  EXPECT_EQ(rs.Fields("DateTimeCol").AsText(), "2021-12-02 00:00:00");
  EXPECT_EQ(rs.Fields("LongTextCol").data(), Value::Text("Hello").data());  // memo
  EXPECT_EQ(rs.Fields("ShortTextCol").AsText(), "Hello");
  EXPECT_THROW(rs.Fields("NoSuchColumn"), platform::Failure);
  rs.Close();
  EXPECT_EQ(rs.State(), kStateClosed);
  conn->Close();
  EXPECT_EQ(conn->State(), kStateClosed);
}

TEST(AccessFile, Jet4DatesOutsideTheCommonYears) {
  auto conn = OpenFixture("DateTestDatabase.mdb");
  auto year9999 = conn->Execute("SELECT DateTimeCol, LongTextCol FROM DateTest WHERE IDCol = '2'");
  ASSERT_FALSE(year9999->Eof());
  EXPECT_EQ(year9999->Fields("LongTextCol").AsText(), "Year 9999");
  EXPECT_EQ(year9999->Fields("DateTimeCol").AsText(), "9999-01-01 00:00:00");
  auto pre1900 = conn->Execute("SELECT * FROM DateTest WHERE IDCol = 3");
  EXPECT_EQ(pre1900->Fields("DateTimeCol").AsText(), "1898-01-01 00:00:00");
  auto pre1000 = conn->Execute("SELECT * FROM DateTest WHERE IDCol = 4");
  EXPECT_EQ(pre1000->Fields("DateTimeCol").AsText(), "0632-01-01 00:00:00");
  auto multiline = conn->Execute("SELECT LongTextCol FROM DateTest WHERE IDCol = 6");
  EXPECT_EQ(multiline->Fields("LongTextCol").AsText(), "New line\r\nin field");
  EXPECT_TRUE(conn->Execute("SELECT * FROM DateTest WHERE IDCol = '99'")->Eof());
}

TEST(AccessFile, Jet3TypesNullAndBooleans) {
  auto conn = OpenFixture("nwind.mdb");
  Recordset customers;
  customers.Open("customers", *conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
  ASSERT_FALSE(customers.Eof());
  EXPECT_EQ(customers.Fields("CustomerID").AsText(), "ALFKI");
  EXPECT_TRUE(customers.Fields("Region").IsNull());
  EXPECT_THROW(customers.Fields("Region").AsText(), platform::Failure);
  EXPECT_FALSE(customers.Fields("Region").AsBool());

  auto chai = conn->Execute("SELECT ProductName, UnitPrice, Discontinued FROM Products");
  EXPECT_EQ(chai->Fields("ProductName").AsText(), "Chai");
  EXPECT_EQ(chai->Fields("UnitPrice").data(), Value::Floating(18.0).data());  // currency
  EXPECT_EQ(chai->Fields("Discontinued").data(), Value::Boolean(false).data());
  auto gumbo = conn->Execute("SELECT * FROM Products WHERE ProductID = '5'");
  EXPECT_EQ(gumbo->Fields("ProductName").AsText(), "Chef Anton's Gumbo Mix");
  EXPECT_EQ(gumbo->Fields("UnitPrice").AsText(), "21.35");
  EXPECT_TRUE(gumbo->Fields("Discontinued").AsBool());
  EXPECT_EQ(gumbo->Fields("Discontinued").AsInt16(), -1);

  auto employee = conn->Execute("SELECT BirthDate, Photo FROM Employees");
  EXPECT_EQ(employee->Fields("BirthDate").AsText(), "1948-12-08 00:00:00");
}

TEST(AccessFile, Jet3NonAsciiTableName) {
  auto conn = OpenFixture("nwind.mdb");
  Recordset rs;
  rs.Open("Umsätze", *conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Fields("OrderID").AsInt32(), 10330);
  EXPECT_EQ(rs.Fields("ShipAddress").AsText(), "Carrera 52 con Ave. Bolívar #65-98 Llano Largo");
  EXPECT_EQ(rs.Fields("Freight").AsText(), "12.75");
  auto same = conn->Execute("SELECT [OrderID] FROM [Umsätze] WHERE ShipCity = 'marseille'");
  EXPECT_EQ(same->Fields("orderid").AsInt32(), 10331);
}

TEST(AccessFile, MissingTablesColumnsAndQueries) {
  auto conn = OpenFixture("nwind.mdb");
  Recordset rs;
  EXPECT_THROW(rs.Open("Settings_Console", *conn, kOpenUnspecified, kLockUnspecified, kCmdTable),
               platform::Failure);
  EXPECT_EQ(rs.State(), kStateClosed);
  EXPECT_THROW(conn->Execute("SELECT Nothing FROM Products"), platform::Failure);
  EXPECT_THROW(conn->Execute("DELETE FROM Products"), platform::Failure);
  EXPECT_THROW(conn->Execute("SELECT * FROM Products WHERE ProductID = 'x'"), platform::Failure);
  // The connection is still usable.
  EXPECT_FALSE(conn->Execute("SELECT * FROM Shippers")->Eof());
}

}  // namespace
}  // namespace upstest::store
