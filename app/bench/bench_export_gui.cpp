// Export benchmark: the window's "Export to CSV" beside `glimmer-cli export`
// of the same table in the same run. Builds a database through the engine
// with a table of ROWS rows (default 1,000,000) and one of ROWS/10, exports
// the large one both ways (best of two runs each) and prints the time ratio
// window / command line; then reports the memory the window's export adds
// for the small and the large table (a streamed export adds about the same
// for both). Last, a query over the large table and the large table sorted
// on a column are exported too (time and memory printed for information).
//   bench_export_gui [ROWS] [DIR]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMenuBar>
#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/menus.h"
#include "app/modal.h"
#include "app/program.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"

using Clock = std::chrono::steady_clock;

namespace {

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

long peakKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

long currentKb() {
  std::ifstream f("/proc/self/statm");
  long size = 0, resident = 0;
  f >> size >> resident;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Answers the Save dialog with the next file and keeps quiet otherwise.
class Scripted : public app::Modal {
 public:
  QString file;
  QString lastMessage;
  app::Answer message(QWidget*, const QString& text, const QString&, app::Buttons, app::Icon) override {
    lastMessage = text;
    return app::Answer::Ok;
  }
  QString input(QWidget*, const QString&, const QString&, const QString&, bool) override { return {}; }
  QString openFile(QWidget*, const QString&, const QStringList&, const QString&) override { return {}; }
  QString saveFile(QWidget*, const QString&, const QStringList&, const QString&) override { return file; }
};

void addTable(jet::Database& db, const std::string& name, long rows) {
  jet::createTable(db, {name,
                        {jet::columnSpec("ID", jet::DataType::Long), jet::columnSpec("Name", jet::DataType::Text, 40),
                         jet::columnSpec("City", jet::DataType::Long), jet::columnSpec("Amount", jet::DataType::Double),
                         jet::columnSpec("When", jet::DataType::DateTime)},
                        {jet::primaryKeySpec("ID")}});
  jet::TableWriter w(db, name);
  std::mt19937 rng(7);
  for (long done = 0; done < rows;) {
    jet::ChangeScope change(db);
    for (long k = 0; k < 100000 && done < rows; ++k, ++done)
      w.insert({jet::Value::longInt(static_cast<int32_t>(done + 1)),
                jet::Value::text("Customer, \"" + std::to_string(rng() % 1000000) + "\""),
                jet::Value::longInt(static_cast<int32_t>(rng() % 5000)), jet::Value::dbl((rng() % 100000) / 100.0),
                jet::Value::dateTime(40000 + (rng() % 5000) + (rng() % 86400) / 86400.0)});
    change.commit();
  }
}

// Built in a child process, so the memory it takes does not count below.
bool buildDatabase(const std::string& path, long rows) {
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    try {
      jet::createDatabase(path);
      auto db = jet::Database::open(path);
      addTable(*db, "Big", rows);
      addTable(*db, "Small", std::max(1L, rows / 10));
      jet::QuerySpec q;  // a read-only result: a computed column
      q.name = "Big Twice";
      q.tables = {"Big"};
      q.columns = {{"Big.ID", ""}, {"Big.Name", ""}, {"[Amount]*2", "Twice"}, {"Big.When", ""}};
      jet::createQuery(*db, q);
      _exit(0);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "building the database: %s\n", e.what());
      _exit(1);
    }
  }
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// Processor time (user and system, every thread) this process has used.
double cpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

struct CliRun {
  double seconds = 0;
  double cpu = 0;
  long peakKb = 0;
  bool ok = false;
};

CliRun cliExport(const std::string& cli, const std::string& db, const std::string& table, const std::string& out) {
  auto t0 = Clock::now();
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen(out.c_str(), "w", stdout)) _exit(126);
    execl(cli.c_str(), cli.c_str(), "export", db.c_str(), table.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int st = 0;
  rusage ru{};
  wait4(pid, &st, 0, &ru);
  CliRun r;
  r.seconds = secondsSince(t0);
  r.peakKb = ru.ru_maxrss;
  r.cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
          static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
  r.ok = WIFEXITED(st) && WEXITSTATUS(st) == 0;
  return r;
}

long lines(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  long n = 0;
  std::string l;
  while (std::getline(f, l)) ++n;
  return n;
}

// Chooses table in the window's table list.
bool choose(app::FrmDatavane& w, const QString& table) {
  for (int r = 1; r < w.grdFiles->rows(); ++r) {
    if (w.grdFiles->textMatrix(r, 0) == table) {
      w.grdFiles->clickCell(r, 0);
      QApplication::processEvents();
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication qapp(argc, argv);
  QTemporaryDir tmp(argc > 2 ? QString::fromLocal8Bit(argv[2]) + "/bench_export-XXXXXX" : QString());
  const std::string dir = tmp.path().toStdString();
  const std::string db = dir + "/export.mdb";
  const std::string cli = std::string(GLIMMER_BIN_DIR) + "/glimmer-cli";
  auto t0 = Clock::now();
  if (!buildDatabase(db, rows)) return 1;
  std::printf("database: %ld + %ld rows built in %.1f s (%s)\n", rows, std::max(1L, rows / 10), secondsSince(t0),
              db.c_str());

  app::initProgram(dir + "/MDBGlimmer.ini");
  Scripted modal;
  app::installModal(&modal);
  app::FrmDatavane w;
  w.formLoad(QString::fromStdString(db));
  w.resize(1280, 800);
  w.show();
  QApplication::processEvents();

  double lastCpu = 0;  // processor time of the last window export
  auto windowExport = [&](const QString& table, const std::string& out, long& growthKb) {
    if (!choose(w, table)) {
      std::fprintf(stderr, "no table %s\n", qPrintable(table));
      std::exit(1);
    }
    modal.file = QString::fromStdString(out);
    modal.lastMessage.clear();
    const long before = currentKb();
    auto t = Clock::now();
    const double cpu0 = cpuSeconds();
    app::mnuExport_Click(w);
    const double s = secondsSince(t);
    lastCpu = cpuSeconds() - cpu0;
    growthKb = std::max(0L, peakKb() - before);
    if (modal.lastMessage != "Save Complete") {
      std::fprintf(stderr, "window export: %s\n", qPrintable(modal.lastMessage));
      std::exit(1);
    }
    return s;
  };

  // Memory first, small then large, before anything else raises the peak.
  long growSmall = 0, growBig = 0;
  double small = windowExport("Small", dir + "/small.csv", growSmall);
  double win = windowExport("Big", dir + "/window.csv", growBig);
  double winCpu = lastCpu;
  CliRun c = cliExport(cli, db, "Big", dir + "/cli.csv");
  if (!c.ok) {
    std::fprintf(stderr, "%s export failed\n", cli.c_str());
    return 1;
  }
  // Second runs, caches warm on both sides; the best of each counts.
  long ignored = 0;
  win = std::min(win, windowExport("Big", dir + "/window.csv", ignored));
  winCpu = std::min(winCpu, lastCpu);
  CliRun c2 = cliExport(cli, db, "Big", dir + "/cli.csv");
  const double cliSeconds = std::min(c.seconds, c2.seconds);
  const double cliCpu = std::min(c.cpu, c2.cpu);

  std::printf("rows written: window %ld, glimmer-cli %ld (header line included)\n", lines(dir + "/window.csv"),
              lines(dir + "/cli.csv"));
  std::printf("glimmer-cli export:  %7.2f s  (peak memory %.1f MB)\n", cliSeconds,
              std::max(c.peakKb, c2.peakKb) / 1024.0);
  std::printf("window export:       %7.2f s  ratio window / glimmer-cli %.2f (target <= 1.5)\n", win,
              cliSeconds > 0 ? win / cliSeconds : 0.0);
  // Processor time is steadier than elapsed time on a busy machine.
  std::printf("processor time:      glimmer-cli %.2f s, window %.2f s, ratio %.2f\n", cliCpu, winCpu,
              cliCpu > 0 ? winCpu / cliCpu : 0.0);
  std::printf("window export memory: %ld rows +%.1f MB (%.2f s), %ld rows +%.1f MB; process peak %.1f MB\n",
              std::max(1L, rows / 10), growSmall / 1024.0, small, rows, growBig / 1024.0, peakKb() / 1024.0);
  // A query's export (informative): read forward only, none of its rows
  // kept. It reads through the window's own database, whose page cache
  // fills up to its bound (16384 pages) on the way; the table export above
  // reads through databases of its own.
  double querySeconds = 0;
  long growQuery = 0;
  {
    w.tab1->setCurrentIndex(0);
    QApplication::processEvents();
    bool found = false;
    for (int r = 1; r < w.grdQueries->rows(); ++r) {
      if (w.grdQueries->textMatrix(r, 0) == "Big Twice") {
        w.grdQueries->clickCell(r, 0);
        QApplication::processEvents();
        found = true;
        break;
      }
    }
    if (!found) {
      std::fprintf(stderr, "no query Big Twice\n");
      return 1;
    }
    w.tab1->setCurrentIndex(1);  // the grid shows the query
    QApplication::processEvents();
    modal.file = QString::fromStdString(dir + "/query.csv");
    modal.lastMessage.clear();
    const long before = currentKb();
    auto t = Clock::now();
    app::mnuExport_Click(w);
    querySeconds = secondsSince(t);
    growQuery = std::max(0L, peakKb() - before);
    if (modal.lastMessage != "Save Complete") {
      std::fprintf(stderr, "query window export: %s\n", qPrintable(modal.lastMessage));
      return 1;
    }
  }
  // A sorted export (informative): the grid's rows in their order through
  // the same cells; the sort itself is timed apart.
  double sortSeconds = 0, sortedSeconds = 0;
  long growSorted = 0;
  {
    w.tab1->setCurrentIndex(0);
    QApplication::processEvents();
    choose(w, "Big");
    w.tab1->setCurrentIndex(1);
    QApplication::processEvents();
    auto ts = Clock::now();
    w.grdData_HeadingClick(2);  // City
    QApplication::processEvents();
    sortSeconds = secondsSince(ts);
    if (w.dta1.RecordSource.find("ORDER BY") == std::string::npos) {
      std::fprintf(stderr, "the heading click did not sort: %s\n", w.dta1.RecordSource.c_str());
      return 1;
    }
    modal.file = QString::fromStdString(dir + "/sorted.csv");
    modal.lastMessage.clear();
    const long before = currentKb();
    auto t = Clock::now();
    app::mnuExport_Click(w);
    sortedSeconds = secondsSince(t);
    growSorted = std::max(0L, peakKb() - before);
    if (modal.lastMessage != "Save Complete") {
      std::fprintf(stderr, "sorted window export: %s\n", qPrintable(modal.lastMessage));
      return 1;
    }
  }
  std::printf("query Big Twice: window export %.2f s (%ld rows, +%.1f MB)\n", querySeconds,
              lines(dir + "/query.csv"), growQuery / 1024.0);
  std::printf("sorted by City: sort %.2f s, window export %.2f s (%ld rows, +%.1f MB)\n", sortSeconds,
              sortedSeconds, lines(dir + "/sorted.csv"), growSorted / 1024.0);
  return 0;
}
