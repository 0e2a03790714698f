// The output columns of a saved query, described by the query engine
// without running the query.
#pragma once

#include <string>
#include <vector>

#include "catalogue/dao.h"

namespace jet {
class Database;
}
namespace sql {
struct ResultColumn;
}

namespace dao {

// A result column of the query engine as a Field.
Field fieldOf(const sql::ResultColumn& c);

std::vector<Field> describeQuery(jet::Database& db, const std::string& sql);

}  // namespace dao
