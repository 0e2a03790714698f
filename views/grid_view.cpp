#include "views/grid_view.h"

#include <QAbstractItemView>
#include <QTimer>
#include <algorithm>

#include "app/long_work.h"
#include "app/grid/grid.h"
#include "app/grid/recordset_model.h"
#include "app/modal.h"
#include "catalogue/field_text.h"
#include "catalogue/recordset.h"
#include "views/error_text.h"
#include "views/filter_statement.h"

namespace views {

GridView::GridView(dao::DataControl& dta, app::Grid* grid, QWidget* parent)
    : dta_(dta), grid_(grid), parent_(parent), model_(new app::RecordsetModel(this)) {
  grid_->bindModel(model_);
  // Double-click or F2 edits a cell; Enter stores it as Update Changes does.
  grid_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  model_->setCellEditor([this](int row, int col, const QString& text) { return editCell(row, col, text); });
  // The data grid is bound both ways: a click makes that record current;
  // Ctrl+End reads the remaining rows (busy cursor) and goes to the last.
  connect(grid_, &app::Grid::cellClicked, this, [this] {
    dao::Recordset* rs = dta_.recordset();
    if (!rs || grid_->row() < 1) return;
    try {
      rs->setAbsolutePosition(grid_->row() - 1);
    } catch (const dao::Error&) {
    }
  });
  connect(grid_, &app::Grid::lastRowWanted, this, [this] {
    try {
      if (dao::Recordset* rs = model_->recordset()) app::runLongWork([rs] { rs->countAll(); });
      model_->fetchAll();
    } catch (const dao::Error& e) {
      report(e);
      return;
    }
    const int last = grid_->rows() - 1;
    grid_->widenToRows(last - 60, last, 4500);
  });
}

GridView::~GridView() { model_->setRecordset(nullptr); }

void GridView::report(const dao::Error& e) {
  app::modal().message(parent_, errorSpaced(e.number(), description(e)), QString(), app::Buttons::Ok,
                       app::Icon::None);
}

bool GridView::fill(const QString& objectName) {
  sortColumn_ = -1;
  try {
    dta_.RecordSource = plainStatement(objectName).toStdString();
    dta_.Refresh(app::runLongWork);
    dao::Recordset* rs = dta_.recordset();
    // An object without rows shows its headings and no rows.
    if (rs && rs->RecordCount() > 0) rs->MoveFirst();
    grid_->setDisplayMode(1);
    fitColumns();
    grid_->refresh();
    return true;
  } catch (const dao::Error& e) {
    // The grid never keeps another object's rows under the new caption.
    dta_.dropRecordset();
    report(e);
    return false;
  }
}

void GridView::fitColumns() { grid_->autoSize(0, grid_->cols() - 1, true, 4500); }

void GridView::followCurrentRecord() {
  dao::Recordset* rs = dta_.recordset();
  if (!rs || rs != model_->recordset()) return;
  int64_t pos = rs->AbsolutePosition();
  if (pos < 0) return;
  if (pos >= model_->rowCount()) model_->fetchTo(pos + 1);
  if (pos >= model_->rowCount()) return;
  grid_->setCol(std::max(0, grid_->currentIndex().column()));
  grid_->setRow(static_cast<int>(pos) + 1);
  // Rows far from the first screen may hold longer values than it did.
  grid_->widenToRows(static_cast<int>(pos) - 40, static_cast<int>(pos) + 1, 4500);
}

void GridView::showEdited() {
  model_->reload();
  followCurrentRecord();
  emit edited();
}

bool GridView::headingSort(int column, QString* field, bool* descending) {
  dao::Recordset* rs = dta_.recordset();
  if (!rs || column < 0 || column >= rs->fieldCount()) return false;
  sortDescending_ = column == sortColumn_ ? !sortDescending_ : false;
  sortColumn_ = column;
  *field = QString::fromStdString(rs->Fields()[static_cast<size_t>(column)].Name);
  *descending = sortDescending_;
  return true;
}

bool GridView::editCell(int row, int col, const QString& text) {
  dao::Recordset* rs = dta_.recordset();
  if (!rs) return false;
  try {
    if (rs->AbsolutePosition() != row) rs->setAbsolutePosition(row);
    const std::string typed = text.toStdString();
    if (typed == dao::displayText(rs->value(col))) return true;  // nothing changed
    rs->Edit();
    rs->setValue(col, dao::valueFromText(typed, rs->Fields()[static_cast<size_t>(col)].Type));
    rs->Update();
    // The grid reads the result again once the editor has closed.
    QTimer::singleShot(0, this, [this] { showEdited(); });
    return true;
  } catch (const dao::Error& e) {
    rs->CancelUpdate();
    report(e);
    return false;
  }
}

void pickColumn(app::Grid* columns, app::Grid* picked, QWidget* parent) {
  const QString text = columns->text();
  for (int i = 1; i < picked->rows(); ++i) {
    if (picked->textMatrix(i, 0) == text) {
      app::modal().message(parent, QStringLiteral("Field already selected"),
                           QStringLiteral("Already selected"), app::Buttons::Ok);
      return;
    }
  }
  picked->addItem(text);
}

}  // namespace views
