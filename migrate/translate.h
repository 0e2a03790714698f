// Saved queries as views: the query's text is parsed with sql/'s parser and
// the syntax tree printed again in the target's SQL. What has no faithful
// equivalent is refused as a whole (jet::Error 3251 naming it), never half
// translated.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "migrate/types.h"

namespace migrate {

// SQLite keeps Currency and Decimal values as exact decimal text, which
// compares and sorts as text. The columns of each table and query a view may
// read (both names upper-cased), true for those held so; the SQLite printer
// reads such a column as CAST(column AS REAL) wherever it is compared,
// computed with, sorted by, summed or passed to a function, and leaves it as
// it is (exact) where it is only selected or grouped by.
using SourceColumns = std::map<std::string, std::map<std::string, bool>>;

struct TranslatedQuery {
  std::string select;                 // the view's SELECT in the target's SQL
  std::vector<std::string> sources;   // tables and queries named in FROM clauses
  // The view's columns in order (as named in the target), true for those
  // that are such exact decimal text.
  std::vector<std::pair<std::string, bool>> columns;
};

TranslatedQuery translateQuery(const std::string& text, Dialect d, const SourceColumns* known = nullptr);

}  // namespace migrate
