#include "store/odbc_notes.h"

namespace upstest::store {

int CountErrors(const std::vector<OdbcDiagnostic>& diagnostics) {
  int count = 0;
  for (const OdbcDiagnostic& d : diagnostics) {
    const std::string klass = d.sqlstate.substr(0, 2);
    if (klass != "00" && klass != "01") ++count;
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
