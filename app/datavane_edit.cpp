// frmDatavane: the four editing buttons of the record page (Add New, Save
// New, Update Changes, Delete Record) and their browse and add states. The
// bound boxes hand their text to the recordset converted to each field's
// type; a box whose text still reads as the stored value is not written, so
// saving a record unchanged leaves every value exactly as it was.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/grid/recordset_model.h"
#include "app/modal.h"
#include "catalogue/field_text.h"
#include "catalogue/recordset.h"

namespace app {

namespace {
QString description(const dao::Error& e) { return QString::fromStdString(e.what()); }

// "Error" + blank before a non-negative number + number + " - " + description.
QString errorSpacedDash(int number, const QString& text) {
  return QStringLiteral("Error ") + (number >= 0 ? QStringLiteral(" ") : QString()) +
         QString::number(number) + QStringLiteral(" - ") + text;
}

QPushButton* editButton(QWidget* parent, const char* name, const char* tip, QStyle::StandardPixmap icon) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setIcon(parent->style()->standardIcon(icon));
  b->setToolTip(QString::fromLatin1(tip));
  b->setAccessibleName(QString::fromLatin1(tip));
  b->setFlat(false);
  return b;
}
}  // namespace

void FrmDatavane::buildEditButtons() {
  QWidget* page = pic1[2];
  cmdAddNew = editButton(page, "cmdAddNew", "Add New Record", QStyle::SP_FileIcon);
  cmdSaveNew = editButton(page, "cmdSaveNew", "Save New", QStyle::SP_DialogSaveButton);
  cmdUpdate = editButton(page, "cmdUpdate", "Update Changes", QStyle::SP_DialogApplyButton);
  cmdDelete = editButton(page, "cmdDelete", "Delete Record", QStyle::SP_TrashIcon);
  cmdSaveNew->hide();
  connect(cmdAddNew, &QPushButton::clicked, this, &FrmDatavane::cmdAddNew_Click);
  connect(cmdSaveNew, &QPushButton::clicked, this, &FrmDatavane::cmdSaveNew_Click);
  connect(cmdUpdate, &QPushButton::clicked, this, &FrmDatavane::cmdUpdate_Click);
  connect(cmdDelete, &QPushButton::clicked, this, &FrmDatavane::cmdDelete_Click);
}

void FrmDatavane::placeEditButtons() {
  const int lefts[4] = {4200, 4200, 4560, 4920};
  QPushButton* buttons[4] = {cmdAddNew, cmdSaveNew, cmdUpdate, cmdDelete};
  for (int i = 0; i < 4; ++i) {
    place(buttons[i], {lefts[i], 0, 255, 255});
    buttons[i]->resize(std::max(buttons[i]->width(), 22), std::max(buttons[i]->height(), 20));
    buttons[i]->raise();
  }
}

bool FrmDatavane::addState() const { return cmdSaveNew && !cmdSaveNew->isHidden(); }

void FrmDatavane::setAddState(bool add) {
  cmdAddNew->setVisible(!add);
  cmdSaveNew->setVisible(add);
  cmdUpdate->setVisible(!add);
  cmdDelete->setVisible(!add);
}

// The grid and the boxes after a change: the grid reads the result again.
void FrmDatavane::showEditedRecord() {
  dataModel_->reload();
  followCurrentRecord();
  refreshBoundBoxes();
}

namespace {
// Hands every box of a writable field to the pending record. In the add
// state every typed box counts; otherwise only boxes whose text no longer
// reads as the stored value.
void collectBoxes(const std::vector<FieldRow>& rows, dao::Recordset& rs, bool adding) {
  for (int i = 0; i < static_cast<int>(rows.size()) && i < rs.fieldCount(); ++i) {
    if (!rs.fieldUpdatable(i)) continue;
    const std::string typed = rows[i].txtField->text().toStdString();
    if (adding) {
      if (typed.empty()) continue;
    } else if (typed == dao::displayText(rs.value(i))) {
      continue;
    }
    rs.setValue(i, dao::valueFromText(typed, rs.Fields()[static_cast<size_t>(i)].Type));
  }
}
}  // namespace

void FrmDatavane::cmdAddNew_Click() {
  try {
    dao::Recordset* rs = dta1.recordset();
    if (!rs) throw dao::Error(dao::err::kNoCurrentRecord, "No current record.");
    rs->AddNew();
    setAddState(true);
    for (auto& r : fieldRows) r.txtField->clear();
    if (!fieldRows.empty()) fieldRows[0].txtField->setFocus();
  } catch (const dao::Error& e) {
    modal().message(this, views::errorPlain(e.number(), description(e)), QString(), Buttons::Ok,
                    Icon::None);
  }
}

void FrmDatavane::cmdSaveNew_Click() {
  try {
    dao::Recordset* rs = dta1.recordset();
    if (!rs || rs->editMode() != dao::Recordset::EditMode::Add)
      throw dao::Error(3020, "Update or CancelUpdate without AddNew or Edit.");
    collectBoxes(fieldRows, *rs, true);
    rs->Update();
    // The record stored: back to browsing, standing on it.
    setAddState(false);
    if (!rs->LastModified().empty()) rs->setBookmark(rs->LastModified());
    showEditedRecord();
  } catch (const dao::Error& e) {
    // A refused record stays in the add state with what was typed, so it
    // can be corrected and saved again; a save with nothing pending goes
    // back to browsing.
    dao::Recordset* rs = dta1.recordset();
    if (!rs || rs->editMode() != dao::Recordset::EditMode::Add) setAddState(false);
    modal().message(this, errorSpaced(e.number(), description(e)), QString(), Buttons::Ok, Icon::None);
  }
}

void FrmDatavane::cmdUpdate_Click() {
  dao::Recordset* rs = dta1.recordset();
  try {
    if (!rs) throw dao::Error(dao::err::kNoCurrentRecord, "No current record.");
    rs->Edit();
    collectBoxes(fieldRows, *rs, false);
    rs->Update();
    showEditedRecord();
  } catch (const dao::Error& e) {
    if (rs) rs->CancelUpdate();
    modal().message(this, errorSpaced(e.number(), description(e)), QString(), Buttons::Ok, Icon::None);
  }
}

void FrmDatavane::cmdDelete_Click() {
  try {
    dao::Recordset* rs = dta1.recordset();
    if (!rs) throw dao::Error(dao::err::kNoCurrentRecord, "No current record.");
    rs->Delete();
    dataModel_->reload();
    for (auto& r : fieldRows) r.txtField->clear();
  } catch (const dao::Error& e) {
    modal().message(this, errorSpacedDash(e.number(), description(e)), QString(), Buttons::Ok,
                    Icon::None);
  }
}

bool FrmDatavane::editCell(int row, int col, const QString& text) {
  dao::Recordset* rs = dta1.recordset();
  if (!rs) return false;
  try {
    if (rs->AbsolutePosition() != row) rs->setAbsolutePosition(row);
    const std::string typed = text.toStdString();
    if (typed == dao::displayText(rs->value(col))) return true;  // nothing changed
    rs->Edit();
    rs->setValue(col, dao::valueFromText(typed, rs->Fields()[static_cast<size_t>(col)].Type));
    rs->Update();
    // The grid reads the result again once the editor has closed.
    QTimer::singleShot(0, this, [this] { showEditedRecord(); });
    return true;
  } catch (const dao::Error& e) {
    rs->CancelUpdate();
    modal().message(this, errorSpaced(e.number(), description(e)), QString(), Buttons::Ok, Icon::None);
    return false;
  }
}

}  // namespace app
