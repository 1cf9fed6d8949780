// The text rendering of a --check report: one item a line, a label padded
// to 20 columns and its value, for a person to read (the wording may
// change; check/json.h is the form for programs).
#pragma once

#include <string>

#include "check/report.h"

namespace upstest::check {

// The node part: the base directory, the settings database (path and
// kind), SqlDbSetupOk, the node database's connection string with
// passwords masked, every field of the record (the communities as their
// length unless report.show_communities), where the address resolves to,
// and the verdict. With objects, then the poll: the answer, each object
// (name and condition, OID, the answer's type and value, the trap's value,
// the status, every warning, the other name and whether the device has
// it), and the result. Control characters of any text show as '?'.
std::string TextReport(const Report& report);

}  // namespace upstest::check
