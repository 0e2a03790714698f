// glimmer-cli report FILE OUT.pdf [TABLE ...]: the structure printout of the
// named tables (every user table when none is named) into one PDF, laid out
// and drawn by the same code as the window's printout. Each table's printout
// numbers its own pages from 1. Needs no display: Qt's offscreen platform
// is used unless another is set.
#include <cstdio>
#include <ctime>
#include <memory>
#include <ostream>

#include "cli/commands.h"
#include "jet/error.h"

#ifdef GLIMMER_HAVE_REPORT
#include <QGuiApplication>

#include "catalogue/dao.h"
#include "output/report_painter.h"
#include "output/report_tables.h"
#endif

namespace cli {

int cmdReport(const Args& a, std::ostream& out) {
  if (a.positional.size() < 2) return 2;
#ifndef GLIMMER_HAVE_REPORT
  (void)out;
  throw jet::Error(jet::err::kNotSupported, "This glimmer-cli was built without the printout (Qt 6 is needed).");
#else
  const std::string& file = a.positional[0];
  const std::string& pdf = a.positional[1];
  auto db = dao::DBEngine::OpenDatabase(file, a.password.empty() ? "" : "MS Access;pwd=" + a.password);
  std::vector<std::string> tables(a.positional.begin() + 2, a.positional.end());
  if (tables.empty()) tables = output::userTables(*db);
  if (tables.empty()) throw jet::Error(jet::err::kItemNotFound, "The database '" + file + "' has no user tables.");

  std::unique_ptr<QGuiApplication> app;
  if (!QGuiApplication::instance()) {
    // Qt's notes about the desktop session (no runtime folder and the like)
    // mean nothing to a PDF; its critical messages still reach stderr.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& msg) {
      if (type == QtCriticalMsg || type == QtFatalMsg) fprintf(stderr, "%s\n", qPrintable(msg));
    });
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "glimmer-cli";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  std::time_t now = std::time(nullptr);
  std::tm when{};
  localtime_r(&now, &when);
  output::QtTextMetrics metrics;
  std::vector<output::ReportPage> pages;
  for (const auto& t : tables) {
    output::StructureSource src = output::tableStructure(*db, t);
    for (auto& p : output::layoutStructure(src, when, metrics)) pages.push_back(std::move(p));
  }
  db->Close();
  output::writeReportPdf(pdf, pages, "Field Definition");
  out << pdf << ": " << pages.size() << (pages.size() == 1 ? " page, " : " pages, ") << tables.size()
      << (tables.size() == 1 ? " table\n" : " tables\n");
  return 0;
#endif
}

}  // namespace cli
