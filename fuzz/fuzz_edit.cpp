// Fuzz target: any bytes opened as a database for writing (in memory), then
// edited: in every table some rows are rewritten with their own values,
// removed, or added again, and the integrity check runs. Only jet::Error may
// come out; anything else (a crash, a sanitizer report, a hang) is a bug.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/table_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  try {
    jet::OpenOptions opts;
    opts.checkPassword = false;
    auto db = jet::Database::open(jet::memoryFile(std::move(bytes)), opts);
    std::vector<std::string> tables;
    for (const auto& o : db->objects())
      if (o.kind == jet::ObjectKind::Table) tables.push_back(o.name);
    for (const auto& name : tables) {
      try {
        jet::TableWriter w(*db, name);
        std::vector<jet::RowId> ids;
        auto scan = db->scan(name);
        while (scan->next() && ids.size() < 12) ids.push_back(scan->rowId());
        for (size_t i = 0; i < ids.size(); ++i) {
          try {
            auto v = w.read(ids[i]);
            if (i % 3 == 0) w.update(ids[i], v);
            else if (i % 3 == 1) w.remove(ids[i]);
            else w.insert(v);
          } catch (const jet::Error&) {
          }
        }
      } catch (const jet::Error&) {
      }
    }
    (void)jet::checkDatabase(*db, false);
  } catch (const jet::Error&) {
  }
  return 0;
}
