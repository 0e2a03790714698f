// A sorted result of a large table keeps few of its rows' values: rows past
// the window's budget are read again through their RowIds. They must be the
// same rows, in the same order, as the engine's cursor keeping every value.
#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/dao.h"
#include "catalogue/recordset.h"
#include "sql/engine.h"
#include "support/test_support.h"

TEST(RecordsetMemory, SortedRowsPastTheKeptOnesAreTheEngineRows) {
  SKIP_WITHOUT_SHARED();
  const std::string path = testsupport::sharedDir() + "/bench/big200k.mdb";
  if (!std::filesystem::exists(path)) GTEST_SKIP() << "bench/big200k.mdb is absent";
  auto db = dao::DBEngine::OpenDatabase(path);
  std::string probe;
  {
    dao::Recordset all(*db, "Select * from [Big]");
    ASSERT_GE(all.fieldCount(), 2);
    probe = all.Fields()[1].Name;
  }
  const std::string statement = "Select * from [Big] ORDER BY [" + probe + "] DESC";
  dao::Recordset window(*db, statement);
  auto engine = sql::openRecordset(db->engine(), statement, {}, size_t{1} << 30);
  ASSERT_TRUE(window.Updatable());
  const int64_t n = window.countAll();
  ASSERT_EQ(n, static_cast<int64_t>(engine->fetchAll()));
  ASSERT_EQ(n, 200000);
  // Far more rows than the budget holds: the later rows are read again.
  for (int64_t row = 0; row < n; row += row < 2000 ? 1 : 997) {
    const auto& expected = engine->row(static_cast<size_t>(row));
    for (int c = 0; c < window.fieldCount(); ++c)
      ASSERT_TRUE(window.valueAt(row, c) == expected[static_cast<size_t>(c)]) << "row " << row << " field " << c;
  }
  window.setAbsolutePosition(n - 1);
  EXPECT_TRUE(window.value(0) == engine->row(static_cast<size_t>(n - 1))[0]);
}
