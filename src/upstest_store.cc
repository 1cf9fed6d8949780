// upstest-store: serves Access files and ODBC connections to upstest over
// its standard input and output, one connection per process. Its one
// argument is the pid of the upstest that started it.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "store/helper_server.h"

int main(int argc, char** argv) {
  if (!upstest::store::PrepareHelperProcess(argc == 2 ? argv[1] : nullptr)) {
    std::fputs("upstest-store: not started by a running upstest, or its limits were refused\n",
               stderr);
    return 1;
  }
  // The answers get a descriptor of their own; whatever a driver prints to
  // standard output goes to standard error instead of into an answer.
  const int answers = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  if (answers < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) return 1;
  return upstest::store::ServeHelperRequests(STDIN_FILENO, answers);
}
