// frmDatavane: the per-field rows of the record panel (label and bound text
// box) and of the filter panel (label, operator list, value box), the three
// sort lists, panel scrolling and bringing a focused box into view.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "app/datavane.h"
#include "app/elided_label.h"
#include "app/grid/grid.h"
#include "app/modal.h"
#include "catalogue/recordset.h"

namespace app {

namespace {

const char* const kOperators[6] = {"=", "<", ">", "<>", ">=", "<="};

QString valueText(const dao::Value& v) { return QString::fromStdString(dao::displayText(v)); }

}  // namespace

void FrmDatavane::subLoadTextBoxRecord() {
  if (grdFields->text().isEmpty()) {
    modal().message(this, QStringLiteral("You must first select a file"), QStringLiteral("Error"),
                    Buttons::Ok, Icon::None);
    return;
  }
  dao::Recordset* rs = dta1.recordset();
  if (!rs) return;  // the grid view could not bind the object; it said why

  if (!fieldRows.empty()) {
    if (!rs->hasCurrent() && rs->RecordCount() == 0) {
      // No records: the boxes stay empty, ready for a first one.
      for (auto& r : fieldRows) r.txtField->clear();
      return;
    }
    try {
      for (int i = 0; i <= intLastField && i < static_cast<int>(fieldRows.size()); ++i) {
        dao::Value v = rs->value(i);
        if (!v.isNull()) fieldRows[i].txtField->setText(valueText(v));
      }
    } catch (const dao::Error& e) {
      modal().message(this, errorSpaced(e.number(), QString::fromStdString(e.what())),
                      QStringLiteral("Error"), Buttons::Ok, Icon::None);
    }
    return;
  }

  // Build one row per field. The rows are built from the fields also for an
  // empty recordset, so that a first record can be added.
  const auto& fields = rs->Fields();
  if (fields.empty()) return;
  intLastField = static_cast<int>(fields.size()) - 1;
  for (auto* c : cboSearch) {
    c->clear();
    c->setEditText(QString());
  }
  const int pageWidth = geo.pic1[2].width;
  QString failure;
  for (int i = 0; i <= intLastField; ++i) {
    FieldRow r;
    r.lblField = new ElidedLabel(picContainer[0]);
    r.lblField->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    r.txtField = new QLineEdit(picContainer[0]);
    r.lblField2 = new ElidedLabel(picContainer[1]);
    r.lblField2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    r.cboEval = new QComboBox(picContainer[1]);
    r.txtField2 = new QLineEdit(picContainer[1]);
    r.txtField->setObjectName(QStringLiteral("txtField_%1").arg(i));
    r.txtField2->setObjectName(QStringLiteral("txtField2_%1").arg(i));
    r.cboEval->setObjectName(QStringLiteral("cboEval_%1").arg(i));
    // Vertical placement: 200 for the first row, 350 below the row above.
    const int top = i == 0 ? rowTop(0) : fieldRows[i - 1].lbl.top + kRowStep;
    r.lbl = {0, top, 1920, 195};
    r.txt = {2160, top, 1335, 285};
    r.lbl2 = {120, top, 1920, 195};
    r.eval = {2040, top, 615, 315};
    r.txt2 = {2640, top, 1335, 285};
    for (const char* op : kOperators) r.cboEval->addItem(QString::fromLatin1(op));
    r.cboEval->setCurrentIndex(0);
    const QString name = QString::fromStdString(fields[i].Name);
    static_cast<ElidedLabel*>(r.lblField)->setCaption(name);
    r.dataField = name;
    static_cast<ElidedLabel*>(r.lblField2)->setCaption(name);
    for (auto* c : cboSearch) c->addItem(name);
    if (rs->hasCurrent()) {
      try {
        dao::Value v = rs->value(i);
        if (!v.isNull()) r.txtField->setText(valueText(v));
      } catch (const dao::Error& e) {
        if (failure.isEmpty()) failure = errorSpaced(e.number(), QString::fromStdString(e.what()));
      }
    }
    r.txt.left = 2000;
    r.lbl.left = 50;
    r.txt.width = pageWidth - r.txt.left - 300;
    r.txt2.left = 2000 + 700;
    r.lbl2.left = 50;
    r.txt2.width = 2000;
    // Values that cannot be typed (OLE, binary, attachments, counters,
    // calculated columns) are shown, never written back.
    if (rs->Updatable() && !rs->fieldUpdatable(i)) r.txtField->setReadOnly(true);
    r.txtField->setAccessibleName(name);
    r.lblField->setAccessibleName(name);
    r.lblField2->setAccessibleName(name);
    r.txtField2->setAccessibleName(name);
    r.cboEval->setAccessibleName(name);
    r.txtField->installEventFilter(this);
    r.txtField2->installEventFilter(this);
    for (QWidget* w : {static_cast<QWidget*>(r.cboEval), static_cast<QWidget*>(r.lblField),
                       static_cast<QWidget*>(r.txtField), static_cast<QWidget*>(r.lblField2),
                       static_cast<QWidget*>(r.txtField2)})
      w->show();
    fieldRows.push_back(r);
  }
  for (auto* c : cboSearch) c->setCurrentIndex(-1);
  geo.picContainer[0].height = fieldRows.back().lbl.top + 300;
  geo.picContainer[1].height = fieldRows.back().lbl2.top + 300;
  applyGeometry();
  if (!failure.isEmpty())
    modal().message(this, failure, QStringLiteral("Error"), Buttons::Ok, Icon::None);
}

void FrmDatavane::refreshBoundBoxes() {
  if (fieldRows.empty()) return;
  dao::Recordset* rs = dta1.recordset();
  for (auto& r : fieldRows) {
    QString text;
    if (rs && rs->hasCurrent()) {
      int col = rs->fieldIndex(r.dataField.toStdString());
      if (col >= 0) {
        try {
          text = valueText(rs->value(col));
        } catch (const dao::Error&) {
        }
      }
    }
    r.txtField->setText(text);
  }
}

void FrmDatavane::scr1_Change() {
  geo.picContainer[0].top =
      panelTopForScroll(geo.picContainer[0].height, geo.pic1[2].height, scr1->value());
  place(picContainer[0], geo.picContainer[0]);
}

void FrmDatavane::scr2_Change() {
  geo.picContainer[1].top =
      panelTopForScroll(geo.picContainer[1].height, geo.pic1[2].height, scr2->value());
  place(picContainer[1], geo.picContainer[1]);
}

void FrmDatavane::txtField_GotFocus(int index) {
  if (index < 0 || index >= static_cast<int>(fieldRows.size())) return;
  QLineEdit* box = fieldRows[index].txtField;
  box->setSelection(0, static_cast<int>(box->text().size()));
  geo.picContainer[0].top =
      panelTopForFocus(geo.pic1[2].height, fieldRows[index].txt.top, geo.picContainer[0].top);
  place(picContainer[0], geo.picContainer[0]);
}

void FrmDatavane::txtField2_GotFocus(int index) {
  if (index < 0 || index >= static_cast<int>(fieldRows.size())) return;
  QLineEdit* box = fieldRows[index].txtField2;
  box->setSelection(0, static_cast<int>(box->text().size()));
  geo.picContainer[1].top =
      panelTopForFocus(geo.pic1[2].height, fieldRows[index].txt2.top, geo.picContainer[1].top);
  place(picContainer[1], geo.picContainer[1]);
}

}  // namespace app
