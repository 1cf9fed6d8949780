#include "platform/program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "platform/error.h"

namespace upstest::platform {

std::string ProgramDirectory() {
  // The kernel's link already names the program by its absolute path with
  // every symbolic link resolved; resolving it again would cost a readlink
  // per path component.
  std::string path(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return {};
    if (static_cast<size_t>(n) < path.size()) {
      path.resize(static_cast<size_t>(n));
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash);  // "/" itself becomes the empty text
}

void OpenClosedStandardDescriptors() {
  // One poll tells all three apart: a closed descriptor reports POLLNVAL.
  pollfd fds[3] = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
  if (::poll(fds, 3, 0) < 0) return;
  for (const pollfd& p : fds) {
    if ((p.revents & POLLNVAL) == 0) continue;
    // The lowest free number is taken, and every lower one is open by now.
    int fd = ::open("/dev/null", O_RDWR | O_NOCTTY);
    if (fd < 0) fd = ::open("/", O_RDONLY | O_DIRECTORY);
    if (fd >= 0 && fd != p.fd) ::close(fd);
  }
}

void IgnoreWriteSignals() {
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

std::string BaseDirectory(const std::string& program_directory) {
  constexpr size_t kCut = 8;  // "/apiexec"
  if (program_directory.size() < kCut) return {};
  return program_directory.substr(0, program_directory.size() - kCut);
}

namespace {

char watchdog_line[64];
size_t watchdog_length = 0;

extern "C" void WatchdogExpired(int) {
  // Only async-signal-safe calls from here on.
  ssize_t ignored = ::write(STDERR_FILENO, watchdog_line, watchdog_length);
  (void)ignored;
  _exit(kExitFailure);
}

}  // namespace

void StartWatchdog(int seconds) {
  const int n = std::snprintf(watchdog_line, sizeof watchdog_line,
                              "upstest: the run did not end within %d s\n", seconds);
  watchdog_length = n > 0 ? std::min(static_cast<size_t>(n), sizeof watchdog_line - 1) : 0;
  struct sigaction action {};
  action.sa_handler = WatchdogExpired;
  sigemptyset(&action.sa_mask);
  sigaction(SIGALRM, &action, nullptr);
  // A parent may start the program with SIGALRM blocked (the mask is
  // inherited), which would hold the watchdog off for good.
  sigset_t alarm_only;
  sigemptyset(&alarm_only);
  sigaddset(&alarm_only, SIGALRM);
  sigprocmask(SIG_UNBLOCK, &alarm_only, nullptr);
  alarm(static_cast<unsigned>(seconds));
}

std::string ArgumentText(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    const std::string arg(argv[i]);
    if (arg.empty() || arg.find_first_of(" \t") != std::string::npos) {
      text += '"' + arg + '"';
    } else {
      text += arg;
    }
  }
  return text;
}

}  // namespace upstest::platform
