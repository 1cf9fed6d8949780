// Which ODBC diagnostics are of error severity, for the count of
// OperationNotes (store/provider.h).
#pragma once

#include <string>
#include <vector>

namespace upstest::store {

struct OdbcDiagnostic {
  std::string sqlstate;  // five characters
  std::string message;
};

// Class 00 (success: PostgreSQL's NOTICE) and 01 (warnings and
// information: a WARNING, SQL Server's "Changed database context") are not
// errors; every other class is.
int CountErrors(const std::vector<OdbcDiagnostic>& diagnostics);

// The messages joined for a failure description, "(none)" without any.
std::string DescribeDiagnostics(const std::vector<OdbcDiagnostic>& diagnostics);

}  // namespace upstest::store
