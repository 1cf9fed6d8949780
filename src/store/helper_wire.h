// The wire between upstest and its database helper (upstest-store): the
// bytes of requests, answers and records. The client (store/helper.h) and
// the server (store/helper_server.h) both speak through these functions;
// nothing here touches a descriptor or waits.
//
// Every message travels as a frame: a 32-bit length, then that many octets
// of body. Integers are fixed-width, least significant octet first; a text
// is a 32-bit length and its octets.
//
//   open request:       kind (kHelperAccess or kHelperOdbc), 32-bit timeout
//                       in seconds, the target (the rest of the body)
//   statement request:  kHelperExecute or kHelperTable, then the statement
//                       or the table name (the rest of the body)
//   answer:             kHelperOk, 32-bit error count, then the record of a
//                       statement (empty for an open); or kHelperFailed and
//                       a text: the helper's own failure of the operation
//
// Every decoder checks each length against the octets given before it uses
// it, and throws platform::Failure naming what failed ("database helper:
// answer cut short", also for a request); it never reads past its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "store/provider.h"

namespace upstest::store {

// The kinds of request, each its first octet.
inline constexpr char kHelperAccess = 'A';   // open an Access file
inline constexpr char kHelperOdbc = 'D';     // open an ODBC connection string
inline constexpr char kHelperExecute = 'E';  // run a statement
inline constexpr char kHelperTable = 'T';    // open a table

// The first octet of an answer.
inline constexpr char kHelperOk = 'K';
inline constexpr char kHelperFailed = 'F';

// A frame's header, and the longest body accepted: above any first record
// (the helper's texts are cut by Value::Text, so 256 columns of an Access
// table take little more than 1 MiB), low enough that a garbled length or
// a runaway answer costs either side no more than this.
inline constexpr size_t kHelperFrameHeader = 4;
inline constexpr uint32_t kMaxHelperFrame = 4u << 20;

// `body` with its header before it.
std::string EncodeFrame(std::string_view body);
// The body length a frame header announces. REQUIRES: header.size() ==
// kHelperFrameHeader. Throws Failure ("database helper: frame too long")
// above kMaxHelperFrame.
uint32_t DecodeFrameLength(std::string_view header);

// A request as the helper reads it.
struct HelperRequest {
  char kind = 0;      // one of the four kinds above
  int timeout_s = 0;  // opens only: the open's timeout as sent
  std::string text;   // the target, the statement or the table name
};

std::string EncodeOpenRequest(char kind, int timeout_s, std::string_view target);
std::string EncodeStatementRequest(char kind, std::string_view text);
// Throws Failure: "database helper: empty request", "database helper:
// unknown request" for a first octet of no kind, "database helper: answer
// cut short" for an open without its whole timeout.
HelperRequest DecodeRequest(std::string_view body);

// An answer as upstest reads it.
struct HelperAnswer {
  std::optional<std::string> failure;  // set for kHelperFailed: its text
  int error_count = 0;                 // kHelperOk only
  std::string record;                  // kHelperOk only: the octets after the count
};

std::string EncodeAnswer(int error_count, std::string_view record);
std::string EncodeFailedAnswer(std::string_view description);
// Throws Failure: "database helper: malformed answer" for a first octet
// that is neither kHelperOk nor kHelperFailed, "database helper: answer
// cut short" when the count or the text runs past the body.
HelperAnswer DecodeAnswer(std::string_view body);

// A record: has_columns and eof as one octet each, the count of names and
// the names, the count of values and the values (each a kind octet and its
// octets; a text value passes Value::Text on each side, so one past
// kLongestText arrives cut as it left). DecodeRecord throws Failure ("database helper: answer cut
// short", "database helper: unknown value kind", "database helper: trailing
// octets in an answer"); a count above the octets present fails before
// anything is reserved.
std::string EncodeRecord(const FirstRecord& record);
FirstRecord DecodeRecord(std::string_view bytes);

// The provider an open request stands for, opened in the calling process:
// kHelperAccess an Access file (OpenAccessFile), kHelperOdbc a connection
// string with `timeout_s` as its login timeout (OpenOdbc). The helper
// serves its opens with it, and upstest when no helper is named. Throws
// the provider's Failure.
std::unique_ptr<ProviderConnection> OpenHere(char kind, const std::string& target, int timeout_s,
                                             OperationNotes& notes);

}  // namespace upstest::store
