// Calculated fields through the recordsets the window edits: a new record
// and a changed one get their calculated fields computed by the query
// engine, which the catalogue gives the database when it opens it; the
// fields themselves cannot be typed into.
#include <gtest/gtest.h>

#include "catalogue/dao.h"
#include "catalogue/recordset.h"
#include "support/test_support.h"

TEST(CalculatedFields, AddNewAndEditStoreFreshlyComputedValues) {
  SKIP_WITHOUT_SHARED();
  const std::string file = testsupport::copyToTemp(testsupport::fixture("ace/calcFieldTestV2010.accdb"));
  {
    auto db = dao::DBEngine::OpenDatabase(file);
    dao::Recordset rs(*db, "SELECT * FROM [Table1]");
    const int first = rs.fieldIndex("FirstName"), last = rs.fieldIndex("LastName"),
              salary = rs.fieldIndex("Salary"), lastFirst = rs.fieldIndex("LastFirst");
    EXPECT_FALSE(rs.fieldUpdatable(lastFirst));
    rs.AddNew();
    EXPECT_EQ(testsupport::errorOf([&] { rs.setValue(lastFirst, dao::Value::text("typed")); }), 3164);
    rs.setValue(first, dao::Value::text("Grace"));
    rs.setValue(last, dao::Value::text("Hopper"));
    rs.setValue(salary, dao::Value::currency(1500000000));
    rs.Update();
    EXPECT_EQ(dao::displayText(rs.value(lastFirst)), "Hopper, Grace");
    EXPECT_EQ(dao::displayText(rs.value(rs.fieldIndex("IsRich"))), "True");

    rs.Edit();
    rs.setValue(salary, dao::Value::currency(120000));
    rs.setValue(first, dao::Value::text("G."));
    rs.Update();
    EXPECT_EQ(dao::displayText(rs.value(lastFirst)), "Hopper, G.");
    EXPECT_EQ(dao::displayText(rs.value(rs.fieldIndex("IsRich"))), "False");
    EXPECT_EQ(dao::displayText(rs.value(rs.fieldIndex("MonthlySalary"))), "1");
  }
  auto db = dao::DBEngine::OpenDatabase(file);
  dao::Recordset rs(*db, "SELECT LastFirst, LastFirstLen, AllNames FROM [Table1] WHERE LastName = 'Hopper'");
  ASSERT_EQ(rs.countAll(), 1);
  EXPECT_EQ(dao::displayText(rs.valueAt(0, 0)), "Hopper, G.");
  EXPECT_EQ(dao::displayText(rs.valueAt(0, 1)), "10");
  EXPECT_EQ(dao::displayText(rs.valueAt(0, 2)), "Hopper, G.=Hopper, G.");
}
