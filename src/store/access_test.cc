// The Access file reader on genuine Jet 4 and Jet 3 files.
#include <gtest/gtest.h>

#include <string>

#include "store/ado.h"

namespace upstest::store {
namespace {

const std::string kFixtures = "/work/shared/fixtures/";

std::string JetString(const std::string& file) {
  return "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + kFixtures + file +
         ";Persist Security Info=False";
}

TEST(AccessFile, Jet4FirstRecordNamesAndTypes) {
  Connection conn;
  conn.ConnectionString = JetString("DateTestDatabase.mdb");
  conn.Open();
  EXPECT_EQ(conn.State(), kStateOpen);
  EXPECT_EQ(conn.ErrorsCount(), 0);
  Recordset rs;
  rs.Open("DateTest", conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
  ASSERT_FALSE(rs.Eof());
  for (auto& n : rs.FieldNames()) {
    const Value& v = rs.Fields(n);
    printf("%s: %d %s\n", n.c_str(), (int)v.data().index(), v.IsNull() ? "NULL" : v.AsText().c_str());
  }
}

TEST(AccessFile, Explore) {
  Connection conn;
  conn.ConnectionString = JetString("DateTestDatabase.mdb");
  conn.Open();
  for (const char* q : {"SELECT * FROM DateTest WHERE IDCol = '2'", "SELECT * FROM DateTest WHERE IDCol = 3", "SELECT * FROM DateTest WHERE IDCol = 4", "SELECT * FROM DateTest WHERE IDCol = 6"}) {
    auto rs = conn.Execute(q);
    for (auto& n : rs->FieldNames()) { const Value& v = rs->Fields(n); printf("%s: %d %s\n", n.c_str(), (int)v.data().index(), v.IsNull() ? "NULL" : v.AsText().c_str()); }
  }
  Connection c2;
  c2.ConnectionString = JetString("nwind.mdb");
  c2.Open();
  for (const char* q : {"SELECT * FROM Products WHERE ProductID = '5'", "SELECT * FROM products", "SELECT * FROM Customers", "SELECT * FROM [Umsätze]", "SELECT * FROM Employees"}) {
    auto rs = c2.Execute(q);
    for (auto& n : rs->FieldNames()) { const Value& v = rs->Fields(n); printf("%s: %d %s\n", n.c_str(), (int)v.data().index(), v.IsNull() ? "NULL" : v.AsText().substr(0,60).c_str()); }
  }
}

}  // namespace
}  // namespace upstest::store
