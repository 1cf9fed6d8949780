// Text from outside (arguments, stored values, a device's answers, the
// descriptions of failures) as it may stand in a line the program writes:
// in the debug log, on the standard error, in a report.
#pragma once

#include <string>
#include <string_view>

namespace upstest::platform {

// `text` with every control character shown as '?', so that a value
// cannot forge a line of its own or steer a terminal: the C0 controls but
// TAB (bytes 0-31) and DEL (127); the C1 controls U+0080 to U+009F, as one
// '?' for their two UTF-8 bytes; and a byte 0x80 to 0x9F that is not part
// of a valid UTF-8 sequence (a C1 control in a one-byte character set).
// Every other byte stays as it is, valid UTF-8 or not.
std::string Printable(std::string_view text);

// `text` with every byte that is not part of a valid UTF-8 sequence
// replaced by U+FFFD, for a format that takes UTF-8 only.
std::string ValidUtf8(std::string_view text);

}  // namespace upstest::platform
