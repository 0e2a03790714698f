// The output columns of a saved query, described by the query engine
// without running the query.
#pragma once

#include <string>
#include <vector>

#include "catalogue/dao.h"

namespace jet {
class Database;
}

namespace dao {

std::vector<Field> describeQuery(jet::Database& db, const std::string& sql);

}  // namespace dao
