#include "store/simple_select.h"

#include <cctype>

#include "platform/error.h"

namespace upstest::store {
namespace {

class Lexer {
 public:
  explicit Lexer(std::string_view text) : text_(text) {}

  void SkipBlanks() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) ++pos_;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ >= text_.size();
  }
  bool Accept(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool AcceptWord(std::string_view word) {
    SkipBlanks();
    if (text_.size() - pos_ < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i) {
      if (std::toupper(static_cast<unsigned char>(text_[pos_ + i])) != word[i]) return false;
    }
    const size_t after = pos_ + word.size();
    if (after < text_.size() && IsNameChar(text_[after])) return false;
    pos_ = after;
    return true;
  }
  std::string Name() {
    SkipBlanks();
    if (pos_ >= text_.size()) Fail("a name is missing");
    const char open = text_[pos_];
    const char close = open == '[' ? ']' : open == '"' ? '"' : open == '`' ? '`' : 0;
    if (close != 0) {
      const size_t end = text_.find(close, pos_ + 1);
      if (end == std::string_view::npos || end == pos_ + 1) Fail("a quoted name is not closed");
      std::string name(text_.substr(pos_ + 1, end - pos_ - 1));
      pos_ = end + 1;
      return name;
    }
    const size_t start = pos_;
    while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
    if (pos_ == start) Fail("a name is missing");
    return std::string(text_.substr(start, pos_ - start));
  }
  SimpleSelect::Condition Literal(std::string column) {
    SkipBlanks();
    SimpleSelect::Condition c{std::move(column), "", false};
    if (pos_ < text_.size() && text_[pos_] == '\'') {
      c.literal_is_text = true;
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size()) Fail("a text literal is not closed");
        if (text_[pos_] == '\'') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == '\'') {
            c.literal += '\'';
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        c.literal += text_[pos_++];
      }
      return c;
    }
    const size_t start = pos_;
    if (pos_ < text_.size() && (text_[pos_] == '-' || text_[pos_] == '+')) ++pos_;
    while (pos_ < text_.size() &&
           (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '.')) {
      ++pos_;
    }
    if (pos_ == start) Fail("a literal is missing");
    c.literal = std::string(text_.substr(start, pos_ - start));
    return c;
  }
  [[noreturn]] static void Fail(const std::string& what) {
    throw platform::Failure("The Access file reader cannot run this query: " + what);
  }

 private:
  static bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' ||
           static_cast<unsigned char>(c) >= 0x80;
  }
  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

SimpleSelect ParseSimpleSelect(std::string_view sql) {
  Lexer lex(sql);
  SimpleSelect select;
  if (!lex.AcceptWord("SELECT")) Lexer::Fail("only SELECT is supported");
  if (!lex.Accept('*')) {
    do {
      select.columns.push_back(lex.Name());
    } while (lex.Accept(','));
  }
  if (!lex.AcceptWord("FROM")) Lexer::Fail("FROM is missing");
  select.table = lex.Name();
  if (lex.AcceptWord("WHERE")) {
    std::string column = lex.Name();
    if (!lex.Accept('=')) Lexer::Fail("only a comparison with '=' is supported");
    select.where = lex.Literal(std::move(column));
  }
  lex.Accept(';');
  if (!lex.AtEnd()) Lexer::Fail("unexpected text after the query");
  return select;
}

}  // namespace upstest::store
