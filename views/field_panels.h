// The per-field rows of the record panel (label and bound text box) and of
// the filter panel (label, operator list, value box), with the three sort
// lists: built from the fields of the data control's recordset the first
// time a data page is shown, refreshed from the current record afterwards,
// removed when another table or query is chosen. Built on the data control
// and the modal interface; the window owns the containers and places the
// rows from the twips positions kept here.
#pragma once

#include <QString>
#include <vector>

#include "app/layout.h"
#include "catalogue/data_control.h"
#include "views/bound_box.h"
#include "views/filter_statement.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QObject;
class QWidget;

namespace views {

// One generated row of the record panel and the filter panel: field i.
struct FieldRow {
  QLabel* lblField = nullptr;
  BoundBox* txtField = nullptr;  // multi-line for a memo field
  QLabel* lblField2 = nullptr;
  QComboBox* cboEval = nullptr;
  QLineEdit* txtField2 = nullptr;
  QString dataField;  // txtField's binding: the field name
  // Positions in twips inside the panels (a memo's box is taller, and the
  // record panel's rows below it move down).
  app::Twips lbl, txt, lbl2, eval, txt2;
};

class FieldPanels {
 public:
  // parent: the window message boxes belong to.
  FieldPanels(dao::DataControl& dta, QWidget* parent) : dta_(dta), parent_(parent) {}
  ~FieldPanels();
  FieldPanels(const FieldPanels&) = delete;
  FieldPanels& operator=(const FieldPanels&) = delete;

  // The record panel's and the filter panel's containers, the sort lists,
  // and the object told when a box gets the focus (its event filter).
  void attach(QWidget* recordPanel, QWidget* filterPanel, QComboBox* const sort[3], QObject* focusWatcher);

  // Element i = field i; empty when none are built.
  std::vector<FieldRow>& rows() { return rows_; }
  const std::vector<FieldRow>& rows() const { return rows_; }
  // Index of the last row (0 when none).
  int lastField() const { return rows_.empty() ? 0 : static_cast<int>(rows_.size()) - 1; }

  // Builds one row per field of the recordset the first time (also for an
  // empty recordset, so a first record can be added), the record boxes
  // pageWidth twips wide less their margins; afterwards shows the current
  // record's values. Failures reading a value are shown titled "Error".
  // Nothing happens without a recordset.
  void load(int pageWidth);
  // Every record box shows the current record ("" without one).
  void refresh();
  // Empties every record box (after a delete, for a new record).
  void clearRecordBoxes();
  // Removes every row.
  void clear();

  // Height in twips of a memo field's box in the record panel.
  static constexpr int kMemoHeight = 855;
  // Height in twips each panel needs for its rows.
  int recordHeight() const;
  int filterHeight() const;

  // The filter page's inputs: one condition per row in field order, and the
  // three sort lists' texts.
  std::vector<FilterCondition> conditions(int fieldCount) const;
  void sortFields(QString out[3]) const;

 private:
  dao::DataControl& dta_;
  QWidget* parent_;
  QWidget* panel_[2] = {};
  QComboBox* sort_[3] = {};
  QObject* focusWatcher_ = nullptr;
  std::vector<FieldRow> rows_;
};

}  // namespace views
