// The sample database: a few related tables with varied column types,
// indexes (primary, unique, multi-column, descending), Nulls, accented text,
// memos short and long, and saved queries. ./run.sh opens it and tests use
// it as a known, created-by-us database.
#pragma once

#include <string>

namespace jet {

// Creates the sample at path (the file must not exist).
void createSampleDatabase(const std::string& path);

}  // namespace jet
