// frmDatavane: choosing a file, opening it (with the password dialogue) and
// listing its tables and queries.
#include <QFileInfo>
#include <QLineEdit>
#include <QLabel>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/modal.h"
#include "app/program.h"

namespace app {

namespace {
const char* const kPasswordTitle = "Password Required";
}

QStringList openFileFilters() {
  return {QStringLiteral("Microsoft Access (*.mdb)"),
          QStringLiteral("Microsoft Access 2007 and later (*.accdb)"),
          QStringLiteral("All files (*)")};
}

void FrmDatavane::cmdFindFile_Click() {
  QString start = QFileInfo(txtMDBFile->text()).absolutePath();
  QString chosen = modal().openFile(this, QStringLiteral("Open"), openFileFilters(), start);
  // Cancelling the dialog opens nothing: the lists and the open database stay.
  if (chosen.isEmpty()) return;
  txtMDBFile->setText(chosen);
  subOpenFile();
}

void FrmDatavane::subOpenFile() {
  const QString path = txtMDBFile->text();
  const std::string previousName = dta1.DatabaseName;
  const std::string previousSource = dta1.RecordSource;
  const bool hadDatabase = dta1.database() != nullptr;

  // Any failure other than a password leaves what was open before usable.
  auto fail = [&](int number, const QString& description) {
    dta1.DatabaseName = previousName;
    dta1.RecordSource = previousSource;
    if (hadDatabase) txtMDBFile->setText(QString::fromStdString(previousName));
    showError(errorDash(number, description), QStringLiteral("Error"));
  };
  // Giving up on the password: nothing is open afterwards.
  auto abandon = [&] {
    dta1.close();
    dta1.DatabaseName.clear();
    for (Grid* g : {grdFiles, grdQueries, grdIndexes, grdFields}) g->setRows(1);
  };

  QFileInfo info(path);
  if (path.isEmpty() || !info.exists() || !info.isFile()) {
    fail(dao::err::kFileNotFound, QStringLiteral("Could not find file '%1'.").arg(path));
    return;
  }
  dta1.DatabaseName = path.toStdString();
  // The new file runs none of the previous file's statements: the grid is
  // bound again when an object of the new file is chosen.
  dta1.RecordSource.clear();

  int intPasswordTries = 0;
  for (;;) {
    try {
      dta1.Refresh();
      break;
    } catch (const dao::Error& e) {
      if (e.number() != dao::err::kBadPassword) {
        fail(e.number(), QString::fromStdString(e.what()));
        return;
      }
    } catch (const std::exception& e) {
      fail(dao::err::kCorrupt, QString::fromStdString(e.what()));
      return;
    }
    if (intPasswordTries > 0) {
      Answer a = modal().message(this,
                                 QStringLiteral("Incorrect password.  Please click OK and try again."),
                                 QStringLiteral("Incorrect password"), Buttons::OkCancel);
      if (a == Answer::Cancel) {
        abandon();
        return;
      }
    }
    if (intPasswordTries == 0) {
      // The prompt is about the new file: the previous file's objects are
      // no longer shown beside it.
      for (Grid* g : {grdFiles, grdQueries, grdIndexes, grdFields}) g->setRows(1);
      lblTable->setText(QStringLiteral("Current Table:"));
    }
    ++intPasswordTries;
    setApplicationTitle(QString::fromLatin1(kPasswordTitle));
    QString answer = modal().input(
        this,
        QStringLiteral("This file (") + QString::fromStdString(dta1.DatabaseName) +
            QStringLiteral(") requires a password.  Please enter it now:"),
        QString::fromLatin1(kPasswordTitle), QString(), true);
    if (answer.isEmpty()) {
      abandon();
      return;
    }
    dta1.Connect = "MS Access;pwd=" + answer.toStdString();
  }

  // The new database is open: the lists show its objects from here on.
  for (Grid* g : {grdFiles, grdQueries, grdIndexes, grdFields}) g->setRows(1);
  lblTable->setText(QStringLiteral("Current Table:"));
  placeCaption();
  grdFiles->setColWidth(0, 2000);
  grdQueries->setColWidth(0, 2000);
  const dao::Database* db = dta1.database();
  for (const auto& t : db->TableDefs())
    grdFiles->addItem(QString::fromStdString(t.Name()) + QLatin1Char('\t') +
                      QString::number(t.RecordCount()));
  for (const auto& q : db->QueryDefs())
    grdQueries->addItem(QString::fromStdString(q.Name()) + QLatin1Char('\t'));
  grdFiles->setExtendLastCol(true);
  // Names are never cut after an opening: the columns fit them.
  grdFiles->autoSize(0, grdFiles->cols() - 1, true);
  grdQueries->autoSize(0, grdQueries->cols() - 1, true);
  grdFiles->refresh();
  subSaveDefaultFile(*this);
}

}  // namespace app
