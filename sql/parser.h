// Parser for the query language: statements as the product stores them in
// saved queries and as the windows build them.
#pragma once

#include <string>

#include "sql/ast.h"

namespace sql {

// Parses one statement (an optional trailing ';' is allowed). Throws
// jet::Error 3075 (syntax error in an expression), 3141/3131/3129 (misplaced
// clause) with a message naming what was found.
QueryP parseStatement(const std::string& text);

// Parses a lone expression (for tests and for expressions typed by users).
ExprP parseExpression(const std::string& text);

}  // namespace sql
