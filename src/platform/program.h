// The program's own path and argument text.
#pragma once

#include <string>

namespace upstest::platform {

// Descriptors 0, 1 and 2 that are closed at start are opened on /dev/null
// (on "/" when /dev/null cannot be opened, where every read and write
// fails), so that the first files and sockets of the run never take their
// numbers and a line for the standard error never lands in one of them.
// Costs one system call when all three are open. Call it first in main.
void OpenClosedStandardDescriptors();

// SIGPIPE and SIGXFSZ ignored: a line to a standard error whose reader has
// gone, or a log group past the file size limit, fails with EPIPE or EFBIG
// and costs that line or that group, never the run. (Ignored signals stay
// ignored in a program started from here; a child that is to die of
// SIGPIPE resets it when it is spawned.)
void IgnoreWriteSignals();

// The directory holding the running executable (/proc/self/exe with
// symbolic links resolved), without a trailing '/'. Empty when it cannot be
// read.
std::string ProgramDirectory();

// The base directory: `program_directory` less its last 8 characters (the
// "/apiexec" the program lives in); empty when it is shorter than that.
std::string BaseDirectory(const std::string& program_directory);

// Ends the process with exit status 1 and the line "upstest: the run did
// not end within N s" on the standard error when it is still running
// `seconds` seconds from now (elapsed time, not local time). A last resort:
// every wait of a run has its own, much shorter bound. Whatever the parent
// left (SIGALRM blocked, ignored or handled), the watchdog's own handler
// is installed and SIGALRM unblocked.
inline constexpr int kWatchdogSeconds = 60;
void StartWatchdog(int seconds);

// The argument text of the command line, rebuilt from already split
// arguments argv[1..argc-1]: joined with single blanks, an argument wrapped
// in double quotes when it is empty or holds a blank or a tab.
std::string ArgumentText(int argc, const char* const* argv);

}  // namespace upstest::platform
