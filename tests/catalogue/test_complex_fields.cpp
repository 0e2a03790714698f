// Attachment and multi-value fields through the recordsets the windows use:
// the file names or the values joined by "; ", in a table and in a query,
// never offered for editing, and an unchanged record stored without
// touching them; a damaged hidden table is an error for its field only.
#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/dao.h"
#include "catalogue/recordset.h"
#include "support/complex_damage.h"
#include "support/test_support.h"

namespace {

std::string shown(dao::Recordset& rs, int64_t row, const std::string& field) {
  int col = rs.fieldIndex(field);
  EXPECT_GE(col, 0) << field;
  return dao::displayText(rs.valueAt(row, col));
}

}  // namespace

TEST(ComplexFields, AttachmentFieldsShowTheirFileNamesJoined) {
  SKIP_WITHOUT_SHARED();
  auto db = dao::DBEngine::OpenDatabase(testsupport::fixture("ace/attachmentsV2016.accdb"));
  dao::Recordset rs(*db, "SELECT * FROM [Table1]");
  ASSERT_EQ(rs.countAll(), 3);
  EXPECT_EQ(shown(rs, 0, "Attachments"), "");
  EXPECT_TRUE(rs.valueAt(0, rs.fieldIndex("Attachments")).isNull());
  EXPECT_EQ(shown(rs, 1, "Attachments"), "attachment1.txt");
  EXPECT_EQ(shown(rs, 2, "Attachments"), "attachment1.txt; attachment2.txt; attachment3.txt");
  // The current record's value reads the same.
  rs.setAbsolutePosition(2);
  EXPECT_EQ(dao::displayText(rs.value(rs.fieldIndex("Attachments"))),
            "attachment1.txt; attachment2.txt; attachment3.txt");
  EXPECT_EQ(shown(rs, 2, "Comment"), "3 Attachments");
  EXPECT_FALSE(rs.fieldUpdatable(rs.fieldIndex("Attachments")));
}

TEST(ComplexFields, MultiValueAndHistoryFieldsShowTheirValuesJoinedInTablesAndQueries) {
  SKIP_WITHOUT_SHARED();
  auto db = dao::DBEngine::OpenDatabase(testsupport::fixture("ace/complexDataTestV2010.accdb"));
  {
    dao::Recordset rs(*db, "SELECT * FROM [Table1]");
    ASSERT_EQ(rs.countAll(), 4);
    const char* expected[4][3] = {{"", "", ""},
                                  {"value1; value4", "test_data.txt; test_data2.txt", "row2-memo"},
                                  {"value1; value2; value3; value4", "", "row3-memo; row3-memo-revised; row3-memo-again"},
                                  {"", "test_data2.txt", "row4-memo"}};
    for (int r = 0; r < 4; ++r) {
      EXPECT_EQ(shown(rs, r, "multi-value-data"), expected[r][0]) << r;
      EXPECT_EQ(shown(rs, r, "attach-data"), expected[r][1]) << r;
      EXPECT_EQ(shown(rs, r, "VersionHistory_F5F8918F-0A3F-4DA9-AE71-184EE5012880"), expected[r][2]) << r;
    }
    for (const char* f : {"multi-value-data", "attach-data"}) EXPECT_FALSE(rs.fieldUpdatable(rs.fieldIndex(f)));
  }
  {
    // A query naming the columns in another order, with a filter: each
    // field still finds its own hidden table.
    dao::Recordset rs(*db, "SELECT [attach-data] AS Files, id, [multi-value-data] FROM Table1 WHERE id = 'row2'");
    ASSERT_EQ(rs.countAll(), 1);
    EXPECT_EQ(dao::displayText(rs.valueAt(0, 0)), "test_data.txt; test_data2.txt");
    EXPECT_EQ(dao::displayText(rs.valueAt(0, 1)), "row2");
    EXPECT_EQ(dao::displayText(rs.valueAt(0, 2)), "value1; value4");
  }
}

TEST(ComplexFields, StoringAChangedRecordLeavesItsAttachmentsAndValuesAsTheyWere) {
  SKIP_WITHOUT_SHARED();
  const std::string file = testsupport::copyToTemp(testsupport::fixture("ace/complexDataTestV2010.accdb"));
  {
    auto db = dao::DBEngine::OpenDatabase(file);
    dao::Recordset rs(*db, "SELECT * FROM [Table1]");
    rs.setAbsolutePosition(1);
    rs.Edit();
    EXPECT_EQ(testsupport::errorOf([&] { rs.setValue(rs.fieldIndex("attach-data"), dao::Value::text("x.txt")); }),
              3164);
    rs.setValue(rs.fieldIndex("memo-data"), dao::Value::memo("changed memo"));
    rs.Update();
    EXPECT_EQ(dao::displayText(rs.value(rs.fieldIndex("memo-data"))), "changed memo");
    EXPECT_EQ(dao::displayText(rs.value(rs.fieldIndex("attach-data"))), "test_data.txt; test_data2.txt");
    EXPECT_EQ(dao::displayText(rs.value(rs.fieldIndex("multi-value-data"))), "value1; value4");
  }
  auto db = dao::DBEngine::OpenDatabase(file);
  dao::Recordset rs(*db, "SELECT * FROM [Table1] WHERE id = 'row2'");
  ASSERT_EQ(rs.countAll(), 1);
  EXPECT_EQ(shown(rs, 0, "memo-data"), "changed memo");
  EXPECT_EQ(shown(rs, 0, "attach-data"), "test_data.txt; test_data2.txt");
  EXPECT_EQ(shown(rs, 0, "multi-value-data"), "value1; value4");
}

TEST(ComplexFields, ADamagedHiddenTableIsError3049ForItsFieldAndTheOthersStillRead) {
  SKIP_WITHOUT_SHARED();
  const std::string file =
      complexdamage::damagedCopy("ace/complexDataTestV2010.accdb", [](std::string& bytes, jet::Database& db) {
        auto flat = complexdamage::flatTableOf(db, "Table1", "attach-data");
        ASSERT_NE(flat.tdefPage, 0u);
        std::memset(complexdamage::page(bytes, flat.tdefPage), 0, 4096);
      });
  auto db = dao::DBEngine::OpenDatabase(file);
  dao::Recordset rs(*db, "SELECT * FROM [Table1]");
  ASSERT_EQ(rs.countAll(), 4);
  const int at = rs.fieldIndex("attach-data");
  for (int r = 0; r < 4; ++r)
    EXPECT_EQ(testsupport::errorOf([&] { rs.valueAt(r, at); }), 3049) << r;
  EXPECT_EQ(shown(rs, 1, "multi-value-data"), "value1; value4");
  EXPECT_EQ(shown(rs, 1, "id"), "row2");
}
