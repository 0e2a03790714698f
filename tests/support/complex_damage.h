// Damaged copies of the fixtures with attachment and multi-value columns:
// the hidden ("flat") table behind a column found through the engine, and
// the copy's bytes changed in place.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

#include "jet/database.h"
#include "jet/table.h"
#include "support/test_support.h"

namespace complexdamage {

// The hidden table behind column of table: its name, definition page and
// data pages.
struct FlatTable {
  std::string name;
  uint32_t tdefPage = 0;
  std::vector<uint32_t> dataPages;
};

inline FlatTable flatTableOf(jet::Database& db, const std::string& table, const std::string& column) {
  auto def = db.table(table);
  const int col = def->findColumn(column);
  FlatTable out;
  if (col < 0) return out;
  int32_t flatId = 0;
  auto scan = db.scan("MSysComplexColumns");
  const int cId = scan->def().findColumn("ComplexID"), cFlat = scan->def().findColumn("FlatTableID");
  while (scan->next())
    if (scan->value(static_cast<size_t>(cId)).asInt() == def->columns[static_cast<size_t>(col)].complexId)
      flatId = static_cast<int32_t>(scan->value(static_cast<size_t>(cFlat)).asInt());
  for (const auto& e : db.objects())
    if (e.isTable() && e.id == flatId) {
      out.name = e.name;
      out.tdefPage = e.tdefPage;
    }
  if (!out.name.empty()) out.dataPages = db.scan(out.name)->pages();
  return out;
}

inline uint32_t le32(const std::string& s, size_t at) {
  uint32_t v;
  std::memcpy(&v, s.data() + at, 4);
  return v;
}
inline void put32(std::string& s, size_t at, uint32_t v) { std::memcpy(s.data() + at, &v, 4); }

// A writable copy of fixture rel whose bytes damage changed; damage sees
// the original file opened read-only, to find what to change.
inline std::string damagedCopy(const std::string& rel,
                               const std::function<void(std::string& bytes, jet::Database& db)>& damage) {
  const std::string src = testsupport::fixture(rel);
  std::string bytes = testsupport::readFile(src);
  {
    jet::OpenOptions opts;
    opts.readOnly = true;
    auto db = jet::Database::open(src, opts);
    damage(bytes, *db);
  }
  const std::string dst = testsupport::tempDir() + "/damaged.accdb";
  testsupport::writeFile(dst, bytes);
  return dst;
}

// The page-sized part of bytes that holds page p.
inline char* page(std::string& bytes, uint32_t p, size_t pageSize = 4096) {
  return bytes.data() + static_cast<size_t>(p) * pageSize;
}

}  // namespace complexdamage
