// Fuzz target: any bytes opened as a database for writing (in memory), then
// edited: in every table some rows are rewritten with their own values,
// removed, or added again, and the integrity check runs. Only jet::Error may
// come out; anything else (a crash, a sanitizer report, a hang) is a bug.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "tests/support/edit_tables.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  try {
    jet::OpenOptions opts;
    opts.checkPassword = false;
    auto db = jet::Database::open(jet::memoryFile(std::move(bytes)), opts);
    testsupport::editEveryTable(*db, 12);
    (void)jet::checkDatabase(*db, false);
  } catch (const jet::Error&) {
  }
  return 0;
}
