#include "store/odbc_notes.h"

namespace upstest::store {

int CountErrors(const std::vector<OdbcDiagnostic>& diagnostics) {
  int count = 0;
  for (const OdbcDiagnostic& d : diagnostics) {
    if (d.sqlstate.rfind("01", 0) != 0) ++count;
  }
  return count;
}

std::string DescribeDiagnostics(const std::vector<OdbcDiagnostic>& diagnostics) {
  std::string out;
  for (const OdbcDiagnostic& d : diagnostics) {
    if (!out.empty()) out += "; ";
    out += d.message.empty() ? "SQLSTATE " + d.sqlstate : d.message;
  }
  return out.empty() ? "(no description)" : out;
}

}  // namespace upstest::store
