#include "store/connection_string.h"

#include <algorithm>
#include <cctype>

#include "platform/error.h"

namespace upstest::store {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

[[noreturn]] void Malformed(const std::string& what) {
  throw platform::Failure("The connection string is malformed: " + what);
}

// The steps of a pair. Each reads `text` from `pos` and leaves `pos` after
// what it read; none reads past the end.

size_t SkipBlanks(std::string_view text, size_t pos) {
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  return pos;
}

// The key up to its '=', trimmed and in lower case; `pos` after the '='.
std::string ReadKey(std::string_view text, size_t& pos) {
  const size_t eq = text.find_first_of("=;", pos);
  if (eq == std::string_view::npos || text[eq] != '=') Malformed("a part has no '='");
  std::string key = Lower(Trim(text.substr(pos, eq - pos)));
  if (key.empty()) Malformed("a part has no key");
  pos = eq + 1;
  return key;
}

// After a quoted or braced value only blanks may stand before the ';'.
void EndOfEnclosedValue(std::string_view text, size_t& pos, const char* what) {
  pos = SkipBlanks(text, pos);
  if (pos < text.size() && text[pos] != ';') Malformed(std::string("text follows ") + what);
}

// A value in quotes, `pos` at the opening one: a doubled quote stands for
// one, and ';' is part of the value.
std::string QuotedValue(std::string_view text, size_t& pos) {
  const char quote = text[pos++];
  std::string value;
  for (;;) {
    if (pos >= text.size()) Malformed("a quoted value is not closed");
    if (text[pos] != quote) {
      value += text[pos++];
    } else if (pos + 1 < text.size() && text[pos + 1] == quote) {
      value += quote;
      pos += 2;
    } else {
      ++pos;
      break;
    }
  }
  EndOfEnclosedValue(text, pos, "a quoted value");
  return value;
}

// A value in ODBC braces, `pos` at the '{': kept as it stands, braces
// included ("}}" inside stands for one '}').
std::string BracedValue(std::string_view text, size_t& pos) {
  const size_t open = pos++;
  for (;;) {
    if (pos >= text.size()) Malformed("a value in braces is not closed");
    if (text[pos] != '}') {
      ++pos;
    } else if (pos + 1 < text.size() && text[pos + 1] == '}') {
      pos += 2;
    } else {
      ++pos;
      break;
    }
  }
  std::string value(text.substr(open, pos - open));
  EndOfEnclosedValue(text, pos, "a value in braces");
  return value;
}

// The value after a key's '=': quoted, braced or plain (trimmed, up to the
// next ';'); `pos` at the ';' or the end.
std::string ReadValue(std::string_view text, size_t& pos) {
  pos = SkipBlanks(text, pos);
  if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) return QuotedValue(text, pos);
  if (pos < text.size() && text[pos] == '{') return BracedValue(text, pos);
  const size_t semi = std::min(text.find(';', pos), text.size());
  std::string value(Trim(text.substr(pos, semi - pos)));
  pos = semi;
  return value;
}

}  // namespace

ConnectionString::ConnectionString(std::string_view text) {
  size_t pos = 0;
  for (;;) {
    pos = SkipBlanks(text, pos);
    if (pos < text.size() && text[pos] == ';') {  // an empty segment
      ++pos;
      continue;
    }
    if (pos >= text.size()) break;
    const size_t start = pos;
    std::string key = ReadKey(text, pos);
    std::string value = ReadValue(text, pos);
    pairs_.push_back(
        {std::move(key), std::move(value), std::string(Trim(text.substr(start, pos - start)))});
    if (pos < text.size()) ++pos;  // the ';'
  }
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
  for (auto it = pairs_.rbegin(); it != pairs_.rend(); ++it) {
    if (it->key == key) return it->value;
  }
  return std::nullopt;
}

std::string OdbcValue(std::string_view value) {
  const bool plain = value.find_first_of(";{}=") == std::string_view::npos &&
                     (value.empty() || (!IsBlank(value.front()) && !IsBlank(value.back())));
  if (plain) return std::string(value);
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  out += '}';
  return out;
}

std::string SqlServerToFreeTds(const ConnectionString& cs) {
  auto first_of =
      [&cs](std::initializer_list<std::string_view> keys) -> std::optional<std::string> {
    // The last pair of any of the synonyms wins.
    for (auto it = cs.pairs().rbegin(); it != cs.pairs().rend(); ++it) {
      if (std::find(keys.begin(), keys.end(), it->key) != keys.end()) return it->value;
    }
    return std::nullopt;
  };
  std::string source(Trim(first_of({"data source", "server", "address", "addr", "network address"})
                              .value_or("(local)")));
  if (StartsWith(Lower(source), "tcp:")) source = std::string(Trim(source.substr(4)));
  std::string port;
  if (const size_t comma = source.find(','); comma != std::string::npos) {
    port = std::string(Trim(std::string_view(source).substr(comma + 1)));
    source = std::string(Trim(std::string_view(source).substr(0, comma)));
  }
  std::string host = source;
  std::string instance;
  if (const size_t slash = source.find('\\'); slash != std::string::npos) {
    host = source.substr(0, slash);
    instance = source.substr(slash);  // with its backslash
  }
  const std::string lower_host = Lower(host);
  if (lower_host.empty() || lower_host == "(local)" || lower_host == "." ||
      lower_host == "(localdb)") {
    host = "localhost";
  }
  std::string out = "Driver=FreeTDS;Server=" + OdbcValue(host + instance);
  if (!port.empty()) out += ";Port=" + OdbcValue(port);
  if (auto db = first_of({"initial catalog", "database"})) out += ";Database=" + OdbcValue(*db);
  if (auto uid = first_of({"user id", "uid"})) out += ";UID=" + OdbcValue(*uid);
  if (auto pwd = first_of({"password", "pwd"})) out += ";PWD=" + OdbcValue(*pwd);
  if (auto integrated = first_of({"integrated security", "trusted_connection"})) {
    const std::string v = Lower(*integrated);
    if (v == "sspi" || v == "true" || v == "yes") out += ";Trusted_Connection=Yes";
  }
  out += ";TDS_Version=7.4;ClientCharset=UTF-8";
  return out;
}

std::string MaskedConnectionString(std::string_view text) {
  try {
    const ConnectionString cs(text);
    std::string shown;
    for (const ConnectionPair& pair : cs.pairs()) {
      if (!shown.empty()) shown += ';';
      const bool secret = pair.key == "pwd" || pair.key.find("password") != std::string::npos;
      if (secret) {
        const size_t eq = pair.raw.find('=');
        shown += pair.raw.substr(0, eq + 1) + "****";
      } else {
        shown += pair.raw;
      }
    }
    return shown;
  } catch (const std::exception& e) {
    return std::string("(connection string not shown: ") + e.what() + ")";
  }
}

ProviderChoice ChooseProvider(std::string_view text) {
  if (Trim(text).empty()) {
    throw platform::Failure(
        "The connection string is empty: it names no provider, driver or data source");
  }
  const ConnectionString cs(text);
  const bool odbc = cs.Has("driver") || cs.Has("dsn") || cs.Has("filedsn");
  const auto provider = cs.Get("provider");
  if (!provider) {
    if (odbc) return {ProviderKind::kOdbc, std::string(text)};
    throw platform::Failure("The connection string names no provider, driver or data source");
  }
  const std::string name = Lower(Trim(*provider));
  auto data_source = [&cs, &provider]() {
    auto source = cs.Get("data source");
    if (!source || Trim(*source).empty()) {
      throw platform::Failure("The connection string for the provider '" + *provider +
                              "' names no Data Source");
    }
    return *source;
  };
  if (StartsWith(name, "microsoft.jet.oledb.") || StartsWith(name, "microsoft.ace.oledb.")) {
    return {ProviderKind::kJetFile, data_source()};
  }
  if (name == "sqlite" || name == "sqlite3") return {ProviderKind::kSqlite, data_source()};
  if (StartsWith(name, "sqloledb") || StartsWith(name, "sqlncli") ||
      StartsWith(name, "msoledbsql")) {
    return {ProviderKind::kSqlServer, SqlServerToFreeTds(cs)};
  }
  if (StartsWith(name, "msdasql") && odbc) {
    // The OLE DB provider for ODBC: the rest of the string is for the driver.
    std::string rest;
    for (const ConnectionPair& pair : cs.pairs()) {
      if (pair.key == "provider") continue;
      if (!rest.empty()) rest += ';';
      rest += pair.raw;
    }
    return {ProviderKind::kOdbc, rest};
  }
  throw platform::Failure("The provider '" + *provider + "' is not supported");
}

}  // namespace upstest::store
