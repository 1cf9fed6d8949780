// Genuine Jet 3/Jet 4/ACE files through mdbtools' libmdb, read-only.
#include <glib.h>
// mdbtools.h opens its C block before it includes glib.
#include <mdbtools.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "platform/error.h"
#include "store/lazy_library.h"
#include "store/provider.h"
#include "store/simple_select.h"

namespace upstest::store {
namespace {

// libmdb's functions (and glib's g_free, which libmdb brings along),
// loaded at the first Access file.
struct MdbApi {
  decltype(&::mdb_open) mdb_open;
  decltype(&::mdb_close) mdb_close;
  decltype(&::mdb_read_catalog) mdb_read_catalog;
  decltype(&::mdb_read_table) mdb_read_table;
  decltype(&::mdb_read_columns) mdb_read_columns;
  decltype(&::mdb_rewind_table) mdb_rewind_table;
  decltype(&::mdb_bind_column) mdb_bind_column;
  decltype(&::mdb_fetch_row) mdb_fetch_row;
  decltype(&::mdb_find_pg_row) mdb_find_pg_row;
  decltype(&::mdb_crack_row) mdb_crack_row;
  decltype(&::mdb_numeric_to_string) mdb_numeric_to_string;
  decltype(&::mdb_col_to_string) mdb_col_to_string;
  decltype(&::mdb_free_tabledef) mdb_free_tabledef;
  decltype(&::g_free) g_free;
};

const MdbApi& Mdb() {
  static const MdbApi api = [] {
    const LazyLibrary library("libmdb.so.3", "The Access file library (libmdb.so.3)");
    MdbApi a{};
    Bind(library, "mdb_open", a.mdb_open);
    Bind(library, "mdb_close", a.mdb_close);
    Bind(library, "mdb_read_catalog", a.mdb_read_catalog);
    Bind(library, "mdb_read_table", a.mdb_read_table);
    Bind(library, "mdb_read_columns", a.mdb_read_columns);
    Bind(library, "mdb_rewind_table", a.mdb_rewind_table);
    Bind(library, "mdb_bind_column", a.mdb_bind_column);
    Bind(library, "mdb_fetch_row", a.mdb_fetch_row);
    Bind(library, "mdb_find_pg_row", a.mdb_find_pg_row);
    Bind(library, "mdb_crack_row", a.mdb_crack_row);
    Bind(library, "mdb_numeric_to_string", a.mdb_numeric_to_string);
    Bind(library, "mdb_col_to_string", a.mdb_col_to_string);
    Bind(library, "mdb_free_tabledef", a.mdb_free_tabledef);
    Bind(library, "g_free", a.g_free);
    return a;
  }();
  return api;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// Little-endian fixed-width values of a row; `size` was checked first.
int64_t SignedLe(const unsigned char* p, int size) {
  uint64_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | p[i];
  if (size < 8 && (v >> (8 * size - 1)) != 0) v |= ~uint64_t{0} << (8 * size);
  return static_cast<int64_t>(v);
}

double DoubleLe(const unsigned char* p) {
  const uint64_t bits = static_cast<uint64_t>(SignedLe(p, 8));
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

float FloatLe(const unsigned char* p) {
  const uint32_t bits = static_cast<uint32_t>(SignedLe(p, 4));
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

bool IsTextType(int type) { return type == MDB_TEXT || type == MDB_MEMO; }

// The octets a value of a column type takes in its row: a value with fewer
// is truncated. 0 for the types read as they stand.
int OctetsNeeded(int type) {
  switch (type) {
    case MDB_BYTE:
      return 1;
    case MDB_INT:
      return 2;
    case MDB_LONGINT:
    case MDB_FLOAT:
      return 4;
    case MDB_MONEY:
    case MDB_DOUBLE:
    case MDB_DATETIME:
      return 8;
    case MDB_REPID:
      return 16;
    case MDB_NUMERIC:
      return 17;
    default:
      return 0;
  }
}

// One table read row by row.
class TableReader {
 public:
  TableReader(MdbHandle* mdb, const std::string& name) : mdb_(mdb) {
    GPtrArray* catalog = Mdb().mdb_read_catalog(mdb, MDB_TABLE);
    if (catalog == nullptr) throw platform::Failure("The Access file's catalog cannot be read");
    MdbCatalogEntry* found = nullptr;
    for (guint i = 0; i < catalog->len; ++i) {
      auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
      if (entry->object_type == MDB_TABLE &&
          EqualsNoCase(std::string_view(entry->object_name,
                                        strnlen(entry->object_name, sizeof entry->object_name)),
                       name)) {
        found = entry;
      }
    }
    if (found == nullptr) {
      throw platform::Failure("The Microsoft Jet database engine cannot find the input table '" +
                              name + "'");
    }
    table_ = Mdb().mdb_read_table(found);
    if (table_ == nullptr || Mdb().mdb_read_columns(table_) == nullptr) {
      Release();
      throw platform::Failure("The table '" + name + "' cannot be read");
    }
    if (table_->num_cols > MDB_MAX_COLS || table_->columns->len != table_->num_cols) {
      Release();
      throw platform::Failure("The table '" + name + "' has an unreadable column list");
    }
    Mdb().mdb_rewind_table(table_);
    const size_t bind_size = mdb->bind_size > 0 ? mdb->bind_size : MDB_BIND_SIZE;
    buffers_.resize(table_->num_cols);
    lengths_.assign(table_->num_cols, 0);
    for (unsigned int i = 0; i < table_->num_cols; ++i) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
      names_.emplace_back(col->name, strnlen(col->name, sizeof col->name));
      if (IsTextType(col->col_type)) {
        buffers_[i].assign(bind_size + 1, '\0');
        Mdb().mdb_bind_column(table_, static_cast<int>(i) + 1, buffers_[i].data(), &lengths_[i]);
      }
    }
  }
  ~TableReader() { Release(); }
  TableReader(const TableReader&) = delete;
  TableReader& operator=(const TableReader&) = delete;

  const std::vector<std::string>& names() const { return names_; }

  // Moves to the next record; false at the end.
  bool Next() {
    if (Mdb().mdb_fetch_row(table_) == 0) return false;
    // The fields of the row as it lies on its page, for the Null flags.
    const unsigned int row = table_->cur_row - 1;
    void* buffer = nullptr;
    int offset = 0;
    size_t length = 0;
    if (Mdb().mdb_find_pg_row(mdb_, static_cast<int>((table_->cur_phys_pg << 8) | (row & 0xff)),
                              &buffer, &offset, &length) != 0) {
      throw platform::Failure("A record of the table '" + std::string(table_->name) +
                              "' cannot be read");
    }
    fields_.assign(MDB_MAX_COLS, MdbField{});
    const int cracked = Mdb().mdb_crack_row(table_, offset, length, fields_.data());
    if (cracked < 0 || static_cast<unsigned int>(cracked) != table_->num_cols) {
      throw platform::Failure("A record of the table '" + std::string(table_->name) +
                              "' cannot be decoded");
    }
    return true;
  }

  // The current record's value of column `i`. Throws Failure for a value
  // that does not lie whole in its page.
  Value Get(unsigned int i) const {
    auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table_->columns, i));
    const MdbField& field = fields_[i];
    // A yes/no column keeps its value in the null mask and is never Null.
    if (col->col_type == MDB_BOOL) return Value::Boolean(field.is_null == 0);
    if (field.is_null) return Value();
    if (IsTextType(col->col_type)) {
      const std::vector<char>& b = buffers_[i];
      return Value::Text(std::string_view(b.data(), strnlen(b.data(), b.size())));
    }
    const int size = field.siz;
    if (size < 0 || field.start < 0 ||
        static_cast<size_t>(field.start) + static_cast<size_t>(size) > sizeof mdb_->pg_buf) {
      throw platform::Failure("A value of the column '" + names_[i] + "' lies outside its page");
    }
    if (size < OctetsNeeded(col->col_type)) {
      throw platform::Failure("A value of the column '" + names_[i] + "' is truncated");
    }
    return FixedValue(*col, field);
  }

 private:
  // The value of a column of fixed width (or binary), from the page.
  // REQUIRES: the field lies in the page and holds OctetsNeeded octets.
  Value FixedValue(const MdbColumn& col, const MdbField& field) const {
    const auto* p = mdb_->pg_buf + field.start;
    switch (col.col_type) {
      case MDB_BYTE:
        return Value::Integer(p[0]);
      case MDB_INT:
        return Value::Integer(SignedLe(p, 2));
      case MDB_LONGINT:
        return Value::Integer(SignedLe(p, 4));
      case MDB_MONEY:
        return Value::Floating(static_cast<double>(SignedLe(p, 8)) / 10000.0);
      case MDB_FLOAT:
        return Value::Floating(FloatLe(p));
      case MDB_DOUBLE:
        return Value::Floating(DoubleLe(p));
      case MDB_DATETIME:
        return Value::Date(FromOleDate(DoubleLe(p)));
      case MDB_NUMERIC:
        return LibraryText(
            Mdb().mdb_numeric_to_string(mdb_, field.start, col.col_scale, col.col_prec), true);
      case MDB_REPID:
        return LibraryText(
            Mdb().mdb_col_to_string(mdb_, mdb_->pg_buf, field.start, MDB_REPID, field.siz), false);
      case MDB_BINARY:
        return Value::Text(
            std::string_view(reinterpret_cast<const char*>(p), static_cast<size_t>(field.siz)));
      default:  // OLE objects and attachments are not read
        return Value();
    }
  }

  // A text libmdb made for a value, as a number or as it stands; freed
  // here. Null when the library gave none.
  static Value LibraryText(char* text, bool as_number) {
    if (text == nullptr) return Value();
    Value v = as_number ? Value::Floating(std::strtod(text, nullptr)) : Value::Text(text);
    Mdb().g_free(text);
    return v;
  }

  void Release() {
    if (table_ != nullptr) Mdb().mdb_free_tabledef(table_);
    table_ = nullptr;
  }

  MdbHandle* mdb_;
  MdbTableDef* table_ = nullptr;
  std::vector<std::string> names_;
  std::vector<std::vector<char>> buffers_;
  std::vector<int> lengths_;
  std::vector<MdbField> fields_;
};

bool Matches(const Value& value, const SimpleSelect::Condition& where) {
  if (value.IsNull()) return false;
  const auto& data = value.data();
  const bool numeric = std::holds_alternative<int64_t>(data) ||
                       std::holds_alternative<double>(data) || std::holds_alternative<bool>(data);
  if (numeric) {
    char* end = nullptr;
    const double literal = std::strtod(where.literal.c_str(), &end);
    if (where.literal.empty() || end != where.literal.c_str() + where.literal.size()) {
      throw platform::Failure("Data type mismatch in criteria expression");
    }
    if (const auto* i = std::get_if<int64_t>(&data)) return static_cast<double>(*i) == literal;
    if (const auto* d = std::get_if<double>(&data)) return *d == literal;
    return (std::get<bool>(data) ? -1.0 : 0.0) == literal;
  }
  // A text as it is kept: one too long for a field still compares.
  if (const auto* text = std::get_if<std::string>(&data)) return EqualsNoCase(*text, where.literal);
  return EqualsNoCase(value.AsText(), where.literal);
}

class AccessConnection final : public ProviderConnection {
 public:
  explicit AccessConnection(const std::string& path) {
    // libmdb opens the file itself, and would wait for ever on a FIFO.
    RequireOrdinaryFileIfPresent(path);
    mdb_ = Mdb().mdb_open(path.c_str(), MDB_NOFLAGS);
    if (mdb_ == nullptr) {
      throw platform::Failure("Cannot open the Access database '" + path + "'");
    }
  }
  ~AccessConnection() override { Mdb().mdb_close(mdb_); }

  FirstRecord OpenTable(const std::string& table, OperationNotes&) override {
    TableReader reader(mdb_, table);
    FirstRecord record;
    record.has_columns = true;
    record.names = reader.names();
    if (reader.Next()) {
      record.eof = false;
      for (unsigned int i = 0; i < record.names.size(); ++i) record.values.push_back(reader.Get(i));
    }
    return record;
  }

  FirstRecord Execute(const std::string& sql, OperationNotes&) override {
    const SimpleSelect select = ParseSimpleSelect(sql);
    TableReader reader(mdb_, select.table);
    auto index_of = [&reader](const std::string& name) -> unsigned int {
      for (unsigned int i = 0; i < reader.names().size(); ++i) {
        if (EqualsNoCase(reader.names()[i], name)) return i;
      }
      throw platform::Failure("No value given for one or more required parameters: '" + name + "'");
    };
    std::vector<unsigned int> columns;
    FirstRecord record;
    record.has_columns = true;
    if (select.columns.empty()) {
      for (unsigned int i = 0; i < reader.names().size(); ++i) columns.push_back(i);
      record.names = reader.names();
    } else {
      for (const std::string& name : select.columns) columns.push_back(index_of(name));
      record.names = select.columns;
    }
    std::optional<unsigned int> key;
    if (select.where) key = index_of(select.where->column);
    while (reader.Next()) {
      if (key && !Matches(reader.Get(*key), *select.where)) continue;
      record.eof = false;
      for (unsigned int i : columns) record.values.push_back(reader.Get(i));
      break;
    }
    return record;
  }

 private:
  MdbHandle* mdb_ = nullptr;
};

}  // namespace

std::unique_ptr<ProviderConnection> OpenAccessFile(const std::string& path) {
  return std::make_unique<AccessConnection>(path);
}

}  // namespace upstest::store
