// Write benchmark: inserts N rows (default 1,000,000) into a created table
// with a primary key and two other indexes (one on text), in changes of
// ROWS_PER_CHANGE rows (default 100,000, a bulk load; an import is a single
// change), then updates 100,000 of them found by key, in changes of 10,000.
// Every change is journaled and synced. Reports rows per second beside
// mdb-export's read speed of the same file, and the peak memory.
//   bench_write [ROWS] [FILE] [UPDATES] [ROWS_PER_CHANGE]
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/index.h"
#include "jet/index_key.h"
#include "jet/table_writer.h"

using jet::Value;
using Clock = std::chrono::steady_clock;

static double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

static long peakKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

int main(int argc, char** argv) {
  long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  std::string path = argc > 2 ? argv[2] : "/tmp/bench_write.mdb";
  std::remove(path.c_str());
  std::remove((path + "-journal").c_str());
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"Big",
                         {jet::columnSpec("ID", jet::DataType::Long), jet::columnSpec("Name", jet::DataType::Text, 40),
                          jet::columnSpec("City", jet::DataType::Long), jet::columnSpec("Amount", jet::DataType::Double),
                          jet::columnSpec("When", jet::DataType::DateTime)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("Name", {{"Name", true}}),
                          jet::indexSpec("City", {{"City", true}})}});
  jet::TableWriter w(*db, "Big");
  std::mt19937 rng(7);
  const long perChange = argc > 4 ? std::max(1L, std::atol(argv[4])) : 100000;
  const long batch = 10000;  // updates per change
  std::vector<jet::RowId> ids;
  ids.reserve(rows);
  auto t0 = Clock::now();
  for (long done = 0; done < rows;) {
    jet::ChangeScope change(*db);
    for (long k = 0; k < perChange && done < rows; ++k, ++done) {
      ids.push_back(w.insert({Value::longInt(static_cast<int32_t>(done + 1)),
                              Value::text("Customer " + std::to_string(rng() % 1000000)),
                              Value::longInt(static_cast<int32_t>(rng() % 5000)),
                              Value::dbl((rng() % 100000) / 100.0), Value::dateTime(40000 + (rng() % 5000))}));
    }
    change.commit();
  }
  double insertSecs = since(t0);
  long peakInsert = peakKb();
  std::printf("insert: %ld rows in changes of %ld in %.2f s = %.0f rows/s (peak memory %.1f MB)\n", rows,
              perChange, insertSecs, rows / insertSecs, peakInsert / 1024.0);

  long updates = std::min<long>(argc > 3 ? std::atol(argv[3]) : 100000, rows);
  auto def = w.def();
  const jet::RealIndex& pkReal = def->realOf(def->indexes[0]);
  auto t1 = Clock::now();
  for (long done = 0; done < updates;) {
    jet::ChangeScope change(*db);
    jet::IndexCursor c(*db, pkReal);
    for (long k = 0; k < batch && done < updates; ++k, ++done) {
      int32_t key = static_cast<int32_t>(1 + (rng() % rows));
      // Find the row by its key through the primary index.
      c.seek(jet::encodeIndexKeyValues(db->format(), *def, pkReal, {Value::longInt(key)}));
      if (!c.next()) { std::fprintf(stderr, "key %d not found\n", key); return 1; }
      auto v = w.read(c.rowId());
      v[3] = Value::dbl(v[3].asDouble() + 1);
      w.update(c.rowId(), v);
    }
    change.commit();
  }
  double updateSecs = since(t1);
  std::printf("update by key: %ld rows in changes of %ld in %.2f s = %.0f rows/s\n", updates, batch, updateSecs,
              updates / updateSecs);
  db.reset();

  auto t2 = Clock::now();
  std::string cmd = "mdb-export '" + path + "' Big > /dev/null 2>&1";
  int rc = std::system(cmd.c_str());
  double exportSecs = since(t2);
  if (rc == 0)
    std::printf("mdb-export read: %ld rows in %.2f s = %.0f rows/s (insert/read ratio %.2f)\n", rows, exportSecs,
                rows / exportSecs, (rows / insertSecs) / (rows / exportSecs));
  else
    std::printf("mdb-export not available\n");
  std::printf("peak memory: %.1f MB\n", peakKb() / 1024.0);
  return 0;
}
