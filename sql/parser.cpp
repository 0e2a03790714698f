#include "sql/parser.h"

#include "sql/parser_impl.h"

namespace sql {

using detail::Parser;

QueryP parseStatement(const std::string& text) {
  // Saved statements may end in the terminating NUL the product stores.
  if (text.empty() || text.back() != '\0') {
    Parser p(text);
    return p.statement();
  }
  std::string t = text;
  while (!t.empty() && t.back() == '\0') t.pop_back();
  Parser p(t);
  return p.statement();
}

ExprP parseExpression(const std::string& text) {
  Parser p(text);
  return p.lone();
}

}  // namespace sql
