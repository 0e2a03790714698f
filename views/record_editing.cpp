#include "views/record_editing.h"

#include <QLineEdit>
#include <QWidget>

#include "app/grid/recordset_model.h"
#include "app/modal.h"
#include "catalogue/field_text.h"
#include "catalogue/recordset.h"
#include "views/error_text.h"
#include "views/field_panels.h"
#include "views/grid_view.h"

namespace views {

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

[[noreturn]] void noCurrent() { throw dao::Error(dao::err::kNoCurrentRecord, "No current record."); }
}  // namespace

void RecordEditing::message(const QString& text) {
  app::modal().message(parent_, text, QString(), app::Buttons::Ok, app::Icon::None);
}

bool RecordEditing::addState() const { return buttons_.saveNew && !buttons_.saveNew->isHidden(); }

void RecordEditing::setAddState(bool add) {
  buttons_.addNew->setVisible(!add);
  buttons_.saveNew->setVisible(add);
  buttons_.update->setVisible(!add);
  buttons_.remove->setVisible(!add);
}

void RecordEditing::addNew() {
  try {
    dao::Recordset* rs = dta_.recordset();
    if (!rs) noCurrent();
    rs->AddNew();
    setAddState(true);
    panels_.clearRecordBoxes();
    if (!panels_.rows().empty()) panels_.rows()[0].txtField->setFocus();
  } catch (const dao::Error& e) {
    message(errorPlain(e.number(), description(e)));
  }
}

void RecordEditing::saveNew() {
  try {
    dao::Recordset* rs = dta_.recordset();
    if (!rs || rs->editMode() != dao::Recordset::EditMode::Add)
      throw dao::Error(dao::err::kNoAddNewOrEdit, "Update or CancelUpdate without AddNew or Edit.");
    collectBoxes(panels_.rows(), *rs, true);
    rs->Update();
    // The record stored: back to browsing, standing on it.
    setAddState(false);
    if (!rs->LastModified().empty()) rs->setBookmark(rs->LastModified());
    grid_.showEdited();
  } catch (const dao::Error& e) {
    // A refused record stays in the add state with what was typed; a save
    // with nothing pending goes back to browsing.
    dao::Recordset* rs = dta_.recordset();
    if (!rs || rs->editMode() != dao::Recordset::EditMode::Add) setAddState(false);
    message(errorSpaced(e.number(), description(e)));
  }
}

void RecordEditing::update() {
  dao::Recordset* rs = dta_.recordset();
  try {
    if (!rs) noCurrent();
    rs->Edit();
    collectBoxes(panels_.rows(), *rs, false);
    rs->Update();
    grid_.showEdited();
  } catch (const dao::Error& e) {
    if (rs) rs->CancelUpdate();
    message(errorSpaced(e.number(), description(e)));
  }
}

void RecordEditing::remove() {
  try {
    dao::Recordset* rs = dta_.recordset();
    if (!rs) noCurrent();
    rs->Delete();
    grid_.model()->reload();
    panels_.clearRecordBoxes();
  } catch (const dao::Error& e) {
    message(errorSpacedDash(e.number(), description(e)));
  }
}

}  // namespace views
