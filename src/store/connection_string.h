// ADO-style connection strings: parsing by OLE DB rules and the choice of
// the provider that serves one.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace upstest::store {

// One `Key=Value` pair as written.
struct ConnectionPair {
  std::string key;    // trimmed, lower case
  std::string value;  // trimmed; quotes removed, a doubled quote made one; braces kept
  std::string raw;    // the pair's text as it stood between its separators
};

// `Key=Value` pairs separated by ';'. Keys are trimmed and compared without
// regard to case; a value may stand in single or double quotes (a doubled
// quote inside stands for one, and the quoted value may hold ';'); a value
// in ODBC braces {...} is kept as it stands, braces included, and may hold
// ';' too ("}}" inside stands for one '}'). Empty segments are skipped.
// Throws Failure for a segment without '=' or with an unterminated quote or
// brace; the description never repeats the text (it may hold a password).
class ConnectionString {
 public:
  explicit ConnectionString(std::string_view text);

  // The value of the last pair with this key (lower case), if any.
  std::optional<std::string> Get(std::string_view key) const;
  bool Has(std::string_view key) const { return Get(key).has_value(); }
  const std::vector<ConnectionPair>& pairs() const { return pairs_; }

 private:
  std::vector<ConnectionPair> pairs_;
};

// `text` fit to be shown: the value of every password key (pwd, password,
// and the OLE DB forms "jet oledb:database password" and the like: any key
// that holds "password" or is "pwd") replaced by "****", the other pairs as
// they stood, joined by ';'. A text that does not parse is not shown at
// all: "(connection string not shown: <why>)".
std::string MaskedConnectionString(std::string_view text);

// Where a connection string leads.
enum class ProviderKind {
  kJetFile,    // Jet/ACE provider: an Access file or an SQLite file, by its first bytes
  kSqlite,     // Provider=SQLite
  kOdbc,       // Driver=, DSN= or FILEDSN=, handed to the driver manager as it stands
  kSqlServer,  // SQLOLEDB, SQLNCLI*, MSOLEDBSQL*: translated for FreeTDS
};

struct ProviderChoice {
  ProviderKind kind;
  std::string target;  // the file for kJetFile/kSqlite; the ODBC string otherwise
};

// Chooses the provider. Throws Failure naming the problem for an empty
// string, an unknown provider, or a file provider without Data Source.
ProviderChoice ChooseProvider(std::string_view text);

// The ODBC connection string for FreeTDS that stands for a SQL Server
// OLE DB connection string.
std::string SqlServerToFreeTds(const ConnectionString& cs);

// `value` as an ODBC attribute value: in braces when it holds ';', '{',
// '}', '=' or blanks at its ends (a '}' inside doubled), otherwise as it is.
std::string OdbcValue(std::string_view value);

}  // namespace upstest::store
