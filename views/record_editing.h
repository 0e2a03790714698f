// Record editing on the record page: Add New, Save New, Update Changes and
// Delete Record on the data control's recordset, and the browse and add
// states of the four buttons. The bound boxes hand their text to the
// recordset converted to each field's type; a box whose text still reads as
// the stored value is not written, so saving a record unchanged leaves every
// value exactly as it was. No confirmation is asked anywhere. Built on the
// data control and the modal interface; the window owns the buttons.
#pragma once

#include <QString>

#include "catalogue/data_control.h"

class QWidget;

namespace views {

class FieldPanels;
class GridView;

class RecordEditing {
 public:
  struct Buttons {
    QWidget* addNew = nullptr;
    QWidget* saveNew = nullptr;
    QWidget* update = nullptr;
    QWidget* remove = nullptr;
  };
  // parent: the window message boxes belong to.
  RecordEditing(dao::DataControl& dta, FieldPanels& panels, GridView& grid, Buttons buttons, QWidget* parent)
      : dta_(dta), panels_(panels), grid_(grid), buttons_(buttons), parent_(parent) {}

  // Add New: a new record pending, the add state, the boxes emptied and the
  // focus in the first box. Refused: "Error N description", still browsing.
  void addNew();
  // Save New: the typed record stored and made current, back to browsing.
  // Refused: "Error  N description"; a record the table refused stays in the
  // add state with what was typed, so it can be corrected and saved again.
  void saveNew();
  // Update Changes: the edited boxes stored in the current record.
  // Refused: "Error  N description", nothing written.
  void update();
  // Delete Record: the current record removed at once.
  // Refused: "Error  N - description".
  void remove();

  // True between a successful Add New and the Save New that stores it.
  bool addState() const;
  void setAddState(bool add);

 private:
  void message(const QString& text);

  dao::DataControl& dta_;
  FieldPanels& panels_;
  GridView& grid_;
  Buttons buttons_;
  QWidget* parent_;
};

}  // namespace views
