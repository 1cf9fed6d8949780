// Which ODBC diagnostics count as errors of an operation that succeeded.
#pragma once

#include <string>
#include <vector>

namespace upstest::store {

struct OdbcDiagnostic {
  std::string sqlstate;  // five characters
  std::string message;
};

// Diagnostics of SQLSTATE class 00 (success: PostgreSQL's NOTICE) and 01
// (warnings and information: a WARNING, SQL Server's "Changed database
// context") do not count; the rest do.
int CountErrors(const std::vector<OdbcDiagnostic>& diagnostics);

// The messages joined for a failure description, "(none)" without any.
std::string DescribeDiagnostics(const std::vector<OdbcDiagnostic>& diagnostics);

}  // namespace upstest::store
