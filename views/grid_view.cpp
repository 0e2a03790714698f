// frmDatavane: the grid view (binding the chosen object to the data control
// and the data grid) and the column pick on the files page.
#include <QLabel>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/grid/recordset_model.h"
#include "app/modal.h"
#include "views/filter_statement.h"

namespace app {

void FrmDatavane::subFillData() {
  try {
    const QString name = currentObjectName();
    lblTable->setText((blnIsTable ? QStringLiteral("Current Table: ") : QStringLiteral("Current Query: ")) +
                      name);
    placeCaption();
    dta1.RecordSource = views::plainStatement(name).toStdString();
    navigation_.forgetFilter();
    sortColumn_ = -1;
    dta1.Refresh();
    dao::Recordset* rs = dta1.recordset();
    // An object without rows shows its headings and no rows.
    if (rs && rs->RecordCount() > 0) rs->MoveFirst();
    grdData->setDisplayMode(1);
    // Columns fit the rows read so far, none wider than 4,500 twips.
    grdData->autoSize(0, grdData->cols() - 1, true, 4500);
    grdData->refresh();
  } catch (const dao::Error& e) {
    // The grid never keeps another object's rows under the new caption.
    dta1.dropRecordset();
    modal().message(this, errorSpaced(e.number(), QString::fromStdString(e.what())), QString(),
                    Buttons::Ok, Icon::None);
  }
}

void FrmDatavane::grdFields_DblClick() {
  const QString text = grdFields->text();
  for (int i = 1; i < grdFieldsSelectedx->rows(); ++i) {
    if (grdFieldsSelectedx->textMatrix(i, 0) == text) {
      modal().message(this, QStringLiteral("Field already selected"), QStringLiteral("Already selected"),
                      Buttons::Ok);
      return;
    }
  }
  grdFieldsSelectedx->addItem(text);
}

void FrmDatavane::cmd_Click(int) {}

}  // namespace app
