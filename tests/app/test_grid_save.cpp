// The grid's comma-separated save: the program's one CSV writer underneath
// (RFC 4180 quoting, CRLF, UTF-8), the heading row first when asked, and
// false for a file that cannot be written.
#include <gtest/gtest.h>

#include "app/grid/grid.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

TEST(GridSave, QuotesAsTheCsvWriterDoesWithHeadingsFirst) {
  apptest::ensureApp();
  app::Grid g;
  g.setFormatString(QStringLiteral("<Name|>Amount|<Note"));
  g.addItem(QStringLiteral("Smith, J.\t12\tsays \"hi\""));
  g.addItem(QStringLiteral("line\nbreak\t 3\tZoë"));
  g.addItem(QStringLiteral("\t\t"));
  std::string dir = testsupport::tempDir();
  std::string path = dir + "/grid.csv";
  ASSERT_TRUE(g.saveGrid(QString::fromStdString(path), 3, true));
  EXPECT_EQ(testsupport::readFile(path),
            "Name,Amount,Note\r\n"
            "\"Smith, J.\",12,\"says \"\"hi\"\"\"\r\n"
            "\"line\nbreak\",\" 3\",Zo\xc3\xab\r\n"
            ",,\r\n");
  // Without the fixed cells the heading row is left out; an existing file
  // is replaced whole.
  ASSERT_TRUE(g.saveGrid(QString::fromStdString(path), 3, false));
  EXPECT_EQ(testsupport::readFile(path).substr(0, 13), "\"Smith, J.\",1");
  EXPECT_EQ(testsupport::readFile(path).find("Name,"), std::string::npos);

  EXPECT_FALSE(g.saveGrid(QString::fromStdString(dir + "/no/such/grid.csv"), 3, true));
  EXPECT_FALSE(g.saveGrid(QString::fromStdString(dir + "/other.csv"), 1, true));
}
