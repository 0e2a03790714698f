// Integrity check: walks every table and index of a database and reports
// each inconsistency found, in words. An empty list means the file holds
// together. Checked: the catalogue, every table definition, every row (its
// slot, its values, its long values and overflow pointers), the stored row
// count against the rows, the table's usage maps against its pages, pages
// claimed by two owners, and every index (structure, key order, entries
// against rows; see checkIndex in jet/index.h).
#pragma once

#include <string>
#include <vector>

#include "jet/database.h"

namespace jet {

struct CheckResult {
  std::vector<std::string> problems;
  // Things the product itself leaves behind in files it wrote (stored row
  // counts that lag behind, unmapped pages of system tables): reported, but
  // not damage. With strict set they count as problems.
  std::vector<std::string> notes;
  bool ok() const { return problems.empty(); }
};

CheckResult checkDatabase(Database& db, bool strict = false);

}  // namespace jet
