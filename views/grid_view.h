// The grid view: binds the chosen table or query to the data control and the
// data grid ("Select * from [name]"), keeps the grid's current row and the
// recordset's current record one (mouse and keyboard alike), reads the
// result again after an edit, sorts by a clicked heading and stores cells
// edited in place. Built on the data control and the modal interface.
#pragma once

#include <QObject>
#include <QString>

#include "catalogue/data_control.h"

class QWidget;

namespace app {
class Grid;
class RecordsetModel;
}  // namespace app

namespace views {

class GridView : public QObject {
  Q_OBJECT

 public:
  // grid: the data grid, bound to a model of the data control's recordset
  // here. parent: the window message boxes belong to.
  GridView(dao::DataControl& dta, app::Grid* grid, QWidget* parent);
  ~GridView() override;

  app::RecordsetModel* model() const { return model_; }

  // The plain statement of objectName run and shown from its first record.
  // A refused statement is shown ("Error  N description") and leaves the
  // grid without rows. The heading sort starts afresh either way.
  bool fill(const QString& objectName);

  // The grid stands on the recordset's current record.
  void followCurrentRecord();
  // The result read again after a change, standing on the current record.
  void showEdited();
  // Columns fitted to the rows read so far, none wider than 4,500 twips.
  void fitColumns();

  // A heading click: the field of that column and the direction to sort by
  // (a second click on the same heading sorts descending, a third ascending
  // again). False for a column the recordset does not have.
  bool headingSort(int column, QString* field, bool* descending);

  // In-place edit of cell (row, col): the text converted to the field's type
  // and stored as Update Changes stores it. A refused edit is shown and the
  // cell keeps its stored value (false).
  bool editCell(int row, int col, const QString& text);

 signals:
  // After showEdited: the record panel shows the stored values too.
  void edited();

 private:
  void report(const dao::Error& e);

  dao::DataControl& dta_;
  app::Grid* grid_;
  QWidget* parent_;
  app::RecordsetModel* model_;
  int sortColumn_ = -1;
  bool sortDescending_ = false;
};

// The column pick of the files page: the column list's current text added
// to the picked list, or "Field already selected" when it is there.
void pickColumn(app::Grid* columns, app::Grid* picked, QWidget* parent);

}  // namespace views
