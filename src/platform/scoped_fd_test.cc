#include "platform/scoped_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace upstest::platform {
namespace {

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

int OpenNull() { return ::open("/dev/null", O_RDONLY | O_CLOEXEC); }

// Closed on every way out of its scope, once; handed on by a move, given up
// by Release, and closed early by Close, which reports what close said.
TEST(ScopedFdTest, ClosedByItsOwnerOnEveryPath) {
  int fd = OpenNull();
  { const ScopedFd held(fd); }
  EXPECT_FALSE(IsOpen(fd)) << "closed at the end of its scope";

  fd = OpenNull();
  try {
    const ScopedFd held(fd);
    throw std::runtime_error("a failing step");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(IsOpen(fd)) << "closed by the throw";

  fd = OpenNull();
  ScopedFd outer;
  {
    ScopedFd inner(fd);
    outer = std::move(inner);
    EXPECT_FALSE(inner.valid());
  }
  EXPECT_TRUE(IsOpen(fd)) << "the move handed it on";
  const int second = OpenNull();
  outer.Reset(second);
  EXPECT_FALSE(IsOpen(fd)) << "Reset closes the one it held";
  EXPECT_EQ(outer.Close(), 0);
  EXPECT_FALSE(IsOpen(second));
  EXPECT_EQ(outer.Close(), 0) << "nothing held: nothing closed";

  fd = OpenNull();
  {
    ScopedFd given(fd);
    EXPECT_EQ(given.Release(), fd);
  }
  EXPECT_TRUE(IsOpen(fd)) << "Release gives it up";
  ::close(fd);

  ScopedFd stale(fd);
  EXPECT_EQ(stale.Close(), -1) << "a failing close is reported";
  EXPECT_EQ(errno, EBADF);
  EXPECT_FALSE(stale.valid());
}

}  // namespace
}  // namespace upstest::platform
