#include "tests/views/views_support.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTabBar>
#include <gtest/gtest.h>

#include "app/grid/grid.h"
#include "app/modal.h"
#include "app/program.h"
#include "jet/create.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

namespace viewstest {

using jet::DataType;
using jet::Value;

std::string peopleDatabase() {
  static int n = 0;
  std::string path = testsupport::tempDir() + "/people" + std::to_string(++n) + ".mdb";
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"People",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Name", DataType::Text, 50),
                          jet::columnSpec("City", DataType::Text, 50),
                          jet::columnSpec("Age", DataType::Long),
                          jet::columnSpec("Born", DataType::DateTime),
                          jet::columnSpec("Notes", DataType::Memo)},
                         {jet::primaryKeySpec("ID")}});
  jet::createTable(*db, {"Odd Names",
                         {jet::columnSpec("First Name", DataType::Text, 50),
                          jet::columnSpec("Select", DataType::Long)},
                         {}});
  {
    jet::QuerySpec q;
    q.name = "qryCities";
    q.tables = {"People"};
    q.columns = {{"City", ""}};
    q.distinct = true;
    jet::createQuery(*db, q);
  }
  {
    jet::TableWriter w(*db, "People");
    jet::ChangeScope change(*db);
    struct P {
      const char* name;
      const char* city;
      int age;
    };
    const P people[] = {{"Anne", "Paris", 41}, {"Bruno", "Lyon", 35}, {"Chloé", "Paris", 28},
                        {"Denis", "Paris", 52}, {"x' or 'a'='a", "Lille", 30}, {"Emile", "Lyon", 19}};
    for (const P& p : people)
      w.insert({Value(), Value::text(p.name), Value::text(p.city), Value::longInt(p.age),
                Value::dateTime(30000.5), Value::memo("line one\nline two")});
    w.insert({Value(), Value::text("Nobody"), Value(), Value(), Value(), Value()});
    change.commit();
  }
  {
    jet::TableWriter w(*db, "Odd Names");
    jet::ChangeScope change(*db);
    w.insert({Value::text("Ann Marie"), Value::longInt(1)});
    w.insert({Value::text("Bob"), Value::longInt(2)});
    change.commit();
  }
  return path;
}

Window::Window(const std::string& file) {
  apptest::ensureApp();
  app::setApplicationTitle("Brackwell Glimmer");
  app::initProgram(apptest::tempIni());
  w = std::make_unique<app::FrmDatavane>();
  w->formLoad(QString::fromStdString(file));
  w->resize(1280, 800);
  w->show();
  apptest::pump();
}

void Window::chooseTable(const QString& name) {
  int r = apptest::findRow(w->grdFiles, name);
  ASSERT_GT(r, 0) << name.toStdString();
  apptest::click(w->grdFiles, r);
}

void Window::chooseQuery(const QString& name) {
  int r = apptest::findRow(w->grdQueries, name);
  ASSERT_GT(r, 0) << name.toStdString();
  apptest::click(w->grdQueries, r);
}

void Window::tab(int t) {
  w->tab1->setCurrentIndex(t);
  apptest::pump();
}

void Window::filterOn(const QString& field, const QString& value, const QString& op) {
  for (auto& r : w->fieldRows) {
    if (r.dataField == field) {
      r.txtField2->setText(value);
      r.cboEval->setCurrentText(op);
      int ix = r.cboEval->findText(op);
      if (ix >= 0) r.cboEval->setCurrentIndex(ix);
      return;
    }
  }
  ADD_FAILURE() << "no filter row for " << field.toStdString();
}

}  // namespace viewstest
