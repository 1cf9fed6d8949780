// Access files and ODBC through the helper program, for real: the built
// upstest-store, a Jet 4 fixture and the SQLite ODBC driver.
#include "store/helper.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/program.h"
#include "store/ado.h"
#include "store/helper_server.h"
#include "test_support/test_files.h"

namespace upstest::store {
namespace {

using testing::RunSql;
using testing::TempDir;
using testing::WriteFile;

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

// Genuine Access files kept with the tests (tests/fixtures/README.md).
const std::string kFixtures = UPSTEST_SOURCE_DIR "/tests/fixtures/";

std::string ReadAll(const std::string& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

// A shell script standing in for the helper; it writes its pid to the file
// "pid" of `dir` first (the pid stays when it execs another program).
std::string Script(const TempDir& dir, const std::string& name, const std::string& body) {
  const std::string path = dir.File(name);
  WriteFile(path, "#!/bin/sh\necho $$ > '" + dir.File("pid") + "'\n" + body + "\n");
  ::chmod(path.c_str(), 0755);
  return path;
}

pid_t PidOf(const TempDir& dir) {
  pid_t pid = 0;
  std::ifstream(dir.File("pid")) >> pid;
  return pid;
}

// True when no process `pid` exists any more, not even a zombie: the
// helper was killed and reaped.
bool Gone(pid_t pid) { return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH; }

// Standard error of this process sent to a file while it lives.
class CapturedStderr {
 public:
  explicit CapturedStderr(const std::string& path) : path_(path), saved_(::dup(STDERR_FILENO)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
  }
  ~CapturedStderr() { Restore(); }
  std::string Text() {
    Restore();
    std::ostringstream out;
    out << std::ifstream(path_).rdbuf();
    return out.str();
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    saved_ = -1;
  }
  std::string path_;
  int saved_;
};

// A hung helper must cost its operation, never the whole run: its longest
// wait ends well before the watchdog ends the run.
static_assert(kLongestDatabaseWaitS < platform::kWatchdogSeconds,
              "a helper's longest wait must end before the run's watchdog does");

TEST(HelperBounds, ASilentHelperIsKilledAndReapedWhenItsBoundPasses) {
  // The bound the README promises, as a number of its own: the expectations
  // below are built from the constant.
  ASSERT_EQ(kLongestDatabaseWaitS, 10);
  TempDir dir;
  Connection conn;
  conn.ConnectionString = "Driver=SQLite3;Database=" + dir.File("nodes.db");
  conn.ConnectionTimeout = 1;
  {
    // Never answers the open: the open's bound is its connection timeout.
    WithHelper helper(Script(dir, "silent", "exec sleep 600"));
    EXPECT_EQ(FailureOf(conn), "The database helper did not answer within 1 s");
    EXPECT_TRUE(Gone(PidOf(dir)));
    EXPECT_EQ(conn.State(), kStateClosed);
  }
  {
    // Answers the open ('K', no errors), then never a statement: the
    // statement's bound is the longest wait. A later statement on that
    // connection fails at once.
    WithHelper helper(Script(dir, "mute", R"(printf '\005\000\000\000K\000\000\000\000'
exec sleep 600)"));
    conn.Open();
    EXPECT_EQ(conn.State(), kStateOpen);
    try {
      conn.Execute("SELECT 1");
      ADD_FAILURE() << "the statement was answered";
    } catch (const platform::Failure& e) {
      EXPECT_EQ(std::string(e.what()), "The database helper did not answer within " +
                                           std::to_string(kLongestDatabaseWaitS) + " s");
    }
    EXPECT_TRUE(Gone(PidOf(dir)));
    try {
      conn.Execute("SELECT 1");
      ADD_FAILURE() << "a dead helper answered";
    } catch (const platform::Failure& e) {
      EXPECT_EQ(std::string(e.what()), "database helper ended unexpectedly");
    }
    conn.Close();
  }
  {
    // An answer that is no answer ends the helper as well.
    WithHelper helper(Script(dir, "garbled", R"(printf '\001\000\000\000Z'
exec sleep 600)"));
    EXPECT_EQ(FailureOf(conn), "database helper: malformed answer");
    EXPECT_TRUE(Gone(PidOf(dir)));
  }
}

// What the helper or its libraries print reaches nobody: libmdb's complaint
// about a corrupt file stays out of this process's standard error, whose
// only lines are the run's own, and a flood of them never blocks the helper.
TEST(HelperBounds, TheHelpersStandardErrorReachesNobody) {
  TempDir dir;
  std::string jet = ReadAll(kFixtures + "DateTestDatabase.mdb");
  jet[0x14] = 53;  // a Jet version libmdb does not know, and says so
  const std::string corrupt = dir.File("corrupt.mdb");
  WriteFile(corrupt, jet);
  Connection conn;
  conn.ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + corrupt;
  conn.ConnectionTimeout = 5;
  CapturedStderr captured(dir.File("stderr"));
  {
    WithHelper helper(UPSTEST_STORE_HELPER);
    EXPECT_EQ(FailureOf(conn), "Cannot open the Access database '" + corrupt + "'");
  }
  {
    // A megabyte of complaints, then the answer to the open.
    WithHelper helper(Script(dir, "flood", R"(head -c 1048576 /dev/zero | tr '\0' x >&2
printf '\005\000\000\000K\000\000\000\000'
exec sleep 600)"));
    conn.Open();
    EXPECT_EQ(conn.State(), kStateOpen);
    conn.Close();
  }
  const std::string text = captured.Text();
  EXPECT_TRUE(text.empty()) << text.substr(0, 200);
}

TEST(HelperBounds, TheHelperDiesWithItsParentEvenWhenThatIsKilled) {
  TempDir dir;
  // A server that takes the connection and never says a word: the real
  // helper waits in the driver's login for the full login timeout.
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const std::string helper =
      Script(dir, "store", std::string("exec '") + UPSTEST_STORE_HELPER + "' \"$@\"");
  const pid_t parent = ::fork();
  ASSERT_GE(parent, 0);
  if (parent == 0) {
    UseDatabaseHelper(helper);
    Connection conn;
    conn.ConnectionString = "Provider=SQLNCLI11;Data Source=tcp:127.0.0.1," +
                            std::to_string(ntohs(address.sin_port)) + ";User ID=sa;Password=never";
    conn.ConnectionTimeout = 60;
    try {
      conn.Open();
    } catch (...) {
    }
    ::_exit(0);
  }
  // Once the driver has connected, the helper is well past asking to die
  // with its parent.
  pollfd connected{listener, POLLIN, 0};
  const bool waiting = ::poll(&connected, 1, 10'000) == 1;
  const pid_t pid = PidOf(dir);
  // The listener stays open: closing it would end the helper's login.
  ASSERT_TRUE(waiting) << "the helper never connected";
  ASSERT_GT(pid, 0);

  // Its limits as the kernel shows them: soft and hard value of one line.
  std::ostringstream text;
  text << std::ifstream("/proc/" + std::to_string(pid) + "/limits").rdbuf();
  auto limit = [&text](const std::string& name) {
    const size_t at = text.str().find(name);
    if (at == std::string::npos) return std::string("(none)");
    std::istringstream line(text.str().substr(at + name.size()));
    std::string soft, hard;
    line >> soft >> hard;
    return soft + " " + hard;
  };
  EXPECT_EQ(limit("Max core file size"), "0 0");
  if (kHelperLimitsAddressSpace) {
    EXPECT_EQ(limit("Max address space"),
              std::to_string(kHelperAddressSpace) + " " + std::to_string(kHelperAddressSpace));
  }

  ASSERT_EQ(::kill(parent, SIGKILL), 0);
  ASSERT_EQ(::waitpid(parent, nullptr, 0), parent);
  // Not this process's child: its end is watched through a pidfd.
  const int pidfd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
  if (pidfd >= 0) {
    pollfd ended{pidfd, POLLIN, 0};
    EXPECT_EQ(::poll(&ended, 1, 10'000), 1) << "the helper outlived its parent";
    ::close(pidfd);
  } else {
    EXPECT_EQ(errno, ESRCH);  // gone already
  }
  if (!Gone(pid)) ::kill(pid, SIGKILL);  // only after a failure above
  ::close(listener);

  // A helper whose parent is not the one named (it ended before the helper
  // could ask to die with it) ends at once.
  WithHelper orphan(Script(dir, "orphan", std::string("exec '") + UPSTEST_STORE_HELPER + "' 1"));
  Connection conn;
  conn.ConnectionString =
      "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + kFixtures + "DateTestDatabase.mdb";
  EXPECT_EQ(FailureOf(conn), "database helper ended unexpectedly");
  EXPECT_TRUE(Gone(PidOf(dir)));
}

// --- Corrupt Access files: every one ends within its bound, by an answer
// or by the helper's end, and leaves no process behind. -------------------

struct Mutant {
  std::string fixture;
  std::string table;
  std::vector<std::pair<size_t, uint8_t>> changes;
};

// The hand-picked ones kept in the repository.
std::vector<Mutant> KeptMutants() {
  std::vector<Mutant> mutants;
  std::istringstream lines(ReadAll(kFixtures + "jet-mutants.txt"));
  for (std::string line; std::getline(lines, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    Mutant m;
    fields >> m.fixture >> m.table;
    for (std::string change; fields >> change;) {
      const size_t eq = change.find('=');
      m.changes.emplace_back(std::stoul(change.substr(0, eq), nullptr, 16),
                             static_cast<uint8_t>(std::stoul(change.substr(eq + 1), nullptr, 16)));
    }
    mutants.push_back(std::move(m));
  }
  return mutants;
}

// `count` more of `fixture`, from a fixed seed: one to four octets changed
// in the first 256 octets of table definition and data pages, where the
// page headers, row offsets and column definitions lie.
std::vector<Mutant> GeneratedMutants(const std::string& fixture, const std::string& table,
                                     const std::string& bytes, int count, uint32_t seed) {
  const size_t page_size = bytes.at(0x14) == 0 ? 2048 : 4096;  // Jet 3 : Jet 4
  std::vector<size_t> pages;
  for (size_t p = 0; p < bytes.size() / page_size; ++p) {
    if (bytes[p * page_size] == 1 || bytes[p * page_size] == 2) pages.push_back(p);
  }
  std::mt19937 random(seed);
  std::vector<Mutant> mutants;
  for (int i = 0; i < count; ++i) {
    Mutant m{fixture, table, {}};
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const size_t page = pages[random() % pages.size()];
      m.changes.emplace_back(page * page_size + random() % 256, static_cast<uint8_t>(random()));
    }
    mutants.push_back(std::move(m));
  }
  return mutants;
}

enum class Outcome { kRead, kFailed };

// Opens the mutant through the helper and reads its table's first record.
Outcome ReadMutant(const std::string& path, const std::string& table) {
  try {
    Connection conn;
    conn.ConnectionString = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + path;
    conn.ConnectionTimeout = 5;
    conn.Open();
    Recordset rs;
    rs.Open(table, conn, kOpenUnspecified, kLockUnspecified, kCmdTable);
    if (!rs.Eof()) {
      for (const std::string& name : rs.FieldNames()) (void)rs.Fields(name);
    }
    return Outcome::kRead;
  } catch (const platform::Failure&) {
    return Outcome::kFailed;
  }
}

TEST(HelperCorpus, EveryCorruptJetFileEndsAndLeavesNoProcessBehind) {
  TempDir dir;
  WithHelper helper(
      Script(dir, "store", std::string("exec '") + UPSTEST_STORE_HELPER + "' \"$@\""));
  std::map<std::string, std::string> originals;
  for (const char* fixture : {"DateTestDatabase.mdb", "nwind.mdb"}) {
    originals[fixture] = ReadAll(kFixtures + fixture);
  }
  const std::vector<Mutant> kept = KeptMutants();
  ASSERT_GE(kept.size(), 4u);
  std::vector<Mutant> all = kept;
  for (auto& m : GeneratedMutants("DateTestDatabase.mdb", "DateTest",
                                  originals["DateTestDatabase.mdb"], 150, 20261209)) {
    all.push_back(std::move(m));
  }
  for (auto& m : GeneratedMutants("nwind.mdb", "Customers", originals["nwind.mdb"], 40, 1997)) {
    all.push_back(std::move(m));
  }

  const std::string path = dir.File("mutant.mdb");
  int failed = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    const Mutant& m = all[i];
    std::string bytes = originals.at(m.fixture);
    std::string described = m.fixture;
    for (const auto& [offset, value] : m.changes) {
      ASSERT_LT(offset, bytes.size());
      bytes[offset] = static_cast<char>(value);
      described += " " + std::to_string(offset) + "=" + std::to_string(value);
    }
    SCOPED_TRACE(described);
    WriteFile(path, bytes);
    std::remove(dir.File("pid").c_str());
    const Outcome outcome = ReadMutant(path, m.table);
    if (outcome == Outcome::kFailed) ++failed;
    // The hand-picked ones are known to break the reading (by a failure, a
    // crash of the library or a flood of complaints).
    if (i < kept.size()) {
      EXPECT_EQ(outcome, Outcome::kFailed);
    }
    const pid_t pid = PidOf(dir);
    EXPECT_TRUE(Gone(pid)) << "helper " << pid << " is still there";
  }
  // The generated ones are no mere copies of the fixtures: some of them
  // break the reading too.
  EXPECT_GT(failed, static_cast<int>(kept.size()));
}

}  // namespace
}  // namespace upstest::store
