// The database helper: Access files and ODBC served by a program of their
// own (upstest-store), spoken to over a pipe.
//
// The statically linked upstest cannot load libmdb or an ODBC driver into
// its own process, and the common path (SQLite) should not pay for them
// anyway; so when a helper is named, those two providers run in a child
// process. A helper that fails or dies is a failure of the operation.
#pragma once

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

// Starts the helper and opens `target` there (kind kHelperAccess: a file;
// kHelperOdbc: a connection string with its login timeout).
std::unique_ptr<ProviderConnection> OpenThroughHelper(char kind, const std::string& target,
                                                      int login_timeout_s, OperationNotes& notes);

// The helper's side: reads requests from `in_fd`, answers on `out_fd`,
// until the pipe closes. Returns the exit status.
int ServeHelperRequests(int in_fd, int out_fd);

// The wire form of a record, public for tests. Decoding checks every
// length and throws Failure on a malformed text.
std::string EncodeRecord(const FirstRecord& record);
FirstRecord DecodeRecord(std::string_view bytes);

}  // namespace upstest::store
