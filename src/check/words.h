// The words the --check findings use for what an answer carried and for a
// run's object status.
#pragma once

#include <cstdint>
#include <string>

namespace upstest::check {

struct SeenBinding;

// The type and the value: "INTEGER 45", "OCTET STRING \"24\"", "NULL". A
// text value is shown quoted, with its control characters replaced.
std::string Describe(const SeenBinding& binding);

// "met", "failed", "not judged" for an object status.
std::string StatusName(int16_t status);

}  // namespace upstest::check
