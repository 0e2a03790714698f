// Fuzz target: any bytes opened as a database. Reads the header, the
// catalogue, every table definition, a bounded number of rows of every table
// and the saved queries. Only jet::Error may come out; anything else (a crash,
// a sanitizer report, a hang) is a bug.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <vector>

#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  try {
    jet::OpenOptions opts;
    opts.checkPassword = false;
    auto db = jet::Database::open(jet::memoryFile(std::move(bytes), true), opts);
    std::ostringstream sink;
    for (const auto* e : db->tables(true)) {
      if (!e->isTable()) continue;
      try {
        auto def = db->table(*e);
        jet::TableScan scan(*db, def);
        for (int n = 0; n < 200 && scan.next(); ++n)
          for (const auto& v : scan.values()) sink << jet::dumpCell(v);
      } catch (const jet::Error&) {
      }
    }
    try {
      jet::writeQueries(*db, sink);
      jet::writeSchema(*db, sink);
    } catch (const jet::Error&) {
    }
  } catch (const jet::Error&) {
  }
  return 0;
}
