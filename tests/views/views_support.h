// Databases the window tests build with the engine (no files from outside
// the checkout), and the main window opened on one of them.
#pragma once

#include <memory>
#include <string>

#include "app/datavane.h"
#include "tests/app/app_support.h"

namespace viewstest {

// A fresh Jet 4 file holding the table "People" (ID counter, Name, City,
// Age Long, Born DateTime, Notes Memo) with rows of Paris/Lyon people,
// including a name with a quote and Nulls, plus the table "Odd Names"
// whose columns are called "First Name" and "Select", and the saved query
// "qryCities" (SELECT DISTINCT City), a result that cannot be updated.
std::string peopleDatabase();

class Window {
 public:
  apptest::ScriptedModal modal;
  std::unique_ptr<app::FrmDatavane> w;
  explicit Window(const std::string& file);
  void chooseTable(const QString& name);
  void chooseQuery(const QString& name);
  void tab(int t);
  // Types the value and operator beside field name on the filter page.
  void filterOn(const QString& field, const QString& value, const QString& op = "=");
};

}  // namespace viewstest
