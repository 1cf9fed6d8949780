// The database helper: Access files and ODBC served by a program of their
// own (upstest-store), spoken to over a pipe.
//
// The statically linked upstest cannot load libmdb or an ODBC driver into
// its own process, and the common path (SQLite) should not pay for them
// anyway; so when a helper is named, those two providers run in a child
// process. A helper that fails or dies is a failure of the operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "store/provider.h"

namespace upstest::store {

// The program to start for Access files and ODBC; empty (the default)
// serves them in this process.
void UseDatabaseHelper(std::string path);
const std::string& DatabaseHelper();

inline constexpr char kHelperAccess = 'A';
inline constexpr char kHelperOdbc = 'D';

// No answer of the helper is awaited longer than kLongestDatabaseWaitS
// (store/provider.h): not the open (whose wait is its connection timeout
// when that is shorter), not a statement or a table. When a wait passes its
// bound, or the helper breaks the protocol or dies, the helper is killed and
// reaped and the operation fails; every later operation on that connection
// fails too.

// What the helper writes to its standard error (its libraries' complaints
// among it) is passed on to this process's standard error up to this many
// octets; then that pipe is closed, and a helper that goes on writing dies
// of it.
inline constexpr size_t kHelperErrorOutput = 64 * 1024;

// The helper's address space limit, set by the helper itself, except in
// builds with AddressSanitizer, whose shadow memory needs far more. A
// corrupt file that makes a library allocate without end fails there.
inline constexpr uint64_t kHelperAddressSpace = uint64_t{512} << 20;
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kHelperLimitsAddressSpace = false;
#elif defined(__has_feature)
inline constexpr bool kHelperLimitsAddressSpace = !__has_feature(address_sanitizer);
#else
inline constexpr bool kHelperLimitsAddressSpace = true;
#endif

// Starts the helper and opens `target` there (kind kHelperAccess: a file;
// kHelperOdbc: a connection string, whose login timeout is `timeout_s`).
// The open is awaited for `timeout_s` seconds (at most
// kLongestDatabaseWaitS; 0 or less: that bound). The helper is started with
// this process's pid as its one argument.
std::unique_ptr<ProviderConnection> OpenThroughHelper(char kind, const std::string& target,
                                                      int timeout_s, OperationNotes& notes);

// The helper's side, first thing in its main: asks to be killed when the
// process that started it ends (also by SIGKILL), then checks that its
// parent is still `parent` (the pid given as its argument), so that one
// that ended before the request was made is caught too; then limits its
// address space (kHelperAddressSpace) and turns off core dumps. False when
// the parent is gone or a step fails: the helper then ends at once.
bool PrepareHelperProcess(const char* parent);

// The helper's side: reads requests from `in_fd`, answers on `out_fd`,
// until the pipe closes. Returns the exit status.
int ServeHelperRequests(int in_fd, int out_fd);

// The wire form of a record, public for tests. Decoding checks every
// length and throws Failure on a malformed text.
std::string EncodeRecord(const FirstRecord& record);
FirstRecord DecodeRecord(std::string_view bytes);

}  // namespace upstest::store
