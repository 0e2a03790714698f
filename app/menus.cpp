#include "app/menus.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <QMenuBar>
#include <QToolButton>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/about.h"
#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/modal.h"
#include "app/print_preview.h"
#include "app/program.h"
#include "app/settings.h"
#include "catalogue/recordset.h"
#include "catalogue/row_stream.h"
#include "output/csv_writer.h"
#include "output/shown_csv.h"
#include "output/table_csv.h"

namespace app {

void buildMenus(FrmDatavane& w) {
  auto add = [](QMenu* m, const QString& caption, const char* name) {
    QAction* a = m->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    return a;
  };
  QMenuBar* bar = w.menuBar();
  bar->setAccessibleName(QStringLiteral("Menu bar"));
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("mnuFile"));
  file->setAccessibleName(QStringLiteral("File"));
  QObject::connect(add(file, QStringLiteral("Export to CSV"), "mnuExport"), &QAction::triggered, &w,
                   [&w] { mnuExport_Click(w); });
  QAction* print = add(file, QStringLiteral("Print current Table Structure"), "mnuPrintStructure");
  QObject::connect(print, &QAction::triggered, &w, [&w] { subPrintStructure(w); });
  QObject::connect(add(file, QStringLiteral("E&xit"), "mnuExit"), &QAction::triggered, &w,
                   [] { QCoreApplication::quit(); });

  QMenu* help = bar->addMenu(QStringLiteral("&Help && Options"));
  help->setObjectName(QStringLiteral("mnuHelp"));
  help->setAccessibleName(QStringLiteral("Help & Options"));
  QMenu* font = help->addMenu(QStringLiteral("Grid Font Size"));
  font->setObjectName(QStringLiteral("mnuFont"));
  font->setAccessibleName(QStringLiteral("Grid Font Size"));
  const char* sizes[3] = {"8", "10", "12"};
  for (int i = 0; i < 3; ++i) {
    QAction* a = add(font, QString::fromLatin1(sizes[i]), "");
    a->setObjectName(QStringLiteral("mnuFontSize_%1").arg(i));
    QObject::connect(a, &QAction::triggered, &w, [&w, i] { mnuFontSize_Click(w, i); });
  }
  QObject::connect(add(help, QStringLiteral("Help File"), "mnuHelpFile"), &QAction::triggered, &w,
                   [&w] { mnuHelpFile_Click(w); });
  QObject::connect(add(help, QStringLiteral("&About"), "mnuAbout"), &QAction::triggered, &w,
                   [&w] { showAbout(w); });

  // Record editing is reached through the record page's buttons.
  QMenu* edit = bar->addMenu(QStringLiteral("Table Edit"));
  edit->setObjectName(QStringLiteral("mnuTableEdit"));
  edit->setAccessibleName(QStringLiteral("Table Edit"));
  const char* edits[3] = {"Update Record", "Add Record", "Delete Record"};
  for (int i = 0; i < 3; ++i)
    add(edit, QString::fromLatin1(edits[i]), "")->setObjectName(QStringLiteral("mnuTableEdits_%1").arg(i));
  edit->menuAction()->setVisible(false);

  // The bar's own button for menus that do not fit a narrow window.
  if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button")))
    more->setAccessibleName(QStringLiteral("More menus"));
}

void mnuFontSize_Click(FrmDatavane& w, int index) {
  if (index < 0 || index > 2) return;
  const char* sizes[3] = {"8", "10", "12"};
  ProfileFile(program().strIniFile).write(kSettingsSection, "Fontsize", sizes[index]);
  program().intFontSize = static_cast<int16_t>(std::atoi(sizes[index]));
  subApplyFontSize(w);
}

QStringList helpFileCandidates(const QString& exeDir) {
  return {QDir(exeDir).filePath(QStringLiteral("glimmer-help.html")),
          QDir::cleanPath(exeDir + QStringLiteral("/../share/brackwell-glimmer/glimmer-help.html"))};
}

void mnuHelpFile_Click(FrmDatavane& w) { openHelpFile(w, QCoreApplication::applicationDirPath()); }

void openHelpFile(FrmDatavane& w, const QString& exeDir) {
  const QStringList places = helpFileCandidates(exeDir);
  for (const QString& p : places) {
    if (QFileInfo(p).isFile()) {
      if (!QDesktopServices::openUrl(QUrl::fromLocalFile(p)))
        modal().message(&w, QStringLiteral("The help file ") + p + QStringLiteral(" could not be opened."),
                        QString(), Buttons::Ok);
      return;
    }
  }
  modal().message(&w, QStringLiteral("The help file was not found: ") + places.join(QStringLiteral(" or ")),
                  QString(), Buttons::Ok);
}

QString withCsvSuffix(const QString& name) {
  if (name.isEmpty() || !QFileInfo(name).suffix().isEmpty()) return name;
  return name + QStringLiteral(".csv");
}

namespace {

// A file written under a temporary name beside its target and renamed over
// it by commit(); removed when not committed.
class PartFile {
 public:
  explicit PartFile(const std::string& target) : target_(target) {
    for (int n = 0; n < 1000; ++n) {
      part_ = target + ".part" + std::to_string(n);
      if (!std::filesystem::exists(part_)) break;
    }
    out.open(part_, std::ios::binary | std::ios::trunc);
    if (!out)
      throw dao::Error(dao::err::kCannotOpenFile, "The file '" + target + "' cannot be written.");
  }
  ~PartFile() {
    if (out.is_open()) out.close();
    if (!done_) std::remove(part_.c_str());
  }
  void commit() {
    out.close();
    if (!out) throw dao::Error(dao::err::kIoError, "The file '" + target_ + "' could not be written.");
    std::error_code ec;
    std::filesystem::rename(part_, target_, ec);
    if (ec) throw dao::Error(dao::err::kCannotOpenFile, "The file '" + target_ + "' cannot be replaced.");
    done_ = true;
  }
  std::ofstream out;

 private:
  std::string target_, part_;
  bool done_ = false;
};

struct Cancelled {};

// A cell as the grid shows it, in CSV form: formatted in place, the rare
// types whose text is a note (binary data, attachments) through displayText.
void appendShownCell(std::string& buf, const dao::Value& v) {
  if (!output::appendShownCsvValue(buf, v)) output::appendCsvField(buf, dao::displayText(v));
}

}  // namespace

void mnuExport_Click(FrmDatavane& w) {
  if (w.grdFields->rows() == 1) {
    modal().message(&w, QStringLiteral("You must first select a Table"), QStringLiteral("Error"),
                    Buttons::Ok);
    return;
  }
  try {
    QString name = modal().saveFile(&w, QString(), {QStringLiteral("CSV files (*.csv)")},
                                    QStringLiteral("*.csv"));
    // Cancel: nothing written, nothing shown.
    if (name.isEmpty() || name == QLatin1String("*.csv")) return;
    name = withCsvSuffix(name);
    // Another object was chosen and the grid not shown since: bring it up to
    // date, so the file holds the chosen object's rows.
    if (w.blnRefillGrid) {
      w.subFillData();
      w.blnRefillGrid = false;
    }
    dao::Recordset* shown = w.dta1.recordset();
    dao::Database* db = w.dta1.database();
    if (!shown || !db) return;  // subFillData has reported why
    PartFile file(name.toStdString());
    const std::string table = shown->wholeTable();
    if (!table.empty()) {
      // Every row of a table: converted from its pages on two threads, the
      // progress window kept up to date between blocks.
      std::unique_ptr<Progress> progress = modal().progress(
          &w, QStringLiteral("Exporting to CSV..."), QStringLiteral("Cancel"), 1000);
      output::TableCsvOptions o;
      o.cell = &appendShownCell;
      o.progress = [&progress](size_t done, size_t total) {
        progress->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
        return !progress->wasCanceled();
      };
      if (!output::writeTableCsv(db->engine(), table, file.out, o)) throw Cancelled{};
      progress.reset();
      file.commit();
      modal().message(&w, QStringLiteral("Save Complete"), QStringLiteral("Complete"), Buttons::Ok);
      return;
    }
    // A filter, a sort or a query: the rows in the grid's order, through
    // the same cells. A table's recordset keeps only the values of its first
    // rows (the rest are read again through their addresses), so it is read
    // directly, without moving its current record or sorting again; a
    // read-only result would keep every value it reads, so its statement is
    // read once more, forward only, keeping none.
    output::CsvWriter csv(file.out);
    for (const auto& f : shown->Fields()) csv.field(f.Name);
    csv.endRecord();
    const int64_t total = shown->countKnown() ? shown->RecordCount() : 0;
    std::unique_ptr<Progress> progress = modal().progress(
        &w, QStringLiteral("Exporting to CSV..."), QStringLiteral("Cancel"), total > 0 ? 1000 : 0);
    std::string& buf = csv.buffer();
    int64_t done = 0;
    auto put = [&](std::span<const dao::Value> values) {
      for (size_t c = 0; c < values.size(); ++c) {
        if (c) buf.push_back(',');
        appendShownCell(buf, values[c]);
      }
      buf += "\r\n";
      if (buf.size() >= output::CsvWriter::kBlock) csv.flush();
      if ((++done & 4095) == 0) {
        progress->setValue(total > 0 ? static_cast<int>(std::min<int64_t>(1000, done * 1000 / total)) : 0);
        if (progress->wasCanceled()) return false;
      }
      return true;
    };
    if (shown->Updatable()) {
      for (int64_t row = 0;; ++row) {
        const auto values = shown->rowValues(row);
        if (!values) break;
        if (!put(*values)) throw Cancelled{};
      }
    } else if (!dao::forEachRow(*db, shown->source(), put)) {
      throw Cancelled{};
    }
    csv.flush();
    progress.reset();
    file.commit();
    modal().message(&w, QStringLiteral("Save Complete"), QStringLiteral("Complete"), Buttons::Ok);
  } catch (const Cancelled&) {
    // The part file is removed; the target is untouched.
  } catch (const dao::Error& e) {
    modal().message(&w, QStringLiteral("Error ") + QString::number(e.number()) + QStringLiteral(" ") +
                            QString::fromStdString(e.what()),
                    QString(), Buttons::Ok);
  }
}

}  // namespace app
