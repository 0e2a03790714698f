// frmDatavane: the data pages' procedures, each handing over to the part
// from views/ that does the work (grid view, per-field panels), with the
// window's own share: the caption, the panels' geometry and scrolling.
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/modal.h"

namespace app {

void FrmDatavane::subFillData() {
  const QString name = currentObjectName();
  lblTable->setText((blnIsTable ? QStringLiteral("Current Table: ") : QStringLiteral("Current Query: ")) + name);
  placeCaption();
  navigation_.forgetFilter();
  gridView_->fill(name);
}

void FrmDatavane::grdFields_DblClick() { views::pickColumn(grdFields, grdFieldsSelectedx, this); }

void FrmDatavane::cmd_Click(int) {}

void FrmDatavane::subLoadTextBoxRecord() {
  if (grdFields->text().isEmpty()) {
    modal().message(this, QStringLiteral("You must first select a file"), QStringLiteral("Error"),
                    Buttons::Ok, Icon::None);
    return;
  }
  const bool built = !fieldRows.empty();
  panels_.load(geo.pic1[2].width);
  intLastField = panels_.lastField();
  if (built || fieldRows.empty()) return;
  geo.picContainer[0].height = panels_.recordHeight();
  geo.picContainer[1].height = panels_.filterHeight();
  applyGeometry();
}

void FrmDatavane::scr1_Change() {
  geo.picContainer[0].top = panelTopForScroll(geo.picContainer[0].height, geo.pic1[2].height, scr1->value());
  place(picContainer[0], geo.picContainer[0]);
}

void FrmDatavane::scr2_Change() {
  geo.picContainer[1].top = panelTopForScroll(geo.picContainer[1].height, geo.pic1[2].height, scr2->value());
  place(picContainer[1], geo.picContainer[1]);
}

void FrmDatavane::txtField_GotFocus(int index) {
  if (index < 0 || index >= static_cast<int>(fieldRows.size())) return;
  fieldRows[index].txtField->selectAll();
  geo.picContainer[0].top = panelTopForFocus(geo.pic1[2].height, fieldRows[index].txt.top, geo.picContainer[0].top);
  place(picContainer[0], geo.picContainer[0]);
}

void FrmDatavane::txtField2_GotFocus(int index) {
  if (index < 0 || index >= static_cast<int>(fieldRows.size())) return;
  QLineEdit* box = fieldRows[index].txtField2;
  box->setSelection(0, static_cast<int>(box->text().size()));
  geo.picContainer[1].top = panelTopForFocus(geo.pic1[2].height, fieldRows[index].txt2.top, geo.picContainer[1].top);
  place(picContainer[1], geo.picContainer[1]);
}

}  // namespace app
