// Navigation and filtering on the data control: the four moves of the record
// page and the two filter buttons of the filter page (cmdRecord 0..5). Built
// on the data control and the modal interface only; the window hands in what
// its controls hold.
#pragma once

#include <QString>
#include <vector>

#include "catalogue/data_control.h"
#include "views/error_text.h"
#include "views/filter_statement.h"

class QWidget;

namespace views {

class Navigation {
 public:
  // parent: the window message boxes belong to.
  Navigation(dao::DataControl& dta, QWidget* parent) : dta_(dta), parent_(parent) {}

  // Buttons 0..3: MoveFirst, MovePrevious, MoveNext, MoveLast, passed to the
  // recordset without any test at the ends. A refused move shows
  // "Error N description" with the application's title; false then.
  bool move(int index);

  // Button 5: applies plainStatement(objectName) + filterClause(...) to the
  // data control. Returns the applied statement when it found records. When
  // none match, "No records meet these resctictions" titled "No Records
  // Returned" is shown and the empty result stays; a rejected statement
  // shows "Error N description" and stays in RecordSource. Both give "".
  QString applyFilter(const QString& objectName, const std::vector<FilterCondition>& conditions,
                      const QString sort[3]);

  // A heading click of the data grid: the current filter's rows ordered by
  // field (descending when asked). Returns the applied statement ("" when
  // the engine refused it, which was then shown).
  QString sortBy(const QString& objectName, const QString& field, bool descending);
  // Back to the plain statement: the next sort uses no filter.
  void forgetFilter() { where_.clear(); }

 private:
  void report(const dao::Error& e);
  QString where_;  // the WHERE part of the filter last applied
  dao::DataControl& dta_;
  QWidget* parent_;
};

}  // namespace views
