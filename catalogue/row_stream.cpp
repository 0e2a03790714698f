#include "catalogue/row_stream.h"

#include "sql/stream.h"

namespace dao {

bool forEachRow(Database& db, const std::string& statement,
                const std::function<bool(const std::vector<jet::Value>&)>& row) {
  return sql::forEachRow(db.engine(), statement, row);
}

}  // namespace dao
