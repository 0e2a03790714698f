// Import benchmark: the rows of table Big of big200k.mdb exported with
// glimmer-cli export, then appended with glimmer-cli import to a copy of the
// same file (a table of 200,000 rows with three indexes receives 200,000
// more). The exported ID is the table's auto-number primary key, so the CSV
// that is imported leaves that column out and the import numbers the rows
// (importing the exported IDs as they are fails at once on the duplicate
// key). The peer, timed in the same run: sqlite3's .import of the same CSV
// into a table of the same columns and the same three indexes that already
// holds the same 200,000 rows (its ID, an INTEGER PRIMARY KEY, is the last
// column there, so .import leaves it Null and SQLite numbers the rows).
// Whole commands are timed, best of several runs, each on a fresh copy.
//
//   bench_import [path/to/big200k.mdb] [path/to/glimmer-cli] [RUNS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "output/csv_reader.h"
#include "output/csv_writer.h"

namespace {

struct RunResult {
  double seconds = 0;
  double cpuSeconds = 0;  // user + system: steadier than the clock on a shared machine
  long maxRssKb = 0;
  int status = -1;
};

RunResult run(const std::string& cmd) {
  std::fflush(stdout);  // else the child's freopen writes the buffer again
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);
    freopen("/dev/null", "w", stderr);
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int st = 0;
  struct rusage ru {};
  wait4(pid, &st, 0, &ru);
  RunResult r;
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  r.maxRssKb = ru.ru_maxrss;
  r.cpuSeconds = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

bool must(const std::string& cmd) {
  RunResult r = run(cmd);
  if (r.status != 0) std::printf("failed (%d): %s\n", r.status, cmd.c_str());
  return r.status == 0;
}

// The CSV without its first column; returns the number of records.
long dropFirstColumn(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  std::ofstream out(to, std::ios::binary);
  output::CsvReader r(in);
  output::CsvWriter w(out);
  output::CsvRecord rec;
  long n = -1;  // the header is no row
  while (r.next(rec)) {
    for (size_t i = 1; i < rec.fields.size(); ++i) w.field(rec.fields[i]);
    w.endRecord();
    ++n;
  }
  w.flush();
  return n;
}

const char* kSqliteSchema =
    "CREATE TABLE Big(Name TEXT, City TEXT, Qty INTEGER, Price NUMERIC, Ratio REAL, Stamp TEXT, "
    "Active TEXT, Notes TEXT, Code INTEGER, ID INTEGER PRIMARY KEY);"
    "CREATE INDEX CityIdx ON Big(City); CREATE INDEX CodeIdx ON Big(Code);";

}  // namespace

int main(int argc, char** argv) {
  std::string file = argc > 1 ? argv[1] : std::string(GLIMMER_SHARED_DIR) + "/bench/big200k.mdb";
  std::string cli = argc > 2 ? argv[2] : std::string(GLIMMER_BIN_DIR) + "/glimmer-cli";
  int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  if (access(file.c_str(), R_OK) != 0) {
    std::printf("skipped: %s not found\n", file.c_str());
    return 0;
  }
  bool haveSqlite = run("sqlite3 -version").status == 0;
  char dirTemplate[] = "/tmp/bench_import.XXXXXX";
  if (!mkdtemp(dirTemplate)) return 1;
  std::string dir = dirTemplate;
  std::string exported = dir + "/big.csv", csv = dir + "/rows.csv";
  if (!must("'" + cli + "' export '" + file + "' Big > '" + exported + "'")) return 1;
  long rows = dropFirstColumn(exported, csv);
  std::printf("CSV: %ld rows of Big without the auto-number ID (%s)\n", rows, csv.c_str());

  std::string sqliteBase = dir + "/base.sqlite";
  if (haveSqlite) {
    std::string setup = "sqlite3 '" + sqliteBase + "' \"" + kSqliteSchema + "\" \".import --csv --skip 1 '" +
                        csv + "' Big\"";
    if (!must(setup)) haveSqlite = false;
  }

  auto faster = [](const RunResult& a, const RunResult& b) { return b.seconds < a.seconds ? b : a; };
  RunResult ours, theirs;
  ours.seconds = theirs.seconds = 1e9;
  bool ok = true;
  for (int i = 0; i < runs; ++i) {
    std::string copy = dir + "/copy.mdb";
    must("cp '" + file + "' '" + copy + "' && chmod u+w '" + copy + "' && rm -f '" + copy + "-journal'");
    RunResult r = run("'" + cli + "' import '" + copy + "' Big '" + csv + "'");
    if (r.status != 0) ok = false;
    ours = faster(ours, r);
    if (i == 0 && r.status == 0) {
      // The written file must pass the integrity check.
      if (!must("'" + cli + "' check '" + copy + "'")) ok = false;
    }
    if (haveSqlite) {
      std::string sq = dir + "/copy.sqlite";
      must("cp '" + sqliteBase + "' '" + sq + "'");
      RunResult s = run("sqlite3 '" + sq + "' \".import --csv --skip 1 '" + csv + "' Big\"");
      if (s.status != 0) haveSqlite = false;
      theirs = faster(theirs, s);
    }
  }
  std::printf("glimmer-cli import (best of %d): %ld rows in %.3f s = %.0f rows/s (cpu %.3f s, peak %ld MB)%s\n",
              runs, rows, ours.seconds, rows / ours.seconds, ours.cpuSeconds, ours.maxRssKb / 1024,
              ok ? "" : "  FAILED");
  if (haveSqlite) {
    std::printf("sqlite3 .import  (best of %d): %ld rows in %.3f s = %.0f rows/s (cpu %.3f s, peak %ld MB)\n",
                runs, rows, theirs.seconds, rows / theirs.seconds, theirs.cpuSeconds, theirs.maxRssKb / 1024);
    std::printf("ratio: glimmer-cli import is %.2fx the speed of sqlite3 .import\n", theirs.seconds / ours.seconds);
  } else {
    std::printf("sqlite3 not available: no ratio\n");
  }
  std::printf("rows per CPU second: glimmer-cli %.0f%s\n", rows / ours.cpuSeconds,
              haveSqlite ? (", sqlite3 " + std::to_string(long(rows / theirs.cpuSeconds))).c_str() : "");
  std::printf("target: >= 150000 rows/s: %s\n", ok && rows / ours.seconds >= 150000 ? "met" : "NOT met");
  run("rm -rf '" + dir + "'");
  return ok ? 0 : 1;
}
