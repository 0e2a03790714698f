// Saved queries as views: the query's text is parsed with sql/'s parser and
// the syntax tree printed again in the target's SQL. What has no faithful
// equivalent is refused as a whole (jet::Error 3251 naming it), never half
// translated.
#pragma once

#include <string>
#include <vector>

#include "migrate/types.h"

namespace migrate {

struct TranslatedQuery {
  std::string select;                 // the view's SELECT in the target's SQL
  std::vector<std::string> sources;   // tables and queries named in FROM clauses
};

TranslatedQuery translateQuery(const std::string& text, Dialect d);

}  // namespace migrate
