// The database helper as upstest sees it: Access files and ODBC served by a
// program of their own (upstest-store), started per connection and spoken
// to over pipes (the bytes: store/helper_wire.h; the helper's side:
// store/helper_server.h).
//
// The statically linked upstest cannot load libmdb or an ODBC driver into
// its own process, and the common path (SQLite) should not pay for them
// anyway; so when a helper is named, those two providers run in a child
// process. A helper that fails or dies is a failure of the operation, never
// of the run.
#pragma once

#include <memory>
#include <string>

#include "store/helper_wire.h"
#include "store/provider.h"

namespace upstest::store {

// The program to start for Access files and ODBC; empty (the default)
// serves them in this process (OpenHere).
void UseDatabaseHelper(std::string path);
const std::string& DatabaseHelper();

// Opens `target` through the helper: kind kHelperAccess a file,
// kHelperOdbc a connection string whose login timeout is `timeout_s`.
// With no helper named, opens it in this process instead.
//
// Starts the helper with this process's pid as its one argument, tied to
// its pipes: the helper gets the default action for SIGPIPE back, and this
// process ignores SIGPIPE from then on, so that the helper's death cannot
// end it. The helper's standard error is /dev/null: its libraries'
// complaints (libmdb's about a corrupt file) reach nobody, and what failed
// comes back in its answer. The open is awaited `timeout_s` seconds, at most
// kLongestDatabaseWaitS (0 or less: that bound); each later statement or
// table of the returned connection kLongestDatabaseWaitS.
//
// On a failure the helper reports for the operation (a file it cannot
// open, a statement that fails), throws Failure with its description; the
// connection goes on serving. On a wait past its bound ("The database
// helper did not answer within <n> s"), a broken protocol ("database
// helper: ...") or the helper's end ("database helper ended
// unexpectedly"), kills and reaps the helper and throws; every later
// operation on that connection throws "database helper ended
// unexpectedly". A helper that cannot be started: "Cannot start the
// database helper '<path>': <why>" (or the system's own text when its
// pipes cannot be made). No process or descriptor is left
// behind on any path; destroying the connection closes the helper's input,
// gives it a second to end by itself, then kills and reaps it.
std::unique_ptr<ProviderConnection> OpenThroughHelper(char kind, const std::string& target,
                                                      int timeout_s, OperationNotes& notes);

}  // namespace upstest::store
