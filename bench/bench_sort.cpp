// Sort benchmark: a whole-table ORDER BY on a text field (the window's
// heading sort) timed until its first screen of rows (40) is ready, with
// the peak memory, beside SQLite sorting the same rows (the table's every
// column loaded into an in-memory database, text without regard to case)
// until its first 40 rows, in the same run. This engine's statement runs
// first, so its peak memory is its own.
//   bench_sort FILE [TABLE [FIELD]]   (defaults: Big, Name)
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "jet/database.h"
#include "jet/table.h"
#include "sql/engine.h"
#include "sql/recordset.h"

using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) { return std::chrono::duration<double, std::milli>(Clock::now() - t).count(); }

long peakKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_sort FILE [TABLE [FIELD]]\n");
    return 2;
  }
  const std::string table = argc > 2 ? argv[2] : "Big", field = argc > 3 ? argv[3] : "Name";
  jet::OpenOptions o;
  o.readOnly = true;
  auto db = jet::Database::open(argv[1], o);
  const std::string stmt = "Select * from [" + table + "] ORDER BY [" + field + "]";
  long before = peakKb();
  double best = 1e18;
  for (int run = 0; run < 3; ++run) {
    auto t0 = Clock::now();
    auto rs = sql::openRecordset(*db, stmt);
    rs->fetchTo(40);
    best = std::min(best, msSince(t0));
  }
  std::printf("%s: first 40 rows in %.1f ms (best of 3; peak memory %.1f MB, %.1f MB before)\n", stmt.c_str(), best,
              peakKb() / 1024.0, before / 1024.0);

  // SQLite: the same rows, every column, in memory.
  sqlite3* lite = nullptr;
  sqlite3_open(":memory:", &lite);
  auto def = db->table(table);
  std::string create = "CREATE TABLE t (", insert = "INSERT INTO t VALUES (";
  for (size_t i = 0; i < def->columns.size(); ++i) {
    create += (i ? ", \"" : "\"") + def->columns[i].name + "\"" + (def->columns[i].type == jet::DataType::Text || def->columns[i].type == jet::DataType::Memo ? " TEXT COLLATE NOCASE" : "");
    insert += i ? ",?" : "?";
  }
  create += "); BEGIN";
  insert += ")";
  sqlite3_exec(lite, create.c_str(), nullptr, nullptr, nullptr);
  sqlite3_stmt* st = nullptr;
  sqlite3_prepare_v2(lite, insert.c_str(), -1, &st, nullptr);
  auto scan = db->scan(table);
  while (scan->next()) {
    const auto& v = scan->values();
    for (size_t i = 0; i < v.size(); ++i) {
      const jet::Value& x = v[i];
      int k = static_cast<int>(i) + 1;
      if (x.isNull()) sqlite3_bind_null(st, k);
      else if (x.isText()) sqlite3_bind_text(st, k, x.bytes().c_str(), static_cast<int>(x.bytes().size()), SQLITE_TRANSIENT);
      else if (x.type() == jet::DataType::Boolean) sqlite3_bind_int(st, k, x.asBool() ? -1 : 0);
      else if (x.isIntegral()) sqlite3_bind_int64(st, k, x.asInt());
      else sqlite3_bind_double(st, k, x.toDouble());
    }
    sqlite3_step(st);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  sqlite3_exec(lite, "COMMIT", nullptr, nullptr, nullptr);
  const std::string liteStmt = "SELECT * FROM t ORDER BY \"" + field + "\"";
  double liteBest = 1e18;
  for (int run = 0; run < 3; ++run) {
    auto t0 = Clock::now();
    sqlite3_prepare_v2(lite, liteStmt.c_str(), -1, &st, nullptr);
    for (int r = 0; r < 40 && sqlite3_step(st) == SQLITE_ROW; ++r)
      for (int i = 0, n = sqlite3_column_count(st); i < n; ++i) (void)sqlite3_column_text(st, i);
    sqlite3_finalize(st);
    liteBest = std::min(liteBest, msSince(t0));
  }
  sqlite3_close(lite);
  std::printf("SQLite %s: first 40 rows in %.1f ms (best of 3)\n", liteStmt.c_str(), liteBest);
  std::printf("ratio (this engine / SQLite): %.2f\n", best / liteBest);
  return 0;
}
