// Query results as lines for the query-language tests: the rows a statement
// returns in the dump format, cells joined by '|', without the header line.
// Throws what sql::runToText throws.
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"
#include "sql/engine.h"

namespace sqltest {

using Lines = std::vector<std::string>;

inline Lines body(jet::Database& db, const std::string& stmt, const sql::Params& params = {}) {
  std::string all = sql::runToText(db, stmt, params);
  Lines out;
  size_t start = all.find('\n') + 1;
  while (start < all.size()) {
    size_t nl = all.find('\n', start);
    std::string line = all.substr(start, nl - start);
    for (auto& ch : line)
      if (ch == '\t') ch = '|';
    out.push_back(line);
    start = nl + 1;
  }
  return out;
}

}  // namespace sqltest
