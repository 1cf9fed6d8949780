// A file descriptor closed by its owner: whichever path leaves the scope
// that holds it (a return, a throw), it is closed once, and no path closes
// it by hand.
#pragma once

#include <unistd.h>

#include <utility>

namespace upstest::platform {

class ScopedFd {
 public:
  ScopedFd() = default;
  // Takes `fd` over (-1 or any other negative number: none).
  explicit ScopedFd(int fd) : fd_(fd) {}
  ~ScopedFd() { Reset(); }
  ScopedFd(ScopedFd&& other) noexcept : fd_(other.Release()) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Gives the descriptor up without closing it.
  int Release() { return std::exchange(fd_, -1); }

  // Closes the descriptor held, if any, and holds `fd` instead. A failing
  // close is not reported: use Close where it must be.
  void Reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

  // Closes the descriptor now and returns close's result (0, or -1 with
  // errno set: a writer's last chance to learn of a lost write). Holds
  // none afterwards, whatever close said; 0 when it held none.
  int Close() {
    const int fd = Release();
    return fd >= 0 ? ::close(fd) : 0;
  }

 private:
  int fd_ = -1;
};

}  // namespace upstest::platform
