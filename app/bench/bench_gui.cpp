// Window benchmark: opens FILE, chooses TABLE (default: the first user
// table), and times the switch to "Grid View" up to the first painted
// screen, the jump to the last row, and the switches to the record and
// filter pages; then, on a copy of FILE, Apply Filter & Order By (the first
// row's value of the field CITY, sorted by the field NAME; defaults "City"
// and "Name"), a heading sort, Last Record, Save New, Update Changes and
// Delete Record, each beside the engine alone running the same statement
// (ratio window / engine; the engine alone runs in a child process). Reports
// the peak memory of the window's own process.
//   bench_gui FILE [TABLE [CITY NAME]]
//   bench_gui --create FILE [ROWS]   makes FILE with the table "Big" (ROWS rows,
//                                    default 1,000,000: ID, Name, City, Qty,
//                                    Ordered) through the engine, then exits
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QKeyEvent>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/grid/recordset_model.h"
#include "app/modal.h"
#include "app/program.h"
#include "catalogue/recordset.h"
#include "jet/create.h"
#include "jet/table_writer.h"
#include "sql/engine.h"
#include "sql/recordset.h"

using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// CPU time of the whole process, in ms: beside the wall clock it tells
// the window's own work from time lost to other programs on the machine.
double cpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
}

long peakKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

double rssNowMb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024.0) / 1024.0;
}

double heapMb() {
  struct mallinfo2 m = mallinfo2();
  return (m.uordblks + m.hblkhd) / 1048576.0;
}

void mem(const char* where) {
  std::printf("    [%s] rss now %.1f MB, heap in use %.1f MB, peak %.1f MB\n", where, rssNowMb(), heapMb(), peakKb() / 1024.0);
}

class Quiet : public app::Modal {
 public:
  app::Answer message(QWidget*, const QString& text, const QString&, app::Buttons, app::Icon) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return app::Answer::Ok;
  }
  QString input(QWidget*, const QString&, const QString&, const QString&, bool) override { return {}; }
  QString openFile(QWidget*, const QString&, const QStringList&, const QString&) override { return {}; }
  QString saveFile(QWidget*, const QString&, const QStringList&, const QString&) override { return {}; }
};

// The longest time the event loop went without running a 5 ms timer: how
// long the window was blocked (not repainting) during one operation.
class Stall {
 public:
  Stall() {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      worst_ = std::max(worst_, msSince(last_));
      last_ = Clock::now();
    });
  }
  void start() {
    worst_ = 0;
    last_ = Clock::now();
    timer_.start();
  }
  double stop() {
    worst_ = std::max(worst_, msSince(last_));
    timer_.stop();
    return worst_;
  }

 private:
  QTimer timer_;
  Clock::time_point last_;
  double worst_ = 0;
};

Stall* stall = nullptr;

// Runs pending events and paints the window once.
void paint(QWidget* w) {
  QApplication::processEvents();
  w->repaint();
  QApplication::processEvents();
}

// The engine alone runs in a child process (a copy of this one, with the
// same open database and its page cache), so its memory never counts in
// the window's peak; the child sends back how long the work took.
double alone(const std::function<void()>& work) {
  int fd[2];
  if (pipe(fd) != 0) return -1;
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    close(fd[0]);
    double ms = -1;
    try {
      auto t0 = Clock::now();
      work();
      ms = msSince(t0);
    } catch (...) {
    }
    if (write(fd[1], &ms, sizeof ms) != static_cast<ssize_t>(sizeof ms)) _exit(1);
    _exit(0);
  }
  close(fd[1]);
  double ms = -1;
  if (pid < 0 || read(fd[0], &ms, sizeof ms) != static_cast<ssize_t>(sizeof ms)) ms = -1;
  close(fd[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  return ms;
}

// The engine alone: statement run to its first screen of rows.
double engineFirstRows(app::FrmDatavane& w, const std::string& statement) {
  return alone([&] {
    auto rs = sql::openRecordset(w.dta1.database()->engine(), statement);
    rs->fetchTo(40);
  });
}

// The engine alone: statement run to its last row.
double engineLast(app::FrmDatavane& w, const std::string& statement) {
  return alone([&] {
    auto e = sql::openRecordset(w.dta1.database()->engine(), statement);
    e->moveLast();
  });
}

void line(const char* what, double windowMs, double engineMs, double blocked) {
  std::printf("%-26s%8.1f ms   engine alone %8.1f ms   ratio %.2f   window blocked at most %.1f ms   peak memory so far %.1f MB\n", what,
              windowMs, engineMs, engineMs > 0 ? windowMs / engineMs : 0.0, blocked, peakKb() / 1024.0);
  mem(what);
}

void runEditing(app::FrmDatavane& w, const char* cityField, const char* nameField) {
  const QString object = w.currentObjectName();
  w.tab1->setCurrentIndex(3);
  paint(&w);
  dao::Recordset* rs = w.dta1.recordset();
  int city = rs->fieldIndex(cityField), name = rs->fieldIndex(nameField);
  if (city < 0 || name < 0 || city >= static_cast<int>(w.fieldRows.size())) {
    std::fprintf(stderr, "no fields %s and %s\n", cityField, nameField);
    return;
  }
  rs->MoveFirst();
  const QString value = QString::fromStdString(dao::displayText(rs->value(city)));
  w.fieldRows[static_cast<size_t>(city)].txtField2->setText(value);
  w.cboSearch[0]->setCurrentText(QString::fromLatin1(nameField));
  stall->start();
  auto t0 = Clock::now();
  w.cmdRecord[5]->click();
  paint(&w);
  double ms = msSince(t0);
  double blocked = stall->stop();
  line("Apply Filter & Order By:", ms, engineFirstRows(w, w.dta1.RecordSource), blocked);
  std::printf("  %s (%lld rows read so far)\n", w.dta1.RecordSource.c_str(),
              static_cast<long long>(w.dta1.recordset()->RecordCount()));
  {
    stall->start();
    auto t1 = Clock::now();
    w.cmdRecord[3]->click();  // Last Record of the filtered rows
    paint(&w);
    const double lastMs = msSince(t1);
    const double lastBlocked = stall->stop();
    line("Last Record (filtered):", lastMs, engineLast(w, w.dta1.RecordSource), lastBlocked);
  }
  mem("step end");
  w.cmdRecord[4]->click();  // Clear Filter
  mem("cleared");
  w.tab1->setCurrentIndex(1);
  paint(&w);
  stall->start();
  t0 = Clock::now();
  emit w.grdData->horizontalHeader()->sectionClicked(name);
  paint(&w);
  ms = msSince(t0);
  blocked = stall->stop();
  line("heading sort:", ms, engineFirstRows(w, w.dta1.RecordSource), blocked);
  w.cmdRecord[4]->click();
  w.tab1->setCurrentIndex(2);
  paint(&w);
  stall->start();
  t0 = Clock::now();
  w.cmdRecord[3]->click();  // Last Record
  paint(&w);
  ms = msSince(t0);
  blocked = stall->stop();
  line("Last Record:", ms, engineLast(w, w.dta1.RecordSource), blocked);
  w.cmdAddNew->click();
  w.fieldRows[static_cast<size_t>(name)].txtField->setText("Bench record");
  t0 = Clock::now();
  double c0 = cpuMs();
  w.cmdSaveNew->click();
  paint(&w);
  std::printf("%-26s%8.1f ms   (cpu %.1f ms)\n", "Save New:", msSince(t0), cpuMs() - c0);
  // Each edit is checked in the file, so a refused one cannot pass for a fast one.
  auto countOf = [&](const char* where) {
    std::string text = sql::runToText(w.dta1.database()->engine(),
                                      "Select Count(*) from [" + object.toStdString() + "] Where " + where);
    return text.substr(text.find('\n') + 1, text.find('\n', text.find('\n') + 1) - text.find('\n') - 1);
  };
  std::printf("  rows named 'Bench record': %s\n", countOf("[Name] = 'Bench record'").c_str());
  w.fieldRows[static_cast<size_t>(name)].txtField->setText("Bench record changed");
  t0 = Clock::now();
  c0 = cpuMs();
  w.cmdUpdate->click();
  paint(&w);
  std::printf("%-26s%8.1f ms   (cpu %.1f ms)\n", "Update Changes:", msSince(t0), cpuMs() - c0);
  std::printf("  rows named 'Bench record changed': %s\n", countOf("[Name] = 'Bench record changed'").c_str());
  t0 = Clock::now();
  c0 = cpuMs();
  w.cmdDelete->click();
  paint(&w);
  std::printf("%-26s%8.1f ms   (cpu %.1f ms)\n", "Delete Record:", msSince(t0), cpuMs() - c0);
  std::printf("  rows named 'Bench record changed': %s\n", countOf("[Name] = 'Bench record changed'").c_str());
}

// The benchmark table: names and cities spread like a customer list.
int createBig(const char* path, long rows) {
  static const char* const kCities[] = {"Paris", "Lyon", "Lille", "Nice", "Nantes", "Brest", "Dijon", "Metz",
                                        "Reims", "Tours", "Caen", "Rouen", "Pau", "Nancy", "Arles", "Albi"};
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"Big",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Name", jet::DataType::Text, 50),
                          jet::columnSpec("City", jet::DataType::Text, 30),
                          jet::columnSpec("Qty", jet::DataType::Long),
                          jet::columnSpec("Ordered", jet::DataType::DateTime)},
                         {jet::primaryKeySpec("ID")}});
  jet::TableWriter w(*db, "Big");
  uint32_t seed = 20240601;
  auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (long done = 0; done < rows;) {
    jet::ChangeScope change(*db);
    for (long k = 0; k < 20000 && done < rows; ++k, ++done) {
      std::string name;
      for (int i = 0; i < 8; ++i) name += static_cast<char>((i == 0 ? 'A' : 'a') + (next() >> 8) % 26);
      w.insert({jet::Value(), jet::Value::text(name), jet::Value::text(kCities[(next() >> 8) % 16]),
                jet::Value::longInt(static_cast<int32_t>((next() >> 8) % 500)),
                jet::Value::dateTime(43000 + (next() >> 8) % 2000)});
    }
    change.commit();
  }
  std::printf("created %s: table Big, %ld rows\n", path, rows);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "--create") return createBig(argv[2], argc > 3 ? std::atol(argv[3]) : 1000000);
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_gui FILE [TABLE]\n");
    return 2;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication qapp(argc, argv);
  QTemporaryDir dir;
  app::initProgram((dir.path() + "/MDBGlimmer.ini").toStdString());
  // Edits go to a copy; the file given is never changed.
  const QString copy = dir.path() + "/bench_copy" + QFileInfo(QString::fromLocal8Bit(argv[1])).suffix().prepend('.');
  if (!QFile::copy(QString::fromLocal8Bit(argv[1]), copy)) {
    std::fprintf(stderr, "cannot copy %s\n", argv[1]);
    return 1;
  }
  QFile(copy).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  Quiet quiet;
  app::installModal(&quiet);
  Stall watch;
  stall = &watch;

  auto t0 = Clock::now();
  app::FrmDatavane w;
  w.formLoad(copy);
  w.resize(1280, 800);
  w.show();
  paint(&w);
  std::printf("open and list:            %8.1f ms\n", msSince(t0));

  int row = -1;
  for (int r = 1; r < w.grdFiles->rows(); ++r) {
    QString name = w.grdFiles->textMatrix(r, 0);
    if (argc > 2 ? name == QString::fromLocal8Bit(argv[2]) : !name.startsWith("MSys")) {
      row = r;
      break;
    }
  }
  if (row < 0) {
    std::fprintf(stderr, "no such table\n");
    return 1;
  }
  std::printf("table:                    %s (%s rows)\n", qPrintable(w.grdFiles->textMatrix(row, 0)),
              qPrintable(w.grdFiles->textMatrix(row, 1)));
  t0 = Clock::now();
  w.grdFiles->clickCell(row, 0);
  paint(&w);
  std::printf("choose (structure):       %8.1f ms\n", msSince(t0));

  watch.start();
  t0 = Clock::now();
  w.tab1->setCurrentIndex(1);
  paint(&w);
  std::printf("Grid View, first screen:  %8.1f ms (peak memory so far %.1f MB)   window blocked at most %.1f ms\n",
              msSince(t0), peakKb() / 1024.0, watch.stop());

  if (std::getenv("BENCH_ENGINE_FIRST")) {
    t0 = Clock::now();
    long long n = w.dta1.recordset()->countAll();
    std::printf("engine reads every row:   %8.1f ms (%lld rows, peak memory %.1f MB)\n", msSince(t0), n,
                peakKb() / 1024.0);
  }
  watch.start();
  t0 = Clock::now();
  w.grdData->setFocus();
  QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
  QApplication::sendEvent(w.grdData, &end);
  paint(&w);
  std::printf("jump to the last row:     %8.1f ms (row %d of %d)   window blocked at most %.1f ms   peak memory so far %.1f MB\n",
              msSince(t0), w.grdData->currentIndex().row() + 1, w.grdData->rows() - 1, watch.stop(), peakKb() / 1024.0);

  t0 = Clock::now();
  w.dta1.recordset()->MoveLast();
  paint(&w);
  std::printf("MoveLast (all rows read): %8.1f ms (%lld records)\n", msSince(t0),
              static_cast<long long>(w.dta1.recordset()->RecordCount()));

  for (int t : {2, 3, 1, 0}) {
    t0 = Clock::now();
    w.tab1->setCurrentIndex(t);
    paint(&w);
    std::printf("switch to tab %d:          %8.1f ms\n", t, msSince(t0));
  }
  runEditing(w, argc > 3 ? argv[3] : "City", argc > 4 ? argv[4] : "Name");
  std::printf("peak memory of the window: %7.1f MB (engine-alone runs in child processes, not counted)\n", peakKb() / 1024.0);
  app::installModal(nullptr);
  return 0;
}
