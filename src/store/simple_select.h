// The one form of query that the Access file reader answers itself:
//   SELECT <*|column, ...> FROM <table> [WHERE <column> = <literal>] [;]
// Names may stand in [brackets], "double quotes" or `backticks`; a literal
// is a text in single quotes ('' inside for one) or a number.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace upstest::store {

struct SimpleSelect {
  std::vector<std::string> columns;  // empty: every column
  std::string table;
  struct Condition {
    std::string column;
    std::string literal;
    bool literal_is_text = false;
  };
  std::optional<Condition> where;
};

// Throws Failure for anything else.
SimpleSelect ParseSimpleSelect(std::string_view sql);

}  // namespace upstest::store
