#include "store/connection_string.h"

#include <gtest/gtest.h>

#include "platform/error.h"

namespace upstest::store {
namespace {

TEST(ConnectionStringParse, KeysQuotesBracesAndDuplicates) {
  const ConnectionString cs(
      " Provider = SQLite ;DATA SOURCE='/a;b/it''s.db'; x=\"say \"\"hi\"\"\";;"
      "Driver={My {Odd}} Driver; v2};Extended Properties=\"a=1;b=2\";provider=Other");
  EXPECT_EQ(cs.Get("data source"), "/a;b/it's.db");
  EXPECT_EQ(cs.Get("x"), "say \"hi\"");
  EXPECT_EQ(cs.Get("driver"), "{My {Odd}} Driver; v2}");
  EXPECT_EQ(cs.Get("extended properties"), "a=1;b=2");
  EXPECT_EQ(cs.Get("provider"), "Other");  // the last duplicate wins
  EXPECT_FALSE(cs.Get("missing").has_value());
  EXPECT_EQ(cs.pairs().front().raw, "Provider = SQLite");
}

TEST(ConnectionStringParse, MalformedStringsFailWithoutRepeatingThem) {
  for (const char* text : {"Password=secret;garbage", "Pwd='secret", "Driver={x;Pwd=secret",
                           "=secret", "Pwd='secret' trailing"}) {
    try {
      ConnectionString cs(text);
      ADD_FAILURE() << text;
    } catch (const platform::Failure& e) {
      EXPECT_EQ(std::string(e.what()).find("secret"), std::string::npos) << e.what();
    }
  }
}

TEST(ChooseProvider, ProvidersByName) {
  auto jet = ChooseProvider(
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/x/Kovatrel.mdb;"
      "Persist Security Info=False");
  EXPECT_EQ(jet.kind, ProviderKind::kJetFile);
  EXPECT_EQ(jet.target, "/x/Kovatrel.mdb");
  EXPECT_EQ(ChooseProvider("Provider=Microsoft.ACE.OLEDB.12.0;Data Source=a.accdb").kind,
            ProviderKind::kJetFile);
  auto sqlite = ChooseProvider("provider=sqlite;data source=/n.db");
  EXPECT_EQ(sqlite.kind, ProviderKind::kSqlite);
  EXPECT_EQ(sqlite.target, "/n.db");
  const std::string odbc = "Driver={PostgreSQL Unicode};Server=h;Pwd={a;b}";
  EXPECT_EQ(ChooseProvider(odbc).kind, ProviderKind::kOdbc);
  EXPECT_EQ(ChooseProvider(odbc).target, odbc);  // handed on as it stands
  EXPECT_EQ(ChooseProvider("DSN=nodes").kind, ProviderKind::kOdbc);
  EXPECT_EQ(ChooseProvider("FILEDSN=/etc/n.dsn").kind, ProviderKind::kOdbc);
  auto msdasql = ChooseProvider("Provider=MSDASQL;DSN=nodes;UID=u");
  EXPECT_EQ(msdasql.kind, ProviderKind::kOdbc);
  EXPECT_EQ(msdasql.target, "DSN=nodes;UID=u");
  for (const char* p : {"SQLOLEDB", "SQLOLEDB.1", "SQLNCLI11", "MSOLEDBSQL", "MSOLEDBSQL19"}) {
    EXPECT_EQ(ChooseProvider(std::string("Provider=") + p + ";Data Source=h").kind,
              ProviderKind::kSqlServer)
        << p;
  }
}

TEST(ChooseProvider, UnusableStringsNameTheProblem) {
  auto message = [](const std::string& text) {
    try {
      ChooseProvider(text);
    } catch (const platform::Failure& e) {
      return std::string(e.what());
    }
    return std::string("(accepted)");
  };
  EXPECT_NE(message("").find("empty"), std::string::npos);
  EXPECT_NE(message("   ").find("empty"), std::string::npos);
  EXPECT_NE(message("Provider=Oracle.OLEDB;Password=secret").find("'Oracle.OLEDB'"),
            std::string::npos);
  EXPECT_NE(message("Provider=SQLite").find("Data Source"), std::string::npos);
  const std::string none = message("User ID=u;Password=secret");
  EXPECT_NE(none.find("no provider"), std::string::npos);
  EXPECT_EQ(none.find("secret"), std::string::npos);
}

TEST(SqlServerToFreeTds, DataSourceForms) {
  auto tds = [](const std::string& text) { return SqlServerToFreeTds(ConnectionString(text)); };
  const std::string tail = ";TDS_Version=7.4;ClientCharset=UTF-8";
  EXPECT_EQ(tds("Provider=SQLOLEDB;Data Source=db1"), "Driver=FreeTDS;Server=db1" + tail);
  EXPECT_EQ(tds("Provider=SQLOLEDB;Data Source=db1\\NODES"),
            "Driver=FreeTDS;Server=db1\\NODES" + tail);
  EXPECT_EQ(tds("Provider=SQLOLEDB;Data Source=db1,1500"),
            "Driver=FreeTDS;Server=db1;Port=1500" + tail);
  EXPECT_EQ(tds("Provider=SQLOLEDB;Data Source=tcp:10.0.0.5, 1433"),
            "Driver=FreeTDS;Server=10.0.0.5;Port=1433" + tail);
  EXPECT_EQ(tds("Provider=SQLOLEDB;Data Source=(local)"), "Driver=FreeTDS;Server=localhost" + tail);
  EXPECT_EQ(tds("Provider=SQLOLEDB;Data Source=.\\SQLEXPRESS"),
            "Driver=FreeTDS;Server=localhost\\SQLEXPRESS" + tail);
}

TEST(SqlServerToFreeTds, CatalogCredentialsAndSecurity) {
  const std::string out = SqlServerToFreeTds(
      ConnectionString("Provider=SQLNCLI11;Data Source=srv;Initial Catalog=Nodes;User ID=ups;"
                       "Password='p;w}d';Persist Security Info=False"));
  EXPECT_EQ(out,
            "Driver=FreeTDS;Server=srv;Database=Nodes;UID=ups;PWD={p;w}}d};TDS_Version=7.4;"
            "ClientCharset=UTF-8");
  EXPECT_EQ(SqlServerToFreeTds(ConnectionString(
                "Provider=SQLOLEDB;Integrated Security=SSPI;Data Source=srv;Initial Catalog=N")),
            "Driver=FreeTDS;Server=srv;Database=N;Trusted_Connection=Yes;TDS_Version=7.4;"
            "ClientCharset=UTF-8");
}

TEST(OdbcValue, BracesOnlyWhenNeeded) {
  EXPECT_EQ(OdbcValue("plain"), "plain");
  EXPECT_EQ(OdbcValue("a;b"), "{a;b}");
  EXPECT_EQ(OdbcValue("x}y"), "{x}}y}");
  EXPECT_EQ(OdbcValue(" lead"), "{ lead}");
}

// Passwords never show: every password key's value is masked, whatever
// its quoting; the rest stands as written; a text that does not parse is
// not shown at all (it may hold a password in a place we cannot tell).
TEST(MaskedConnectionStringTest, MasksEveryPasswordAndNothingElse) {
  EXPECT_EQ(MaskedConnectionString("Driver={PostgreSQL Unicode};Server=db1;Uid=ups;Pwd=secret"),
            "Driver={PostgreSQL Unicode};Server=db1;Uid=ups;Pwd=****");
  EXPECT_EQ(MaskedConnectionString("Provider=SQLOLEDB; Password = 'a;b''c' ;User ID=sa"),
            "Provider=SQLOLEDB;Password =****;User ID=sa");
  EXPECT_EQ(MaskedConnectionString("Jet OLEDB:Database Password={x;y}};z};Data Source=a.mdb"),
            "Jet OLEDB:Database Password=****;Data Source=a.mdb");
  EXPECT_EQ(MaskedConnectionString("Provider=SQLite;Data Source=/x/nodes.db"),
            "Provider=SQLite;Data Source=/x/nodes.db");
  const std::string broken = MaskedConnectionString("Pwd='secret;Server=x");
  EXPECT_EQ(broken.rfind("(connection string not shown: ", 0), 0u) << broken;
  EXPECT_EQ(broken.find("secret"), std::string::npos);
}

}  // namespace
}  // namespace upstest::store
