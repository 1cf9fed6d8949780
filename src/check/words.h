// The words the --check report uses for what an answer carried.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace upstest::check {

struct SeenBinding;

// The SMI name of a value type ("INTEGER", "Gauge32", "noSuchObject" ...);
// "type N" for a type that has none.
std::string TypeName(int32_t type);

// The type and the value: "INTEGER 45", "OCTET STRING \"24\"", "NULL". A
// text value is shown quoted, with its control characters replaced.
std::string Describe(const SeenBinding& binding);

// "met", "failed", "not judged" for an object status.
std::string StatusName(int16_t status);

// Appends one line of the report: the label, padded to 20 columns, and the
// value.
void ReportLine(std::string& report, std::string_view label, const std::string& value);

}  // namespace upstest::check
