// Migration benchmark: big200k.mdb (or FILE) into SQLite with its indexes,
// beside two peers timed in the same run on the same rows:
//   - sqlite3's own bulk load: .import of the rows as CSV into the same table,
//     then the same CREATE INDEX statements (the practical floor);
//   - the mdbtools pipeline: mdb-schema FILE sqlite | sqlite3, then
//     mdb-export -I sqlite FILE TABLE | sqlite3.
// Then into a PostgreSQL server of its own, started as the tests start one
// but with a stock configuration that flushes to disk at each commit as a
// user's server does, in rows per second over the whole migration (schema,
// rows, keys and indexes, commit): once in this process, with the time the
// rows alone took, and once as a user times the command, glimmer-cli migrate
// from start to exit. Prints the ratios.
//   bench_migrate [--postgresql-only] [FILE]
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "jet/database.h"
#include "output/table_csv.h"
#include "migrate/migrate.h"
#include "migrate/pg_server.h"
#include "support/test_support.h"

using Clock = std::chrono::steady_clock;

static double since(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

static double timeShell(const std::string& cmd) {
  auto t0 = Clock::now();
  int rc = testsupport::run(cmd);
  double s = since(t0);
  if (rc != 0) std::fprintf(stderr, "failed (%d): %s\n", rc, cmd.c_str());
  return s;
}

// SQLite beside its two peers.
static void sqliteRuns(const std::string& file, const std::string& dir, const jet::OpenOptions& oo) {
  // This program.
  std::string ours = dir + "/ours.db";
  migrate::Summary sum;
  double tOurs;
  {
    auto db = jet::Database::open(file, oo);
    auto t0 = Clock::now();
    auto target = migrate::openTarget("sqlite:" + ours, "");
    sum = migrate::migrateDatabase(*db, *target, {});
    target.reset();
    tOurs = since(t0);
  }
  std::printf("glimmer migrate -> sqlite: %llu rows, %zu indexes in %.3f s (%.0f rows/s)\n",
              static_cast<unsigned long long>(sum.rows), sum.indexes, tOurs, sum.rows / tOurs);

  // sqlite3 .import of the same rows, same table and indexes.
  double tImport = 0;
  {
    auto db = jet::Database::open(file, oo);
    std::string script = dir + "/import.sql";
    std::ofstream sq(script);
    std::string tables, indexes;
    for (const auto* e : db->tables(false)) {
      if (e->kind != jet::ObjectKind::Table) continue;
      std::string csv = dir + "/" + std::to_string(e->id) + ".csv";
      std::ofstream out(csv);
      output::writeTableCsv(*db, e->name, out);
      std::string name = migrate::quoteIdent(e->name);
      std::string ddl, rows;
      testsupport::run("sqlite3 " + ours + " \"SELECT sql FROM sqlite_master WHERE type = 'table' AND name = '" +
                           e->name + "'\"",
                       &ddl);
      sq << ddl << ";\n.import --csv --skip 1 " << csv << " " << name << "\n";
      testsupport::run("sqlite3 " + ours + " \"SELECT sql || ';' FROM sqlite_master WHERE type = 'index' AND tbl_name = '" +
                           e->name + "' AND sql IS NOT NULL\"",
                       &rows);
      indexes += rows;
    }
    sq << indexes;
    sq.close();
    tImport = timeShell("sqlite3 " + dir + "/import.db < " + script + " >/dev/null");
  }
  std::printf("sqlite3 .import + same indexes: %.3f s\n", tImport);

  // The mdbtools pipeline.
  double tPipe = -1;
  if (testsupport::haveCommand("mdb-schema") && testsupport::haveCommand("mdb-export")) {
    auto db = jet::Database::open(file, oo);
    std::string p = dir + "/pipe.db";
    tPipe = timeShell("mdb-schema " + file + " sqlite 2>/dev/null | sqlite3 " + p);
    for (const auto* e : db->tables(false))
      if (e->kind == jet::ObjectKind::Table)
        tPipe += timeShell("mdb-export -I sqlite " + file + " '" + e->name + "' | sqlite3 " + p);
    std::printf("mdb-schema | sqlite3; mdb-export -I sqlite | sqlite3: %.3f s\n", tPipe);
  }

  std::printf("ratio to sqlite3 .import: %.2f (target <= 1.3)\n", tOurs / tImport);
  if (tPipe > 0) std::printf("speed-up over the mdbtools pipeline: %.1fx (target >= 2)\n", tPipe / tOurs);
}

// PostgreSQL: the whole migration, in this process and as the command.
static void postgresRuns(const std::string& file, const jet::OpenOptions& oo) {
  std::string why;
  std::string conninfo = migratetest::pgDatabase(&why, true);
  if (conninfo.empty()) {
    std::printf("postgresql: skipped (%s)\n", why.c_str());
    return;
  }
  double tRows = 0;
  migrate::Options opts;
  opts.progress = [&](const migrate::Progress& p) {
    if (p.done) tRows += p.seconds;
  };
  auto t0 = Clock::now();
  auto db = jet::Database::open(file, oo);
  auto target = migrate::openTarget(conninfo, "");
  migrate::Summary ps = migrate::migrateDatabase(*db, *target, opts);
  target.reset();
  double tPg = since(t0);
  std::printf("glimmer migrate -> postgresql: %llu rows in %.3f s: %.0f rows/s (target >= 200000); "
              "rows alone %.3f s (%.0f rows/s), the rest (schema, keys, indexes, commit) %.3f s\n",
              static_cast<unsigned long long>(ps.rows), tPg, ps.rows / tPg, tRows, ps.rows / tRows, tPg - tRows);

  std::string fresh = migratetest::pgDatabase(&why, true);
  if (fresh.empty()) return;
  std::string cli = testsupport::binDir() + "/glimmer-cli";
  double tCli = timeShell(cli + " migrate " + file + " \"" + fresh + "\" >/dev/null 2>&1");
  std::printf("glimmer-cli migrate -> postgresql, start to exit: %.3f s: %.0f rows/s (target >= 200000)\n", tCli,
              ps.rows / tCli);
}

int main(int argc, char** argv) {
  bool pgOnly = argc > 1 && std::string(argv[1]) == "--postgresql-only";
  if (pgOnly) {
    --argc;
    ++argv;
  }
  std::string file = argc > 1 ? argv[1] : testsupport::sharedDir() + "/bench/big200k.mdb";
  if (!std::ifstream(file)) {
    std::printf("skipped: %s is absent\n", file.c_str());
    return 0;
  }
  std::string dir = testsupport::tempDir();
  jet::OpenOptions oo;
  oo.readOnly = true;
  oo.cachePages = 256;
  if (!pgOnly) sqliteRuns(file, dir, oo);
  postgresRuns(file, oo);
  return 0;
}
