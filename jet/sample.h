// The sample database: a few related tables with varied column types,
// indexes (primary, unique, multi-column, descending), Nulls, accented text,
// memos short and long, and saved queries. ./run.sh opens it and tests use
// it as a known, created-by-us database.
#pragma once

#include <string>

#include "jet/format.h"

namespace jet {

// Creates the sample at path (the file must not exist) in the format its
// name chooses (see newFileVersion), or in version v. In the 2016 format and
// later it has one more table, Readings, with Big Integer values (and
// Date/Time Extended ones in the 2019 format).
void createSampleDatabase(const std::string& path);
void createSampleDatabase(const std::string& path, Version v);

}  // namespace jet
