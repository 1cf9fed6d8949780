// A file descriptor with one owner, closed when the owner goes: every path
// out of a function that opened it closes it, the failing ones included.
#pragma once

#include <unistd.h>

#include <utility>

namespace upstest::platform {

class ScopedFd {
 public:
  ScopedFd() = default;
  // Takes `fd` over; a negative one is no descriptor.
  explicit ScopedFd(int fd) : fd_(fd) {}
  ScopedFd(ScopedFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  ScopedFd& operator=(ScopedFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ~ScopedFd() { Reset(); }

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }

  // Closes the descriptor now and says how that went (close's result: 0,
  // or -1 with errno set); the owner then holds none. For a file just
  // written, whose close can still report a lost write.
  int Close() { return fd_ < 0 ? 0 : ::close(std::exchange(fd_, -1)); }

 private:
  void Reset() {
    if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  }
  int fd_ = -1;
};

}  // namespace upstest::platform
