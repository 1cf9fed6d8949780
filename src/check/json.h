// The JSON rendering of a --check report: one object, followed by a
// newline, for programs. Its keys, in order: node_id, address, port,
// snmp_version ("1" or "2c"), pollable, usable, answer ("judged", "error",
// "failed", "none", or null when no GET was sent), error_status,
// error_index, objects (one object a slot: slot, name, oid, condition,
// answer_oid (the OID the answer named in that place, or null), type, raw,
// value, status, warning, other_name, other_name_present).
#pragma once

#include <string>

#include "check/report.h"

namespace upstest::check {

// Of the node record only the address and port appear (never a
// community); without objects "answer" and the error fields are null and
// "objects" is empty. Every text is escaped, and bytes that are not UTF-8
// are replaced, so the output always parses.
std::string JsonReport(const Report& report);

}  // namespace upstest::check
