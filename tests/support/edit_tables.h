// Edits every user table of a database the way the damaged-file tests and
// the editing fuzz target do: of the first rows of each table, one in three
// is rewritten with its own values, one removed, and one added again as a
// new row. Every jet::Error is caught (damaged input may refuse any step);
// anything else escapes. Header-only so that the fuzz build, which has no
// test support library, can use it too.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/table_writer.h"

namespace testsupport {

inline void editEveryTable(jet::Database& db, size_t rowsPerTable) {
  std::vector<std::string> tables;
  for (const auto& o : db.objects())
    if (o.kind == jet::ObjectKind::Table) tables.push_back(o.name);
  for (const auto& name : tables) {
    try {
      jet::TableWriter w(db, name);
      std::vector<jet::RowId> ids;
      auto scan = db.scan(name);
      while (scan->next() && ids.size() < rowsPerTable) ids.push_back(scan->rowId());
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
}

}  // namespace testsupport
