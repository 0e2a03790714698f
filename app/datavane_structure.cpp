// frmDatavane: choosing a table or a query shows its structure on the files
// page (columns, indexes, the query's SQL) and resets the per-object state.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/modal.h"
#include "catalogue/dao.h"

namespace app {

namespace {
QString q(const std::string& s) { return QString::fromStdString(s); }
QString truth(bool b) { return b ? QStringLiteral("True") : QStringLiteral("False"); }
}  // namespace

void FrmDatavane::subResetForNewTable() {
  panels_.clear();
  intLastField = 0;
  grdIndexes->setRows(1);
  grdFields->setRows(1);
  if (cmdAddNew) cmdAddNew->setEnabled(true);
}

void FrmDatavane::grdFiles_Click() {
  subResetForNewTable();
  blnRefillGrid = true;
  blnIsTable = true;
  try {
    // The second connection carries the password the data control was
    // given, so a protected database shows its structure too.
    auto db = dao::DBEngine::OpenDatabase(txtMDBFile->text().toStdString(), dta1.Connect);
    const dao::TableDef& td = db->TableDefByName(grdFiles->textMatrix(grdFiles->row(), 0).toStdString());
    grdFields->setCols(4);
    const char* heads[4] = {"Name", "Type", "Size", "Required"};
    for (int c = 0; c < 4; ++c) grdFields->setTextMatrix(0, c, QString::fromLatin1(heads[c]));
    for (const auto& f : td.Fields())
      grdFields->addItem(q(f.Name) + '\t' + q(dao::typeName(f.Type)) + '\t' +
                         QString::number(f.Size) + '\t' + truth(f.Required));
    if (grdFields->rows() > 1)
      for (const auto& ix : td.Indexes())
        grdIndexes->addItem(q(ix.Name) + '\t' + q(ix.Fields) + '\t' + truth(ix.Required) + '\t' +
                            truth(ix.Primary) + '\t' + truth(ix.Unique));
    db->Close();
  } catch (const dao::Error& e) {
    grdIndexes->setRows(1);
    grdFields->setRows(1);
    showError(errorDash(e.number(), q(e.what())), QStringLiteral("Error"));
  }
  grdFields->autoSize(0, grdFields->cols() - 1, true);
  grdIndexes->autoSize(0, grdIndexes->cols() - 1, true);
}

void FrmDatavane::grdQueries_Click() {
  subResetForNewTable();
  blnIsTable = false;
  blnRefillGrid = true;
  const std::string name = grdQueries->textMatrix(grdQueries->row(), 0).toStdString();
  try {
    auto db = dao::DBEngine::OpenDatabase(txtMDBFile->text().toStdString(), dta1.Connect);
    const dao::QueryDef& qd = db->QueryDefByName(name);
    grdFields->setCols(6);
    const char* heads[6] = {"Source Table", "Source Field", "Name", "Type", "Size", "Required"};
    for (int c = 0; c < 6; ++c) grdFields->setTextMatrix(0, c, QString::fromLatin1(heads[c]));
    // Read the columns before the SQL box changes, so a query the engine
    // cannot compile still shows its text.
    std::string sqlText = qd.SQL();
    try {
      for (const auto& f : qd.Fields())
        grdFields->addItem(q(f.SourceTable) + '\t' + q(f.SourceField) + '\t' + q(f.Name) + '\t' +
                           q(dao::typeName(f.Type)) + '\t' + QString::number(f.Size) + '\t' +
                           truth(f.Required));
    } catch (const dao::Error&) {
      db->Close();
      txtQuery->setPlainText(q(sqlText));
      throw;
    }
    db->Close();
    if (dta1.database())
      txtQuery->setPlainText(q(dta1.database()->QueryDefByName(name).SQL()));
    else
      txtQuery->setPlainText(q(sqlText));
  } catch (const dao::Error& e) {
    grdFields->setRows(1);
    showError(errorDash(e.number(), q(e.what())), QStringLiteral("Error"));
  }
  grdFields->autoSize(0, grdFields->cols() - 1, true);
}

}  // namespace app
