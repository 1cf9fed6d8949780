#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/env.h"
#include "platform/error.h"

namespace upstest::platform {
namespace {

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/upstest-env-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (made == nullptr) throw Failure("mkdtemp failed");
    path_ = made;
  }
  ~TempDir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(PosixEnvTest, AppendCreatesThenAppends) {
  TempDir dir;
  const std::string path = dir.path() + "/upsdebug-1.txt";
  Env& env = DefaultEnv();
  const mode_t old_mask = umask(022);
  env.AppendToFile(path, "one\r\n");
  umask(old_mask);
  env.AppendToFile(path, "");
  env.AppendToFile(path, std::string_view("two\0\r\n", 6));
  EXPECT_EQ(ReadAll(path), std::string("one\r\ntwo\0\r\n", 11));
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u) << "the log holds the communities";
}

// On a full disk a group fails whole: nothing of it is left in the file,
// even where the file's last block still had room for its first part.
// Needs a small file system of its own (a tmpfs in a private mount
// namespace, so root).
TEST(PosixEnvTest, AGroupThatDoesNotFitLeavesNothingBehind) {
  if (geteuid() != 0) GTEST_SKIP() << "a private tmpfs needs root";
  TempDir dir;
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // 2: no namespace or tmpfs here; 3: the file system did not fill; 4:
    // the append did not fail; 5: part of the group was written.
    if (unshare(CLONE_NEWNS) != 0 ||
        mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=64k") != 0) {
      _exit(2);
    }
    const std::string log = dir.path() + "/upsdebug-1.txt";
    DefaultEnv().AppendToFile(log, std::string(4000, 'a'));  // one block, 96 bytes to spare
    const int filler = ::open((dir.path() + "/filler").c_str(), O_WRONLY | O_CREAT, 0600);
    const std::string block(4096, 'f');
    while (::write(filler, block.data(), block.size()) > 0) {
    }
    if (errno != ENOSPC) _exit(3);
    ::close(filler);
    try {
      DefaultEnv().AppendToFile(log, std::string(500, 'b'));
      _exit(4);
    } catch (const Failure&) {
    }
    struct stat st;
    _exit(::stat(log.c_str(), &st) == 0 && st.st_size == 4000 ? 0 : 5);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no private tmpfs here";
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Under a file size limit a group that would pass it is not written at
// all. SIGXFSZ keeps its default in the child, so a write past the limit
// would end it.
TEST(PosixEnvTest, AGroupPastTheFileSizeLimitIsNotWritten) {
  TempDir dir;
  const std::string log = dir.path() + "/upsdebug-1.txt";
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 1000;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    // Each group's size and whether it fits; exit 10 + the first wrong one.
    const std::pair<size_t, bool> groups[] = {{600, true}, {500, false}, {400, true}, {1, false}};
    for (size_t i = 0; i < std::size(groups); ++i) {
      bool written = true;
      try {
        DefaultEnv().AppendToFile(log, std::string(groups[i].first, static_cast<char>('a' + i)));
      } catch (const Failure&) {
        written = false;
      }
      if (written != groups[i].second) _exit(10 + static_cast<int>(i));
    }
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "cannot set the file size limit";
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(log), std::string(600, 'a') + std::string(400, 'c'));
}

// Only an ordinary file takes a group: a FIFO (with or without a reader), a
// device behind a link, a link to an ordinary file, or a directory fails at
// once; nothing reaches the FIFO's reader or the link's target.
TEST(PosixEnvTest, AppendRefusesWhatIsNotAnOrdinaryFile) {
  TempDir dir;
  const std::string fifo = dir.path() + "/upsdebug-1.txt";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string device = dir.path() + "/upsdebug-2.txt";
  ASSERT_EQ(symlink("/dev/null", device.c_str()), 0);
  const std::string target = dir.path() + "/passwd";
  std::ofstream(target) << "root:x:0:0::/root:/bin/sh\n";
  const std::string link = dir.path() + "/upsdebug-3.txt";
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  for (const std::string& path : {fifo, device, link, dir.path()}) {
    EXPECT_THROW(DefaultEnv().AppendToFile(path, "x\r\n"), Failure) << path;
  }
  EXPECT_EQ(ReadAll(target), "root:x:0:0::/root:/bin/sh\n");
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  try {
    DefaultEnv().AppendToFile(fifo, "x\r\n");
    ADD_FAILURE() << "a FIFO with a reader took the group";
  } catch (const Failure& e) {
    EXPECT_NE(std::string(e.what()).find("not an ordinary file"), std::string::npos) << e.what();
  }
  char byte;
  EXPECT_LE(::read(reader, &byte, 1), 0);
  ::close(reader);
}

TEST(PosixEnvTest, AppendFailureCarriesTheSystemDescription) {
  TempDir dir;
  try {
    DefaultEnv().AppendToFile(dir.path() + "/missing/upsdebug-1.txt", "x");
    ADD_FAILURE() << "no failure";
  } catch (const Failure& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot open '" + dir.path() + "/missing/upsdebug-1.txt': No such file or directory");
  }
  EXPECT_THROW(DefaultEnv().AppendToFile(dir.path(), "x"), Failure) << "a directory";
}

// Several processes append groups of one size to one file at once, each
// under `limit` bytes of file size (none: 0); returns the file.
std::string AppendAtOnce(const std::string& path, int processes, int groups, size_t group_size,
                         rlim_t limit) {
  auto group = [&](int n) {
    return std::string(group_size - 2, static_cast<char>('A' + n)) + "\r\n";
  };
  int ready[2];
  if (pipe(ready) != 0) return "<no pipe>";
  std::vector<pid_t> children;
  for (int n = 0; n < processes; ++n) {
    const pid_t pid = fork();
    if (pid < 0) return "<no fork>";
    if (pid == 0) {
      char go;
      close(ready[1]);
      rlimit lim{limit, limit};
      if (limit != 0 && setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(2);
      // All start together when the parent closes the pipe.
      if (read(ready[0], &go, 1) < 0) _exit(3);
      const std::string text = group(n);
      for (int i = 0; i < groups; ++i) {
        try {
          DefaultEnv().AppendToFile(path, text);
        } catch (const Failure&) {
          if (limit == 0) _exit(4);  // only a limit may refuse a group
        }
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  close(ready[0]);
  close(ready[1]);
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  const std::string all = ReadAll(path);
  for (size_t at = 0; at < all.size(); at += group_size) {
    const std::string chunk = all.substr(at, group_size);
    const int n = chunk.empty() ? -1 : chunk[0] - 'A';
    if (n < 0 || n >= processes || chunk != group(n)) {
      ADD_FAILURE() << "a cut or interleaved group at byte " << at;
      break;
    }
  }
  return all;
}

// Groups of several processes never interleave, and under a file size
// limit none is cut at it: the file holds exactly the groups that fit.
TEST(PosixEnvTest, ProcessesAppendingAtOnceLeaveWholeGroups) {
  TempDir dir;
  constexpr size_t kGroupSize = 4000;
  EXPECT_EQ(AppendAtOnce(dir.path() + "/upsdebug-17.txt", 2, 400, kGroupSize, 0).size(),
            2 * 400 * kGroupSize);
  // 250 groups fit under the limit and 1000 bytes are left over; six
  // processes race for the last places, 25 rounds over.
  for (int round = 0; round < 25; ++round) {
    const std::string path = dir.path() + "/limited-" + std::to_string(round) + ".txt";
    ASSERT_EQ(AppendAtOnce(path, 6, 50, kGroupSize, 250 * kGroupSize + 1000).size(),
              250 * kGroupSize)
        << "round " << round;
  }
}

TEST(PosixEnvTest, OnlyAnOrdinaryFileCounts) {
  TempDir dir;
  Env& env = DefaultEnv();
  const std::string file = dir.path() + "/upsdebug.txt";
  EXPECT_FALSE(env.IsRegularFile(file));
  env.AppendToFile(file, "");
  EXPECT_TRUE(env.IsRegularFile(file));
  const std::string link = dir.path() + "/link.txt";
  ASSERT_EQ(symlink(file.c_str(), link.c_str()), 0);
  EXPECT_FALSE(env.IsRegularFile(link)) << "a link is not followed";
  const std::string sub = dir.path() + "/sub";
  ASSERT_EQ(mkdir(sub.c_str(), 0755), 0);
  EXPECT_FALSE(env.IsRegularFile(sub));
  EXPECT_FALSE(env.IsRegularFile("/dev/null"));
}

TEST(PosixEnvTest, ClocksAgree) {
  Env& env = DefaultEnv();
  const CivilTime now = env.LocalNow();
  const double seconds = env.SecondsSinceMidnight();
  EXPECT_GE(seconds, 0.0);
  EXPECT_LT(seconds, 86400.0);
  EXPECT_GE(now.month, 1);
  EXPECT_LE(now.month, 12);
  // The counter is read after the date and time (a midnight in between
  // would wrap it to 0).
  const double from_civil = now.hour * 3600.0 + now.minute * 60 + now.second;
  EXPECT_TRUE(seconds >= from_civil || seconds < 5) << seconds << " " << from_civil;
}

// A sleep ends at its time, or sooner when a descriptor has something to
// read; one whose time has passed returns at once.
TEST(PosixEnvTest, SleepUntilWakesForADatagram) {
  Env& env = DefaultEnv();
  int pair[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair), 0);
  int64_t start = env.MonotonicMs();
  EXPECT_FALSE(env.SleepUntil(start + 30));
  EXPECT_GE(env.MonotonicMs(), start + 30);
  start = env.MonotonicMs();
  EXPECT_FALSE(env.SleepUntil(start + 20, {pair[0]}));
  EXPECT_GE(env.MonotonicMs(), start + 20);
  EXPECT_FALSE(env.SleepUntil(start - 1000, {pair[0]}));
  ASSERT_EQ(write(pair[1], "x", 1), 1);
  EXPECT_TRUE(env.SleepUntil(env.MonotonicMs() + 60000, {pair[0]}));
  close(pair[0]);
  close(pair[1]);
}

TEST(PosixEnvTest, LookUpHostGivesAddressesOrTheResolversWord) {
  Env& env = DefaultEnv();
  const HostLookup literal = env.LookUpHost("127.0.0.1");
  ASSERT_EQ(literal.addresses.size(), 1u);
  EXPECT_EQ(literal.addresses[0].storage.ss_family, AF_INET);
  EXPECT_TRUE(literal.error.empty());
  const HostLookup unknown = env.LookUpHost("no-such-host.invalid");
  EXPECT_TRUE(unknown.addresses.empty());
  EXPECT_FALSE(unknown.error.empty());
}

}  // namespace
}  // namespace upstest::platform
