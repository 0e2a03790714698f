#include "sql/stream.h"

#include "sql/exec.h"
#include "sql/parser.h"

namespace sql {

bool forEachRow(jet::Database& db, const std::string& statement,
                const std::function<bool(const std::vector<jet::Value>&)>& row, const Params& params) {
  QueryP q = parseStatement(statement);
  Plan p = planQuery(db, *q, params);
  p.root->open(nullptr);
  Row r;
  while (p.root->next(r))
    if (!row(r.v)) return false;
  return true;
}

}  // namespace sql
