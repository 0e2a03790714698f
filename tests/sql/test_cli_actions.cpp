// glimmer-cli sql with action statements and saved queries: one line
// "N rows affected", the file changed on disk; failures leave it untouched
// and print the error's number.
#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

std::string cli() { return testsupport::binDir() + "/glimmer-cli"; }

int sh(const std::string& cmd, std::string* out = nullptr) {
  return testsupport::run(cmd + " 2>&1", out);
}

}  // namespace

TEST(CliActions, StatementsChangeTheFileAndReportTheirRows) {
  std::string db = testsupport::tempDir() + "/cli.mdb";
  ASSERT_EQ(sh(cli() + " create '" + db + "'"), 0);
  std::string out;
  ASSERT_EQ(sh(cli() + " sql '" + db + "' \"CREATE TABLE T (ID COUNTER PRIMARY KEY, Name TEXT(10) NOT NULL)\"", &out), 0)
      << out;
  EXPECT_EQ(out, "0 rows affected\n");
  ASSERT_EQ(sh(cli() + " sql '" + db + "' \"INSERT INTO T (Name) VALUES ('a')\"", &out), 0) << out;
  ASSERT_EQ(sh(cli() + " sql '" + db + "' \"INSERT INTO T (Name) SELECT Name & 'b' FROM T\"", &out), 0) << out;
  EXPECT_EQ(out, "1 rows affected\n");
  ASSERT_EQ(sh(cli() + " sql '" + db + "' \"UPDATE T SET Name = UCase(Name)\"", &out), 0) << out;
  EXPECT_EQ(out, "2 rows affected\n");
  ASSERT_EQ(sh(cli() + " sql '" + db + "' \"SELECT * FROM T\"", &out), 0);
  EXPECT_EQ(out, "ID\tName\n1\tA\n2\tAB\n");
  const std::string before = testsupport::readFile(db);
  // failures: the number is printed, nothing changes
  EXPECT_NE(sh(cli() + " sql '" + db + "' \"UPDATE T SET Name = Null\"", &out), 0);
  EXPECT_NE(out.find("Error 3314"), std::string::npos) << out;
  EXPECT_NE(sh(cli() + " sql '" + db + "' \"UPDATE T SET Name = \"", &out), 0);
  EXPECT_NE(out.find("Error 3075"), std::string::npos) << out;
  EXPECT_EQ(testsupport::readFile(db), before);
  ASSERT_EQ(sh(cli() + " check '" + db + "'", &out), 0) << out;
}

TEST(CliActions, SavedQueriesOfAnyTypeRunByName) {
  SKIP_WITHOUT_SHARED();
  std::string db = testsupport::copyToTemp(testsupport::fixture("jet4/queryTestV2000.mdb"));
  std::string out;
  ASSERT_EQ(sh(cli() + " sql '" + db + "' \"INSERT INTO Table1 VALUES ('zz', 'b', 'c')\"", &out), 0) << out;
  ASSERT_EQ(sh(cli() + " sql '" + db + "' --query DeleteQuery", &out), 0) << out;
  EXPECT_EQ(out, "1 rows affected\n");
  ASSERT_EQ(sh(cli() + " sql '" + db + "' --query SelectQuery", &out), 0) << out;
  EXPECT_EQ(out.substr(0, out.find('\n')), "Table1.col1\tTable1.col2\tTable1.col3\tTable2.col1\tTable2.col2\tTable3.col3");
  ASSERT_EQ(sh(cli() + " sql '" + db + "' --query DataDefinitionQuery", &out), 0) << out;
  ASSERT_EQ(sh(cli() + " sql '" + db + "' \"SELECT * FROM Table5\"", &out), 0) << out;
  EXPECT_EQ(out, "col1\tcol2\n");
  EXPECT_NE(sh(cli() + " sql '" + db + "' --query PassthroughQuery", &out), 0);
  EXPECT_NE(out.find("Error 3251"), std::string::npos) << out;
  EXPECT_NE(sh(cli() + " sql '" + db + "' --query Nowhere", &out), 0);
  EXPECT_NE(out.find("Error 3078"), std::string::npos) << out;
}
