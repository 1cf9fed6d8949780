// ODBC through the unixODBC driver manager.
#include <sql.h>
#include <sqlext.h>

#include <cstring>

#include "platform/error.h"
#include "store/lazy_library.h"
#include "store/odbc_notes.h"
#include "store/provider.h"

namespace upstest::store {
namespace {

// The driver manager's functions, loaded at the first ODBC connection.
struct OdbcApi {
  decltype(&::SQLAllocHandle) SQLAllocHandle;
  decltype(&::SQLSetEnvAttr) SQLSetEnvAttr;
  decltype(&::SQLSetConnectAttr) SQLSetConnectAttr;
  decltype(&::SQLDriverConnect) SQLDriverConnect;
  decltype(&::SQLGetDiagRec) SQLGetDiagRec;
  decltype(&::SQLDisconnect) SQLDisconnect;
  decltype(&::SQLFreeHandle) SQLFreeHandle;
  decltype(&::SQLExecDirect) SQLExecDirect;
  decltype(&::SQLNumResultCols) SQLNumResultCols;
  decltype(&::SQLDescribeCol) SQLDescribeCol;
  decltype(&::SQLFetch) SQLFetch;
  decltype(&::SQLGetData) SQLGetData;
  decltype(&::SQLGetInfo) SQLGetInfo;
};

const OdbcApi& Odbc() {
  static const OdbcApi api = [] {
    const LazyLibrary library("libodbc.so.2", "The ODBC driver manager (libodbc.so.2)");
    OdbcApi a{};
    Bind(library, "SQLAllocHandle", a.SQLAllocHandle);
    Bind(library, "SQLSetEnvAttr", a.SQLSetEnvAttr);
    Bind(library, "SQLSetConnectAttr", a.SQLSetConnectAttr);
    Bind(library, "SQLDriverConnect", a.SQLDriverConnect);
    Bind(library, "SQLGetDiagRec", a.SQLGetDiagRec);
    Bind(library, "SQLDisconnect", a.SQLDisconnect);
    Bind(library, "SQLFreeHandle", a.SQLFreeHandle);
    Bind(library, "SQLExecDirect", a.SQLExecDirect);
    Bind(library, "SQLNumResultCols", a.SQLNumResultCols);
    Bind(library, "SQLDescribeCol", a.SQLDescribeCol);
    Bind(library, "SQLFetch", a.SQLFetch);
    Bind(library, "SQLGetData", a.SQLGetData);
    Bind(library, "SQLGetInfo", a.SQLGetInfo);
    return a;
  }();
  return api;
}

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// Every diagnostic record of `handle`.
std::vector<OdbcDiagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<OdbcDiagnostic> out;
  for (SQLSMALLINT n = 1; n <= 64; ++n) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[1024] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        Odbc().SQLGetDiagRec(type, handle, n, state, &native, message, sizeof message, &length);
    if (!Ok(rc)) break;
    const size_t used =
        length < 0 ? 0 : std::min<size_t>(static_cast<size_t>(length), sizeof message - 1);
    out.push_back({std::string(reinterpret_cast<const char*>(state),
                               strnlen(reinterpret_cast<const char*>(state), 5)),
                   std::string(reinterpret_cast<const char*>(message),
                               strnlen(reinterpret_cast<const char*>(message), used))});
  }
  return out;
}

[[noreturn]] void Fail(const std::string& what, SQLSMALLINT type, SQLHANDLE handle) {
  throw platform::Failure(what + ": " + DescribeDiagnostics(Diagnostics(type, handle)));
}

void Note(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, OperationNotes& notes) {
  if (rc == SQL_SUCCESS_WITH_INFO) notes.error_count += CountErrors(Diagnostics(type, handle));
}

class Statement {
 public:
  explicit Statement(SQLHDBC dbc) {
    if (!Ok(Odbc().SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_)))
      Fail("SQLAllocHandle", SQL_HANDLE_DBC, dbc);
  }
  ~Statement() { Odbc().SQLFreeHandle(SQL_HANDLE_STMT, stmt_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  SQLHSTMT get() const { return stmt_; }

 private:
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

// Reads parts until the text is whole or known as longer than
// kLongestText; the rest of a longer one is never fetched.
Value ReadText(SQLHSTMT stmt, SQLUSMALLINT column) {
  std::string text;
  char buffer[4096];
  while (text.size() <= kLongestText) {
    SQLLEN indicator = 0;
    const SQLRETURN rc =
        Odbc().SQLGetData(stmt, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) Fail("SQLGetData", SQL_HANDLE_STMT, stmt);
    if (indicator == SQL_NULL_DATA) return Value();
    // A part fills the buffer less its NUL unless the whole rest fitted.
    size_t part = sizeof buffer - 1;
    if (indicator != SQL_NO_TOTAL && indicator >= 0 &&
        static_cast<size_t>(indicator) < sizeof buffer) {
      part = static_cast<size_t>(indicator);
    }
    text.append(buffer, strnlen(buffer, part));
    if (rc == SQL_SUCCESS) break;
  }
  return Value::Text(text);
}

template <typename T>
bool ReadFixed(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type, T& out) {
  SQLLEN indicator = 0;
  const SQLRETURN rc = Odbc().SQLGetData(stmt, column, c_type, &out, sizeof out, &indicator);
  if (!Ok(rc)) Fail("SQLGetData", SQL_HANDLE_STMT, stmt);
  return indicator != SQL_NULL_DATA;
}

Value ReadValue(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_BIT: {
      unsigned char v = 0;
      return ReadFixed(stmt, column, SQL_C_BIT, v) ? Value::Boolean(v != 0) : Value();
    }
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT: {
      SQLBIGINT v = 0;
      return ReadFixed(stmt, column, SQL_C_SBIGINT, v) ? Value::Integer(v) : Value();
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL: {
      double v = 0;
      return ReadFixed(stmt, column, SQL_C_DOUBLE, v) ? Value::Floating(v) : Value();
    }
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT v{};
      if (!ReadFixed(stmt, column, SQL_C_TYPE_TIMESTAMP, v)) return Value();
      return Value::Date({v.year, v.month, v.day, v.hour, v.minute, v.second});
    }
    default:
      return ReadText(stmt, column);
  }
}

class OdbcConnection final : public ProviderConnection {
 public:
  OdbcConnection(const std::string& connection_string, int login_timeout_s, OperationNotes& notes) {
    try {
      if (!Ok(Odbc().SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_))) {
        throw platform::Failure("The ODBC driver manager cannot be started");
      }
      Odbc().SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                           0);
      if (!Ok(Odbc().SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_))) {
        Fail("SQLAllocHandle", SQL_HANDLE_ENV, env_);
      }
      Odbc().SQLSetConnectAttr(dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                               reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(login_timeout_s)),
                               0);
      Odbc().SQLSetConnectAttr(
          dbc_, SQL_ATTR_ACCESS_MODE,
          reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_MODE_READ_ONLY)), 0);
      // The completed string may hold the password: it goes nowhere.
      SQLCHAR completed[2048];
      SQLSMALLINT completed_length = 0;
      std::string text = connection_string;
      if (text.size() > 32767) throw platform::Failure("The ODBC connection string is too long");
      const SQLRETURN rc =
          Odbc().SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(text.data()),
                                  static_cast<SQLSMALLINT>(text.size()), completed,
                                  sizeof completed, &completed_length, SQL_DRIVER_NOPROMPT);
      if (!Ok(rc)) Fail("The ODBC connection failed", SQL_HANDLE_DBC, dbc_);
      connected_ = true;
      Note(rc, SQL_HANDLE_DBC, dbc_, notes);
    } catch (...) {
      Release();
      throw;
    }
  }
  ~OdbcConnection() override { Release(); }

  FirstRecord Execute(const std::string& sql, OperationNotes& notes) override {
    Statement stmt(dbc_);
    std::string text = sql;
    const SQLRETURN rc = Odbc().SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(text.data()),
                                              static_cast<SQLINTEGER>(text.size()));
    if (rc == SQL_NO_DATA) return {};
    if (!Ok(rc)) Fail("The statement failed", SQL_HANDLE_STMT, stmt.get());
    Note(rc, SQL_HANDLE_STMT, stmt.get(), notes);
    SQLSMALLINT columns = 0;
    if (!Ok(Odbc().SQLNumResultCols(stmt.get(), &columns)))
      Fail("SQLNumResultCols", SQL_HANDLE_STMT, stmt.get());
    FirstRecord record;
    if (columns <= 0) return record;
    record.has_columns = true;
    std::vector<SQLSMALLINT> types;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columns); ++i) {
      SQLCHAR name[512] = {};
      SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      if (!Ok(Odbc().SQLDescribeCol(stmt.get(), i, name, sizeof name, &name_length, &type, &size,
                                    &digits, &nullable))) {
        Fail("SQLDescribeCol", SQL_HANDLE_STMT, stmt.get());
      }
      record.names.emplace_back(reinterpret_cast<const char*>(name),
                                strnlen(reinterpret_cast<const char*>(name), sizeof name - 1));
      types.push_back(type);
    }
    const SQLRETURN fetched = Odbc().SQLFetch(stmt.get());
    if (fetched == SQL_NO_DATA) return record;
    if (!Ok(fetched)) Fail("The first record cannot be read", SQL_HANDLE_STMT, stmt.get());
    Note(fetched, SQL_HANDLE_STMT, stmt.get(), notes);
    record.eof = false;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(columns); ++i) {
      record.values.push_back(ReadValue(stmt.get(), i, types[i - 1]));
    }
    return record;
  }

  FirstRecord OpenTable(const std::string& table, OperationNotes& notes) override {
    char quote[8] = {};
    SQLSMALLINT length = 0;
    std::string q = "\"";
    if (Ok(Odbc().SQLGetInfo(dbc_, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &length))) {
      q = std::string(quote, strnlen(quote, sizeof quote - 1));
      if (q == " ") q.clear();  // the driver quotes no identifiers
    }
    std::string quoted = q;
    for (char c : table) {
      quoted += c;
      if (!q.empty() && c == q[0]) quoted += c;
    }
    quoted += q;
    return Execute("SELECT * FROM " + quoted, notes);
  }

 private:
  void Release() {
    if (dbc_ != SQL_NULL_HDBC) {
      if (connected_) Odbc().SQLDisconnect(dbc_);
      Odbc().SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
      dbc_ = SQL_NULL_HDBC;
    }
    if (env_ != SQL_NULL_HENV) {
      Odbc().SQLFreeHandle(SQL_HANDLE_ENV, env_);
      env_ = SQL_NULL_HENV;
    }
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

}  // namespace

std::unique_ptr<ProviderConnection> OpenOdbc(const std::string& connection_string,
                                             int login_timeout_s, OperationNotes& notes) {
  return std::make_unique<OdbcConnection>(connection_string, login_timeout_s, notes);
}

}  // namespace upstest::store
