// ReadNodeData on real SQLite settings and node databases (and the ODBC
// drivers); the debug log lands in the in-memory files of the test run.
#include "store/node_reader.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "diag/log.h"
#include "platform/error.h"
#include "run/sequence.h"
#include "store/ado.h"
#include "store/connection_string.h"
#include "test_support/pg_test_db.h"
#include "test_support/test_files.h"
#include "test_support/test_run.h"

namespace upstest::store {
namespace {

using store::testing::PgTestDb;
using store::testing::RunSql;
using store::testing::TempDir;
using store::testing::WriteFile;

constexpr const char* kTs = "2026-12-08 10:00:00.000";
constexpr const char* kNodeTable =
    "CREATE TABLE ATR_Nodes (node_id INTEGER, address TEXT, UdpPort, status, SnmpVersion, "
    "readcomm TEXT, trapcomm TEXT, LastChange, LastMessage TEXT);";

// Quotes `text` as an SQL literal.
std::string Lit(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

class ReadNodeDataTest : public ::testing::Test {
 protected:
  ReadNodeDataTest() {
    run_.SetBase(base_.path());
    run_.SetNodeId(17);
    run_.ctx.state.NodeStatus = 5;  // from the command line
    run_.ctx.state.DebugOn = true;
  }

  std::string SettingsFile() const { return base_.File("Kovatrel.mdb"); }
  std::string NodeDb() const { return base_.File("nodes.db"); }

  // The settings table with one record (SqlDbSetupOk, DbConnStringSql given
  // as SQL expressions).
  void Settings(const std::string& setup_ok, const std::string& conn_sql) {
    RunSql(SettingsFile(),
           "CREATE TABLE Settings_Console (Id INTEGER, SqlDbSetupOk, DbConnStringSql TEXT);"
           "INSERT INTO Settings_Console VALUES (1, " +
               setup_ok + ", " + conn_sql + ");");
  }
  void SettingsFor(const std::string& connection_string) { Settings("-1", Lit(connection_string)); }
  // The node database as SQLite, with `rows` inserted.
  void Nodes(const std::string& rows) {
    RunSql(NodeDb(), std::string(kNodeTable) + rows);
    SettingsFor("Provider=SQLite;Data Source=" + NodeDb());
  }
  void Read() { ReadNodeData(run_.ctx, opener_); }
  // The node log under the real base directory, in the fake's files.
  std::string Log() const {
    return run_.env.ContentOf(
        base_.File("apiexec/upsdebug-" + std::to_string(run_.ctx.state.NodeId) + ".txt"));
  }
  std::string ErrorLine(const std::string& description, bool empty_line) const {
    return std::string(kTs) + " (ReadNodeData) " + description + "\r\n" +
           (empty_line ? "\r\n" : "");
  }
  std::string Group() const { return diag::NodeRecordGroup(LoggedRecord(run_.ctx.state)); }
  void ExpectNodeFieldsUntouched() {
    const run::TestState& s = run_.ctx.state;
    EXPECT_EQ(s.IpAddr, "");
    EXPECT_EQ(s.UdpPort, 0);
    EXPECT_EQ(s.NodeStatus, 5);
    EXPECT_EQ(s.SnmpVersion, "");
    EXPECT_EQ(s.readcomm, "");
    EXPECT_EQ(s.trapcomm, "");
    EXPECT_EQ(s.LastChange, "");
    EXPECT_EQ(s.LastMessage, "");
  }
  // The failure path waits 200 ms in 10 ms steps.
  void ExpectErrorWait() { EXPECT_EQ(run_.env.sleeps(), std::vector<int>{200}); }

  TempDir base_;
  upstest::testing::TestRun run_;
  ProviderOpener opener_ = OpenAnyProvider;
};

const char* kFullRow =
    "INSERT INTO ATR_Nodes VALUES (17, '10.1.2.3', 161, 3, 2, 'public', 'traps', "
    "'2026-12-01 08:00:00', 'on battery');";

TEST_F(ReadNodeDataTest, ReadsTheNodeRecordAndLogsIt) {
  Nodes(std::string("INSERT INTO ATR_Nodes VALUES (16, 'other', 1, 1, 1, 'a', 'b', 'c', 'd');") +
        kFullRow);
  Read();
  const run::TestState& s = run_.ctx.state;
  EXPECT_EQ(s.IpAddr, "10.1.2.3");
  EXPECT_EQ(s.UdpPort, 161);
  EXPECT_EQ(s.NodeStatus, 3);
  EXPECT_EQ(s.SnmpVersion, "2");  // a number read as text
  EXPECT_EQ(s.readcomm, "public");
  EXPECT_EQ(s.trapcomm, "traps");
  EXPECT_EQ(s.LastChange, "2026-12-01 08:00:00");
  EXPECT_EQ(s.LastMessage, "on battery");
  EXPECT_EQ(Log(),
            "IpAddr:     10.1.2.3\r\nPort:       161\r\nStatus:     3\r\nSnmpVer:    2\r\n"
            "ReadComm:   public\r\nTrapComm:   traps\r\nLastChange: 2026-12-01 08:00:00\r\n"
            "LastMess:   on battery\r\n\r\n");
  EXPECT_EQ(run_.env.appends.size(), 1u);
  EXPECT_TRUE(run_.env.sleeps().empty());
}

// While the service writes the node database (here: another connection
// holding BEGIN EXCLUSIVE for about 200 ms), the read waits for the lock
// and reads the record; it does not fail the run.
TEST_F(ReadNodeDataTest, ANodeDatabaseLockedByAWriterIsWaitedFor) {
  Nodes(kFullRow);
  std::promise<bool> locked;
  std::atomic<bool> releasing{false};
  std::thread writer([&] {
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(NodeDb().c_str(), &db) == SQLITE_OK &&
                    sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    locked.set_value(ok);
    if (ok) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      releasing = true;
      sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
  });
  const bool held = locked.get_future().get();
  bool read_after_release = false;
  if (held) {
    Read();
    // The lock is let go only after `releasing` is set: a read that waited
    // for it cannot have ended before that.
    read_after_release = releasing;
  }
  writer.join();
  ASSERT_TRUE(held) << "the writer did not get its exclusive lock";
  EXPECT_TRUE(read_after_release);
  EXPECT_EQ(run_.ctx.state.IpAddr, "10.1.2.3");
  EXPECT_EQ(run_.ctx.state.trapcomm, "traps");
  EXPECT_EQ(Log().find("(ReadNodeData)"), std::string::npos) << Log();
  EXPECT_TRUE(run_.env.sleeps().empty());
}

TEST_F(ReadNodeDataTest, SetupNotOkOrNullLeavesTheConnectionStringEmpty) {
  for (const char* setup_ok : {"0", "NULL", "'no'"}) {
    TempDir base;
    upstest::testing::TestRun run;
    run.SetBase(base.path());
    run.SetNodeId(17);
    run.ctx.state.NodeStatus = 5;
    run.ctx.state.DebugOn = true;
    // DbConnStringSql is Null too: it must not even be read.
    RunSql(base.File("Kovatrel.mdb"),
           std::string("CREATE TABLE Settings_Console (SqlDbSetupOk, DbConnStringSql);"
                       "INSERT INTO Settings_Console VALUES (") +
               setup_ok + ", NULL);");
    ReadNodeData(run.ctx);
    EXPECT_EQ(run.env.ContentOf(base.File("apiexec/upsdebug-17.txt")),
              std::string(kTs) +
                  " (ReadNodeData) The connection string is empty: it names no provider, driver "
                  "or data source\r\n\r\n")
        << setup_ok;
    EXPECT_EQ(run.ctx.state.IpAddr, "");
    EXPECT_EQ(run.ctx.state.NodeStatus, 5);
    EXPECT_EQ(run.env.sleeps(), std::vector<int>{200});
  }
}

TEST_F(ReadNodeDataTest, SetupOkAsTextAndNullConnectionString) {
  Settings("'True'", "NULL");  // true, so the Null text is read: a failure
  Read();
  EXPECT_EQ(Log(), ErrorLine("Invalid use of Null", true));
  ExpectNodeFieldsUntouched();
}

TEST_F(ReadNodeDataTest, NoRecordLogsTheOldValues) {
  Nodes("INSERT INTO ATR_Nodes VALUES (18, 'x', 1, 1, 1, 'a', 'b', 'c', 'd');");
  Read();
  ExpectNodeFieldsUntouched();
  EXPECT_EQ(Log(),
            "IpAddr:     \r\nPort:       0\r\nStatus:     5\r\nSnmpVer:    \r\nReadComm:   \r\n"
            "TrapComm:   \r\nLastChange: \r\nLastMess:   \r\n\r\n");
  EXPECT_TRUE(run_.env.sleeps().empty());
}

TEST_F(ReadNodeDataTest, TwoRecordsWithTheSameIdTakeTheFirst) {
  Nodes(std::string(kFullRow) +
        "INSERT INTO ATR_Nodes VALUES (17, '10.9.9.9', 1, 1, 1, 'a', 'b', 'c', 'd');");
  Read();
  EXPECT_EQ(run_.ctx.state.IpAddr, "10.1.2.3");
  EXPECT_EQ(run_.ctx.state.readcomm, "public");
}

TEST_F(ReadNodeDataTest, BadStatusStopsAfterAddressAndPort) {
  for (const char* status : {"NULL", "40000", "'x'"}) {
    TempDir base;
    upstest::testing::TestRun run;
    run.SetBase(base.path());
    run.SetNodeId(17);
    run.ctx.state.NodeStatus = 5;
    run.ctx.state.DebugOn = true;
    RunSql(base.File("nodes.db"), std::string(kNodeTable) +
                                      "INSERT INTO ATR_Nodes VALUES (17, '10.1.2.3', 161, " +
                                      status + ", 2, 'public', 't', 'c', 'm');");
    RunSql(base.File("Kovatrel.mdb"),
           "CREATE TABLE Settings_Console (SqlDbSetupOk, DbConnStringSql);"
           "INSERT INTO Settings_Console VALUES (1, " +
               Lit("Provider=SQLite;Data Source=" + base.File("nodes.db")) + ");");
    ReadNodeData(run.ctx);
    const run::TestState& s = run.ctx.state;
    EXPECT_EQ(s.IpAddr, "10.1.2.3") << status;
    EXPECT_EQ(s.UdpPort, 161);
    EXPECT_EQ(s.NodeStatus, 5);
    EXPECT_EQ(s.SnmpVersion, "");
    EXPECT_EQ(s.readcomm, "");
    const std::string log = run.env.ContentOf(base.File("apiexec/upsdebug-17.txt"));
    EXPECT_EQ(log.rfind(std::string(kTs) + " (ReadNodeData) ", 0), 0u) << log;
    EXPECT_EQ(log.substr(log.size() - 4), "\r\n\r\n");
    EXPECT_EQ(log.find("IpAddr:"), std::string::npos);
    EXPECT_EQ(run.env.sleeps(), std::vector<int>{200});
  }
}

TEST_F(ReadNodeDataTest, PortHalvesRoundToEven) {
  Nodes(
      "INSERT INTO ATR_Nodes VALUES (17, 'a', 161.5, 1, 1, 'p', 't', 'c', 'm');"
      "INSERT INTO ATR_Nodes VALUES (18, 'b', 160.5, 1, 1, 'p', 't', 'c', 'm');"
      "INSERT INTO ATR_Nodes VALUES (19, 'c', '160.5', 1, 1, 'p', 't', 'c', 'm');");
  Read();
  EXPECT_EQ(run_.ctx.state.UdpPort, 162);
  run_.SetNodeId(18);
  Read();
  EXPECT_EQ(run_.ctx.state.UdpPort, 160);
  run_.SetNodeId(19);
  Read();
  EXPECT_EQ(run_.ctx.state.UdpPort, 160);
}

TEST_F(ReadNodeDataTest, NegativeNodeIdIsQuotedWithItsSign) {
  run_.SetNodeId(-7);
  Nodes(
      "INSERT INTO ATR_Nodes VALUES (7, 'seven', 1, 1, 1, 'p', 't', 'c', 'm');"
      "INSERT INTO ATR_Nodes VALUES (-7, 'minus seven', 1, 1, 1, 'p', 't', 'c', 'm');");
  Read();
  EXPECT_EQ(run_.ctx.state.IpAddr, "minus seven");
  EXPECT_NE(Log().find("IpAddr:     minus seven\r\n"), std::string::npos);
}

TEST_F(ReadNodeDataTest, EmptySettingsTable) {
  RunSql(SettingsFile(), "CREATE TABLE Settings_Console (SqlDbSetupOk, DbConnStringSql);");
  Read();
  EXPECT_EQ(Log(),
            ErrorLine("Either BOF or EOF is True, or the current record has been deleted", true));
  ExpectNodeFieldsUntouched();
  ExpectErrorWait();
}

TEST_F(ReadNodeDataTest, MissingOrForeignSettingsFile) {
  Read();
  EXPECT_EQ(Log(), ErrorLine("Could not find file '" + SettingsFile() + "'", true));
  ExpectErrorWait();
  run_.env.files.clear();
  WriteFile(SettingsFile(), "no database at all");
  Read();
  // 200 ms later by the virtual clock.
  EXPECT_EQ(Log().substr(23), " (ReadNodeData) '" + SettingsFile() +
                                  "' is neither a Jet/ACE database nor an SQLite database\r\n\r\n");
  ExpectNodeFieldsUntouched();
}

TEST_F(ReadNodeDataTest, ADatabaseThatIsNoOrdinaryFileTakesTheFailurePath) {
  // A FIFO would block the open until a writer came; a directory or a
  // device is no database either. Each ends at once on the failure path.
  ASSERT_EQ(::mkfifo(SettingsFile().c_str(), 0600), 0);
  Read();
  EXPECT_EQ(Log(), ErrorLine("'" + SettingsFile() + "' is not an ordinary file", true));
  ExpectNodeFieldsUntouched();
  ExpectErrorWait();
  std::remove(SettingsFile().c_str());

  const std::string fifo = base_.File("nodes.mdb");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string node_databases[] = {
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + fifo,
      "Provider=SQLite;Data Source=" + fifo,
      "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=" + base_.path(),
      "Provider=SQLite;Data Source=" + base_.path(),
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=/dev/zero",
  };
  for (const std::string& target : node_databases) {
    SCOPED_TRACE(target);
    run_.env.files.clear();
    std::remove(SettingsFile().c_str());
    SettingsFor(target);
    Read();
    const std::string path = target.substr(target.find("Data Source=") + 12);
    // The virtual clock has moved on by the earlier failures' waits.
    EXPECT_EQ(Log().substr(23),
              ErrorLine("'" + path + "' is not an ordinary file", true).substr(23));
    ExpectNodeFieldsUntouched();
  }
}

TEST_F(ReadNodeDataTest, MissingTablesAndColumns) {
  RunSql(SettingsFile(), "CREATE TABLE Other (a);");
  Read();
  EXPECT_NE(Log().find("(ReadNodeData) no such table: Settings_Console\r\n\r\n"), std::string::npos)
      << Log();
  run_.env.files.clear();
  std::remove(SettingsFile().c_str());
  RunSql(NodeDb(),
         "CREATE TABLE ATR_Nodes (node_id, address);"
         "INSERT INTO ATR_Nodes VALUES (17, '1.2.3.4');");
  SettingsFor("Provider=SQLite;Data Source=" + NodeDb());
  Read();
  EXPECT_NE(Log().find("(ReadNodeData) no such column: status"), std::string::npos) << Log();
  ExpectNodeFieldsUntouched();
}

TEST_F(ReadNodeDataTest, WithTheLogOffNoFailureWritesOrWaits) {
  run_.ctx.state.DebugOn = false;
  Read();  // no settings file
  RunSql(SettingsFile(), "CREATE TABLE Settings_Console (SqlDbSetupOk, DbConnStringSql);");
  Read();  // empty table
  std::remove(SettingsFile().c_str());
  Settings("0", "NULL");
  Read();  // empty connection string
  std::remove(SettingsFile().c_str());
  Nodes(std::string(kFullRow));
  Read();  // success
  EXPECT_EQ(run_.ctx.state.IpAddr, "10.1.2.3");
  EXPECT_TRUE(run_.env.appends.empty());
  EXPECT_TRUE(run_.env.sleeps().empty());
}

TEST_F(ReadNodeDataTest, UnwritableRecordGroupKeepsTheRecord) {
  Nodes(kFullRow);
  run_.env.failing_paths.insert(base_.File("apiexec/upsdebug-17.txt"));
  Read();
  EXPECT_EQ(run_.ctx.state.IpAddr, "10.1.2.3");
  EXPECT_EQ(run_.env.stderr_lines.size(), 1u);
}

TEST_F(ReadNodeDataTest, SettingsPathWithSemicolon) {
  TempDir odd;
  const std::string base = odd.File("a;b");
  std::filesystem::create_directory(base);
  run_.SetBase(base);
  RunSql(NodeDb(), std::string(kNodeTable) + kFullRow);
  RunSql(base + "/Kovatrel.mdb",
         "CREATE TABLE Settings_Console (SqlDbSetupOk, DbConnStringSql);"
         "INSERT INTO Settings_Console VALUES (1, " +
             Lit("Provider=SQLite;Data Source=" + NodeDb()) + ");");
  Read();
  EXPECT_EQ(run_.ctx.state.IpAddr, "10.1.2.3");
}

// SQLite files opened with a bound of 50 ms (e2e.runaway_sqlite_view runs
// the real bound).
std::unique_ptr<ProviderConnection> OpenWithShortBound(const std::string& cs, int,
                                                       OperationNotes&) {
  return OpenSqliteFile(ChooseProvider(cs).target, std::chrono::milliseconds(50));
}

// An endlessly recursive view in place of either table ends at its bound on
// the failure path (its node_id is no plain column, which SQLite would match
// with the key before running anything); so does a schema too long to read.
TEST_F(ReadNodeDataTest, RunawayStatementsEndAtTheirBound) {
  const std::string endless =
      " AS WITH RECURSIVE r(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM r) SELECT 'x' || n AS "
      "node_id, n AS SqlDbSetupOk, n AS DbConnStringSql, n AS address, n AS UdpPort, n AS status, "
      "n AS SnmpVersion, n AS readcomm, n AS trapcomm, n AS LastChange, n AS LastMessage FROM r "
      "WHERE n < 0";
  opener_ = &OpenWithShortBound;
  RunSql(SettingsFile(), "CREATE VIEW Settings_Console" + endless);
  Read();
  EXPECT_EQ(run_.ctx.node_record_problem,
            "node 17: cannot read the settings database " + SettingsFile() +
                ": Reading the table Settings_Console did not finish within 50 ms");
  std::remove(SettingsFile().c_str());
  RunSql(NodeDb(), "CREATE VIEW ATR_Nodes" + endless);
  SettingsFor("Provider=SQLite;Data Source=" + NodeDb());
  Read();
  EXPECT_NE(Log().find(" (ReadNodeData) The query did not finish within 50 ms\r\n\r\n"),
            std::string::npos);
  ExpectNodeFieldsUntouched();

  std::string tables;
  for (int i = 0; i < 300; ++i) tables += "CREATE TABLE t" + std::to_string(i) + " (a);";
  RunSql(base_.File("wide.db"), tables);
  try {
    OpenSqliteFile(base_.File("wide.db"), std::chrono::milliseconds(0));
    ADD_FAILURE() << "the schema was read";
  } catch (const platform::Failure& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open the SQLite database '" + base_.File("wide.db") +
                                         "': reading its schema did not finish within 0 ms");
  }
}

// A row that stops after its first column: the run goes on with what was
// read and says once where the read stopped; an end for want of the port
// does not say it again (run/failure_test.cc). One that stops at its first
// column has read nothing, which the end of the run says.
TEST_F(ReadNodeDataTest, ARowReadInPartSaysSoOnceAndTheRunGoesOn) {
  Nodes(
      "INSERT INTO ATR_Nodes VALUES (17, '10.1.2.3', 161, 99999, 2, 'public', 't', 'c', 'm');"
      "INSERT INTO ATR_Nodes VALUES (18, NULL, 161, 3, 2, 'public', 't', 'c', 'm');"
      "INSERT INTO ATR_Nodes VALUES (19, '10.1.2.3', 161, '7' || char(13, 10) || 'x' || "
      "char(155) || cast(x'9b' as text), 2, 'public', 't', 'c', 'm');");
  upstest::testing::TestRun run(
      "UPS-1 17 5 upsEstimatedMinutesRemaining>10 upsBatteryVoltage|200-250 "
      "upsBatteryTemperature<40 entPhySensorValue<35");
  run.SetBase(base_.path());
  run.ctx.read_node_data = [](run::Context& c) { ReadNodeData(c); };
  EXPECT_EQ(run::RunTest(run.ctx), platform::kExitNormal);
  EXPECT_EQ(run.env.stderr_lines,
            std::vector<std::string>{"node 17: record read up to column status: Overflow: 99999 "
                                     "does not fit in 16 bits; the fields after it are empty"});
  ASSERT_FALSE(run.manager.requests.empty());
  EXPECT_EQ(run.manager.requests[0].remote_host, "10.1.2.3");
  EXPECT_EQ(run.manager.requests[0].community, "");
  EXPECT_EQ(run.agent.traps.size(), 1u);

  run_.SetNodeId(18);
  Read();
  EXPECT_TRUE(run_.env.stderr_lines.empty());
  EXPECT_FALSE(run_.ctx.node_record_problem_said);
  EXPECT_NE(run_.ctx.node_record_problem, "");

  // The value that stopped the read shows its control characters (C0, and
  // C1 as UTF-8 or as a lone byte) as '?' on stderr.
  run_.SetNodeId(19);
  Read();
  EXPECT_EQ(run_.env.stderr_lines,
            std::vector<std::string>{"node 19: record read up to column status: Type mismatch: "
                                     "'7?\?x?\?' is not a number; the fields after it are empty"});
}

// A text longer than kLongestText stops the read at its column like any
// value that does not fit, with the reason where the run says it; one at
// the bound is read. A value past SQLite's own length limit, built in one
// step where no deadline sees it, fails the statement that builds it.
TEST_F(ReadNodeDataTest, OversizedTextsStopTheReadAtTheirColumn) {
  const std::string x5000 = "printf('%.*c', 5000, 'x')";
  const std::string db = "Provider=SQLite;Data Source=" + NodeDb();
  const std::string stopped = "Text too long: more than 4096 bytes";
  struct Case {
    std::string settings, address, readcomm;
    std::string problem;      // ctx.node_record_problem
    std::string stderr_line;  // the reader's own line, if any
    size_t address_size;      // IpAddr as stored
  };
  const std::vector<Case> cases = {
      {Lit(db), "printf('%.*c', 4096, 'x')", "'public'", "", "", 4096},
      {Lit(db), x5000, "'public'",
       "node 17: cannot read the row of ATR_Nodes in " + db + ": " + stopped, "", 0},
      {Lit(db), "'10.1.2.3'", x5000,
       "node 17: cannot read the row of ATR_Nodes in " + db + ": " + stopped,
       "node 17: record read up to column readcomm: " + stopped + "; the fields after it are empty",
       8},
      {Lit(db), "hex(zeroblob(600000))", "'public'",
       "node 17: cannot read the node database " + db + ": string or blob too big", "", 0},
      {x5000, "'10.1.2.3'", "'public'",
       "node 17: cannot read the settings database " + SettingsFile() + ": " + stopped, "", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address + " " + c.readcomm + " " + c.settings.substr(0, 40));
    std::remove(SettingsFile().c_str());
    std::remove(NodeDb().c_str());
    Settings("-1", c.settings);
    RunSql(NodeDb(), "CREATE VIEW ATR_Nodes AS SELECT '17' AS node_id, " + c.address +
                         " AS address, 161 AS UdpPort, 3 AS status, 2 AS SnmpVersion, " +
                         c.readcomm +
                         " AS readcomm, 't' AS trapcomm, 'c' AS LastChange, 'm' AS LastMessage");
    upstest::testing::TestRun run;
    run.SetBase(base_.path());
    run.SetNodeId(17);
    ReadNodeData(run.ctx);
    const run::TestState& s = run.ctx.state;
    EXPECT_EQ(run.ctx.node_record_problem, c.problem);
    EXPECT_EQ(run.env.stderr_lines, c.stderr_line.empty()
                                        ? std::vector<std::string>{}
                                        : std::vector<std::string>{c.stderr_line});
    EXPECT_EQ(s.IpAddr.size(), c.address_size);
    EXPECT_EQ(s.SnmpVersion, c.address_size > 0 ? "2" : "");
    EXPECT_EQ(s.readcomm, c.problem.empty() ? "public" : "");
  }
}

bool Loaded(const char* soname) { return dlopen(soname, RTLD_NOW | RTLD_NOLOAD) != nullptr; }

TEST_F(ReadNodeDataTest, SqliteOnlyRunLoadsNeitherOdbcNorLibmdb) {
  if (Loaded("libodbc.so.2") || Loaded("libmdb.so.3")) {
    GTEST_SKIP() << "an earlier test in this process loaded them";
  }
  Nodes(kFullRow);
  Read();
  EXPECT_EQ(run_.ctx.state.IpAddr, "10.1.2.3");
  EXPECT_FALSE(Loaded("libodbc.so.2"));
  EXPECT_FALSE(Loaded("libmdb.so.3"));
}

TEST_F(ReadNodeDataTest, NodeDatabaseThroughTheSqliteOdbcDriver) {
  RunSql(NodeDb(), std::string(kNodeTable) + kFullRow);
  SettingsFor("Driver=SQLite3;Database=" + NodeDb() + ";NoCreat=1");
  Read();
  EXPECT_EQ(run_.ctx.state.IpAddr, "10.1.2.3");
  EXPECT_EQ(run_.ctx.state.UdpPort, 161);
  EXPECT_EQ(run_.ctx.state.LastMessage, "on battery");
  EXPECT_EQ(Log().find("(ReadNodeData)"), std::string::npos) << Log();
}

TEST_F(ReadNodeDataTest, NodeDatabaseOnPostgresWithNotices) {
  PgTestDb pg;
  if (!pg.available()) GTEST_SKIP() << "UPSTEST_PG_* is not set";
  // Unquoted names fold to lower case on the server; the node table is a
  // view that raises a NOTICE each time it is read.
  pg.Sql(
      "CREATE TABLE nodes_data (node_id INTEGER, address TEXT, UdpPort NUMERIC(8,1), "
      "status INTEGER, SnmpVersion TEXT, readcomm TEXT, trapcomm TEXT, LastChange TIMESTAMP, "
      "LastMessage TEXT);"
      "INSERT INTO nodes_data VALUES (17, '10.1.2.3', 161.5, 2, '1', 'public', 'traps', "
      "'2026-12-01 08:00:00', 'Grüße');"
      "CREATE FUNCTION noisy_nodes() RETURNS SETOF nodes_data LANGUAGE plpgsql AS $$ BEGIN "
      "RAISE NOTICE 'reading nodes'; RETURN QUERY SELECT * FROM nodes_data; END $$;"
      "CREATE VIEW ATR_Nodes AS SELECT * FROM noisy_nodes();");
  SettingsFor(pg.ConnectionString());
  Read();
  const run::TestState& s = run_.ctx.state;
  EXPECT_EQ(s.IpAddr, "10.1.2.3");
  EXPECT_EQ(s.UdpPort, 162);
  EXPECT_EQ(s.NodeStatus, 2);
  EXPECT_EQ(s.SnmpVersion, "1");
  EXPECT_EQ(s.LastChange, "2026-12-01 08:00:00");
  EXPECT_EQ(s.LastMessage, "Grüße");
  EXPECT_EQ(Log(), Group());
}

TEST_F(ReadNodeDataTest, NodeDatabaseOnPostgresWrongPassword) {
  PgTestDb pg;
  if (!pg.available()) GTEST_SKIP() << "UPSTEST_PG_* is not set";
  SettingsFor(pg.ConnectionString("not-the-password"));
  Read();
  EXPECT_NE(Log().find("(ReadNodeData) The ODBC connection failed"), std::string::npos) << Log();
  EXPECT_EQ(Log().find("not-the-password"), std::string::npos);
  ExpectNodeFieldsUntouched();
}

// A provider that reports errors on successful operations, which no real
// provider here can be made to do.
struct ComplainingProvider final : ProviderConnection {
  static inline bool complain_at_open = false;
  FirstRecord Execute(const std::string&, OperationNotes& notes) override {
    notes.error_count = 1;
    FirstRecord r;
    r.has_columns = true;
    r.eof = false;
    r.names = {"address",  "UdpPort",  "status",     "SnmpVersion",
               "readcomm", "trapcomm", "LastChange", "LastMessage"};
    r.values.assign(8, Value::Integer(1));
    return r;
  }
  FirstRecord OpenTable(const std::string&, OperationNotes&) override { return {}; }
  // The complaining provider for its own connection string, the real ones
  // for the rest (the settings database).
  static std::unique_ptr<ProviderConnection> Open(const std::string& cs, int timeout_s,
                                                  OperationNotes& notes) {
    if (cs != "Provider=Complaining") return OpenAnyProvider(cs, timeout_s, notes);
    if (complain_at_open) notes.error_count = 2;
    return std::make_unique<ComplainingProvider>();
  }
};

class ReadNodeDataErrorsTest : public ReadNodeDataTest {
 protected:
  void SetUp() override {
    opener_ = &ComplainingProvider::Open;
    SettingsFor("Provider=Complaining");
  }
  void TearDown() override { ComplainingProvider::complain_at_open = false; }
};

TEST_F(ReadNodeDataErrorsTest, ErrorsAfterTheOpenReadNothing) {
  ComplainingProvider::complain_at_open = true;
  Read();
  EXPECT_EQ(Log(), ErrorLine("", false));
  ExpectNodeFieldsUntouched();
  ExpectErrorWait();
}

TEST_F(ReadNodeDataErrorsTest, ErrorsAfterTheQueryReadNothing) {
  Read();
  EXPECT_EQ(Log(), ErrorLine("", false));
  ExpectNodeFieldsUntouched();
  ExpectErrorWait();
}

TEST_F(ReadNodeDataErrorsTest, WithTheLogOffErrorsWriteAndWaitNothing) {
  run_.ctx.state.DebugOn = false;
  Read();
  ComplainingProvider::complain_at_open = true;
  Read();
  ExpectNodeFieldsUntouched();
  EXPECT_TRUE(run_.env.appends.empty());
  EXPECT_TRUE(run_.env.sleeps().empty());
}

}  // namespace
}  // namespace upstest::store
