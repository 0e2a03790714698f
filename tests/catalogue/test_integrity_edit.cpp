// The window's editing (AddNew / Edit / Update / Delete) keeps the
// relationships as SQL does: on a copy of the Jet 4 indexTest fixture
// (Table1.otherfk1 -> Table2.id cascading deletes, Table1.otherfk2 ->
// Table3.id cascading key changes) a refused edit leaves the file as it was
// and keeps its pending values; allowed ones cascade.
#include <gtest/gtest.h>

#include <string>

#include "catalogue/dao.h"
#include "catalogue/recordset.h"
#include "jet/check.h"
#include "jet/error.h"
#include "support/test_support.h"

namespace {

int64_t count(dao::Database& db, const std::string& stmt) {
  dao::Recordset rs(db, stmt);
  return rs.countAll();
}

void expectSound(dao::Database& db) {
  auto r = jet::checkDatabase(db.engine());
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}

}  // namespace

TEST(RecordsetIntegrity, RefusedEditsChangeNothingAndAllowedOnesCascade) {
  SKIP_WITHOUT_SHARED();
  std::string path = testsupport::copyToTemp(testsupport::fixture("jet4/indexTestV2000.mdb"));
  const std::string before = testsupport::readFile(path);
  {
    auto db = dao::DBEngine::OpenDatabase(path);
    dao::Recordset t3(*db, "SELECT * FROM Table3 ORDER BY id");
    const int id3 = t3.fieldIndex("id");
    t3.MoveFirst();
    t3.MoveNext();  // 11: used by two rows of Table1, key changes only
    ASSERT_EQ(t3.value(id3).asInt(), 11);
    EXPECT_EQ(testsupport::errorOf([&] { t3.Delete(); }), jet::err::kRelatedRecords);
    ASSERT_TRUE(t3.hasCurrent());

    dao::Recordset t1(*db, "SELECT * FROM Table1");
    t1.AddNew();
    t1.setValue(t1.fieldIndex("id"), jet::Value::longInt(8));
    t1.setValue(t1.fieldIndex("otherfk1"), jet::Value::longInt(99));
    EXPECT_EQ(testsupport::errorOf([&] { t1.Update(); }), jet::err::kRelatedRecordRequired);
    EXPECT_EQ(t1.editMode(), dao::Recordset::EditMode::Add);  // still pending: can be corrected
    t1.CancelUpdate();

    dao::Recordset t2(*db, "SELECT * FROM Table2 ORDER BY id");
    t2.MoveFirst();
    t2.MoveNext();  // 1: cascades deletes only
    t2.Edit();
    t2.setValue(t2.fieldIndex("id"), jet::Value::longInt(7));
    EXPECT_EQ(testsupport::errorOf([&] { t2.Update(); }), jet::err::kRelatedRecords);
    t2.CancelUpdate();
  }
  EXPECT_EQ(testsupport::readFile(path), before);

  auto db = dao::DBEngine::OpenDatabase(path);
  {
    dao::Recordset t1(*db, "SELECT * FROM Table1");
    t1.AddNew();
    t1.setValue(t1.fieldIndex("id"), jet::Value::longInt(8));
    t1.setValue(t1.fieldIndex("otherfk1"), jet::Value::longInt(99));
    EXPECT_EQ(testsupport::errorOf([&] { t1.Update(); }), jet::err::kRelatedRecordRequired);
    t1.setValue(t1.fieldIndex("otherfk1"), jet::Value());  // Null: not checked
    t1.setValue(t1.fieldIndex("otherfk2"), jet::Value::longInt(12));
    t1.Update();
  }
  {
    dao::Recordset t3(*db, "SELECT * FROM Table3 ORDER BY id");
    t3.MoveFirst();
    t3.MoveNext();
    t3.Edit();
    t3.setValue(t3.fieldIndex("id"), jet::Value::longInt(31));
    t3.Update();
  }
  EXPECT_EQ(count(*db, "SELECT * FROM Table1 WHERE otherfk2 = 31"), 2);
  {
    dao::Recordset t2(*db, "SELECT * FROM Table2 WHERE id = 1");
    t2.MoveFirst();
    t2.Delete();
  }
  EXPECT_EQ(count(*db, "SELECT * FROM Table1"), 3);
  EXPECT_EQ(count(*db, "SELECT * FROM Table1 WHERE otherfk2 = 31"), 0);
  expectSound(*db);
}
