// Query-language benchmark against SQLite: the rows of the 200,000-row
// table Big (../shared/bench/big200k.mdb) are loaded into an in-memory
// SQLite database with the same three indexes (text compared without regard
// to case, as here), then each statement is timed on both in the same run
// and the ratio (this engine / SQLite) printed, with the geometric mean of
// the queries' ratios. A query is the best of five runs on each side.
// Reads fetch every row and every selected value; changes (listed last,
// each judged by its time in seconds) run once on a fresh
// copy of the file (this engine) and inside a transaction rolled back
// afterwards (SQLite), so each starts from the same rows. SQLite's rows are
// in memory, so this engine's page cache is given room for the whole file.
//
//   bench_sql_sqlite [FILE]        (default: ../shared/bench/big200k.mdb)
//   bench_sql_sqlite ROWS          a table Big of ROWS rows (e.g. 1000000)
//                                  created with the write path in the
//                                  temporary folder (kept for the next run)
// The UPDATE and DELETE change about 100,000 rows (Ratio below
// 100,000 / rows).
//
// For profiling, BENCH_ONLY=TEXT runs only the cases whose label contains
// TEXT, and BENCH_REPEAT=N runs this engine's side N more times first.
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "jet/error.h"
#include "jet/table.h"
#include "sql/action.h"
#include "sql/engine.h"
#include "sql/parser.h"

using Clock = std::chrono::steady_clock;

namespace {

double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

constexpr int kRuns = 5;

struct Case {
  const char* what;
  const char* mine;
  const char* theirs;
  bool write = false;
};

const Case kCases[] = {
    {"TOP 10 by Price", "SELECT TOP 10 * FROM Big ORDER BY Price DESC", "SELECT * FROM Big ORDER BY Price DESC LIMIT 10"},
    {"DISTINCT City", "SELECT DISTINCT City FROM Big", "SELECT DISTINCT City FROM Big ORDER BY City"},
    {"self-join on Code", "SELECT a.ID, b.Name FROM Big AS a INNER JOIN Big AS b ON a.Code = b.Code WHERE a.ID <= 2000",
     "SELECT a.ID, b.Name FROM Big AS a INNER JOIN Big AS b ON a.Code = b.Code WHERE a.ID <= 2000"},
    {"Count(*) City =", "SELECT Count(*) FROM Big WHERE City = 'Paris'", "SELECT Count(*) FROM Big WHERE City = 'Paris'"},
    {"Code range", "SELECT ID, Code FROM Big WHERE Code BETWEEN 0 AND 20000000",
     "SELECT ID, Code FROM Big WHERE Code BETWEEN 0 AND 20000000"},
    {"LIKE prefix", "SELECT ID, Name FROM Big WHERE Name LIKE 'Name 12*'",
     "SELECT ID, Name FROM Big WHERE Name LIKE 'Name 12%'"},
    {"filter + sort", "SELECT * FROM Big WHERE City = 'Paris' ORDER BY Name",
     "SELECT * FROM Big WHERE City = 'Paris' ORDER BY Name"},
    {"GROUP BY City", "SELECT City, Sum(Price), Count(*) FROM Big GROUP BY City",
     "SELECT City, Sum(Price), Count(*) FROM Big GROUP BY City ORDER BY City"},
    {"TOP 10 by Code", "SELECT TOP 10 ID, Code FROM Big ORDER BY Code", "SELECT ID, Code FROM Big ORDER BY Code LIMIT 10"},
    {"Count(*) Code =", "SELECT Count(*) FROM Big WHERE Code = 392236186", "SELECT Count(*) FROM Big WHERE Code = 392236186"},
    {"Min/Max Code", "SELECT Min(Code), Max(Code) FROM Big", "SELECT Min(Code), Max(Code) FROM Big"},
    {"UPDATE 100,000 rows", "UPDATE Big SET Qty = Qty + 1 WHERE Ratio < @", "UPDATE Big SET Qty = Qty + 1 WHERE Ratio < @",
     true},
    {"DELETE 100,000 rows", "DELETE FROM Big WHERE Ratio < @", "DELETE FROM Big WHERE Ratio < @", true},
    // the target is for 200,000 rows: on the larger table, its first 200,000
    {"INSERT ... SELECT 200k",
     "INSERT INTO Big (Name, City, Qty, Price, Ratio, Stamp, Active, Code) SELECT Name, City, Qty, Price, Ratio, "
     "Stamp, Active, Code FROM Big WHERE ID <= 200000",
     "INSERT INTO Big (Name, City, Qty, Price, Ratio, Stamp, Active, Code) SELECT Name, City, Qty, Price, Ratio, "
     "Stamp, Active, Code FROM Big WHERE ID <= 200000",
     true},
};

void check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

void load(jet::Database& jdb, sqlite3* db) {
  check(sqlite3_exec(db,
                     "CREATE TABLE Big (ID INTEGER PRIMARY KEY, Name TEXT COLLATE NOCASE, City TEXT COLLATE NOCASE, "
                     "Qty INTEGER, Price REAL, Ratio REAL, Stamp REAL, Active INTEGER, Notes TEXT COLLATE NOCASE, "
                     "Code INTEGER); BEGIN",
                     nullptr, nullptr, nullptr),
        db);
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(db, "INSERT INTO Big VALUES (?,?,?,?,?,?,?,?,?,?)", -1, &st, nullptr), db);
  auto scan = jdb.scan("Big");
  while (scan->next()) {
    const auto& v = scan->values();
    for (int i = 0; i < 10; ++i) {
      const jet::Value& x = v[static_cast<size_t>(i)];
      if (x.isNull()) sqlite3_bind_null(st, i + 1);
      else if (x.isText()) sqlite3_bind_text(st, i + 1, x.bytes().c_str(), static_cast<int>(x.bytes().size()), SQLITE_TRANSIENT);
      else if (x.type() == jet::DataType::Boolean) sqlite3_bind_int(st, i + 1, x.asBool() ? -1 : 0);
      else if (x.isIntegral()) sqlite3_bind_int64(st, i + 1, x.asInt());
      else sqlite3_bind_double(st, i + 1, x.toDouble());
    }
    check(sqlite3_step(st), db);
    sqlite3_reset(st);
  }
  sqlite3_finalize(st);
  check(sqlite3_exec(db, "COMMIT; CREATE INDEX CityIdx ON Big (City); CREATE INDEX CodeIdx ON Big (Code)", nullptr,
                     nullptr, nullptr),
        db);
}

// Rows read, every value fetched.
size_t runLite(sqlite3* db, const char* sqlText) {
  sqlite3_stmt* st = nullptr;
  check(sqlite3_prepare_v2(db, sqlText, -1, &st, nullptr), db);
  size_t rows = 0;
  int rc;
  while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
    ++rows;
    for (int i = 0, n = sqlite3_column_count(st); i < n; ++i) (void)sqlite3_column_text(st, i);
  }
  check(rc, db);
  sqlite3_finalize(st);
  return rows;
}

std::string withFraction(const char* sqlText, double frac) {
  std::string s = sqlText;
  size_t at = s.find('@');
  if (at != std::string::npos) s.replace(at, 1, std::to_string(frac));
  return s;
}

// A database with a table Big like the shared one's, of n generated rows.
std::string makeFile(size_t n) {
  std::string path =
      (std::filesystem::temp_directory_path() / ("glimmer_bench_sql_sqlite_" + std::to_string(n) + ".mdb")).string();
  if (std::filesystem::exists(path)) {
    try {
      jet::OpenOptions o;
      o.readOnly = true;
      auto db = jet::Database::open(path, o);
      if (db->table("Big")->rowCount == n) return path;
    } catch (const jet::Error&) {
    }
    std::filesystem::remove(path);
  }
  using jet::DataType;
  using jet::Value;
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"Big",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Name", DataType::Text, 50),
                          jet::columnSpec("City", DataType::Text, 30), jet::columnSpec("Qty", DataType::Integer),
                          jet::columnSpec("Price", DataType::Currency), jet::columnSpec("Ratio", DataType::Double),
                          jet::columnSpec("Stamp", DataType::DateTime), jet::columnSpec("Active", DataType::Boolean),
                          jet::columnSpec("Notes", DataType::Memo), jet::columnSpec("Code", DataType::Long)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("CityIdx", {{"City", true}}),
                          jet::indexSpec("CodeIdx", {{"Code", true}})}});
  static const char* cities[] = {"Paris", "London", "Berlin", "Madrid", "Rome", "Vienna", "Prague", "Lisbon", "Oslo", "Dublin"};
  std::mt19937_64 rng(1000003);
  jet::TableWriter w(*db, "Big");
  const size_t batch = 20000;
  for (size_t done = 0; done < n;) {
    jet::ChangeScope change(*db);
    for (size_t k = 0; k < batch && done < n; ++k, ++done) {
      char name[64];
      std::snprintf(name, sizeof name, "Name %zu %016llx", done, static_cast<unsigned long long>(rng()));
      w.insert({Value(), Value::text(name), Value::text(cities[rng() % 10]), Value::integer(static_cast<int16_t>(rng() % 1000)),
                Value::currency(static_cast<int64_t>(rng() % 100000000)), Value::dbl(static_cast<double>(rng() % 1000000) / 1e6),
                Value::dateTime(36000 + static_cast<double>(rng() % 9000)), Value::boolean(rng() % 2),
                done % 7 ? Value() : Value::memo("note " + std::to_string(done)),
                Value::longInt(static_cast<int32_t>(rng() % 2000000000) - 1000000000)});
    }
    change.commit();
  }
  return path;
}

}  // namespace

int main(int argc, char** argv) {
  std::string file = argc > 1 ? argv[1] : std::string(GLIMMER_SHARED_DIR) + "/bench/big200k.mdb";
  if (argc > 1 && std::strspn(argv[1], "0123456789") == std::strlen(argv[1])) {
    auto t = Clock::now();
    file = makeFile(static_cast<size_t>(std::stoull(argv[1])));
    std::printf("table of %s rows ready in %.1f s\n", argv[1], since(t));
  }
  if (!std::filesystem::exists(file)) {
    std::printf("skipped: %s is not there\n", file.c_str());
    return 0;
  }
  try {
    jet::OpenOptions ro;
    ro.readOnly = true;
    // SQLite holds the rows in memory: the page cache here may hold the file
    // too (at least 64 MB, the cache a writable open gets; more for a larger
    // file, such as the table of 1,000,000 rows, so that one full scan does
    // not push out the pages the next statement reads).
    const auto fileSize = std::filesystem::file_size(file);
    ro.cachePages = std::max<size_t>(16384, static_cast<size_t>(fileSize / 2048) + 64);
    auto jdb = jet::Database::open(file, ro);
    sqlite3* lite = nullptr;
    sqlite3_open(":memory:", &lite);
    auto t0 = Clock::now();
    load(*jdb, lite);
    std::printf("loaded %s into SQLite in %.2f s\n\n", file.c_str(), since(t0));
    std::printf("%-24s %10s %10s %8s %10s\n", "query", "glimmer ms", "sqlite ms", "ratio", "rows");
    double logSum = 0;
    int n = 0;
    bool headed = false;
    std::string copy = (std::filesystem::temp_directory_path() / "glimmer_bench_sql_sqlite.mdb").string();
    const double frac = std::min(1.0, 100000.0 / std::max<double>(1, jdb->table("Big")->rowCount));
    const char* only = std::getenv("BENCH_ONLY");
    const int repeat = std::getenv("BENCH_REPEAT") ? std::atoi(std::getenv("BENCH_REPEAT")) : 0;
    for (const auto& c : kCases) {
      if (only && !std::strstr(c.what, only)) continue;
      const std::string mineSql = withFraction(c.mine, frac), theirSql = withFraction(c.theirs, frac);
      double mine = 0, theirs = 0;
      size_t rows = 0;
      if (!c.write) {
        // A query is timed as the best of a few runs on each side, so that a
        // statement of a fraction of a millisecond is not judged on one
        // scheduling hiccup; each side gets the same number of runs.
        size_t lr = 0;
        mine = theirs = 1e9;
        for (int run = 0; run < repeat; ++run) {
          auto rs = sql::openRecordset(*jdb, mineSql);
          rows = rs->fetchAll();
          for (size_t i = 0; i < rows; ++i) (void)rs->row(i);
        }
        for (int run = 0; run < kRuns; ++run) {
          auto t = Clock::now();
          auto rs = sql::openRecordset(*jdb, mineSql);
          rows = rs->fetchAll();
          for (size_t i = 0; i < rows; ++i) (void)rs->row(i);
          rs.reset();
          mine = std::min(mine, since(t));
          t = Clock::now();
          lr = runLite(lite, theirSql.c_str());
          theirs = std::min(theirs, since(t));
        }
        if (lr != rows) std::printf("  (row counts differ: %zu here, %zu in SQLite)\n", rows, lr);
      } else {
        std::filesystem::copy_file(file, copy, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::permissions(copy, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
        auto wdb = jet::Database::open(copy);
        auto t = Clock::now();
        rows = static_cast<size_t>(sql::runAction(*wdb, mineSql));
        wdb.reset();  // closing writes everything out
        mine = since(t);
        check(sqlite3_exec(lite, "BEGIN", nullptr, nullptr, nullptr), lite);
        t = Clock::now();
        check(sqlite3_exec(lite, theirSql.c_str(), nullptr, nullptr, nullptr), lite);
        theirs = since(t);
        size_t lr = static_cast<size_t>(sqlite3_changes(lite));
        check(sqlite3_exec(lite, "ROLLBACK", nullptr, nullptr, nullptr), lite);
        if (lr != rows) std::printf("  (rows changed differ: %zu here, %zu in SQLite)\n", rows, lr);
      }
      double ratio = mine / std::max(theirs, 1e-6);
      if (!c.write) {
        logSum += std::log(ratio);
        ++n;
      } else if (!headed) {
        // Changes have their own targets in seconds; their ratios are shown
        // for comparison but are not part of the queries' mean.
        std::printf("\ngeometric mean of the queries' ratios: %.2f (target: at most 1.0, each within 1.5)\n\n",
                    std::exp(logSum / n));
        std::printf("%-24s %10s %10s %8s %10s  %s\n", "change", "glimmer s", "sqlite s", "ratio", "rows", "target");
        headed = true;
      }
      if (c.write)
        std::printf("%-24s %10.3f %10.3f %8.2f %10zu  under 3 s\n", c.what, mine, theirs, ratio, rows);
      else
        std::printf("%-24s %10.3f %10.3f %8.2f %10zu\n", c.what, mine * 1e3, theirs * 1e3, ratio, rows);
      std::fflush(stdout);
    }
    std::filesystem::remove(copy);
    sqlite3_close(lite);
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "Error %d: %s\n", e.number(), e.what());
    return 1;
  }
  return 0;
}
