// glimmer-cli as scripts use it: exit codes, one-line errors, options in any
// position, and the CSV it writes.
#include <gtest/gtest.h>

#include <sstream>

#include "support/test_support.h"

namespace {

std::string cli() { return testsupport::binDir() + "/glimmer-cli"; }

int runCli(const std::string& args, std::string* out, std::string* err = nullptr) {
  std::string errFile = testsupport::tempDir() + "/err.txt";
  int rc = testsupport::run(cli() + " " + args + " 2>" + errFile, out);
  if (err) *err = testsupport::readFile(errFile);
  return rc;
}

std::vector<std::string> lines(const std::string& s) {
  std::vector<std::string> out;
  std::istringstream in(s);
  std::string l;
  while (std::getline(in, l)) out.push_back(l);
  return out;
}

}  // namespace

TEST(Cli, FailuresExitNonZeroWithOneLineError) {
  std::string out, err;
  EXPECT_NE(runCli("tables /no/such/file.mdb", &out, &err), 0);
  EXPECT_EQ(err, "Error 3024: Could not find file '/no/such/file.mdb'.\n");
  EXPECT_NE(runCli("frobnicate x.mdb", &out, &err), 0);  // unknown command: usage
  EXPECT_NE(err.find("usage"), std::string::npos);
  EXPECT_EQ(0u, err.find("Error 3001: "));
  EXPECT_NE(runCli("", &out, &err), 0);
  EXPECT_EQ(0u, err.find("Error 3001: "));
  EXPECT_NE(runCli("tables", &out, &err), 0);  // missing file
  EXPECT_EQ(0u, err.find("Error 3001: "));
  EXPECT_NE(runCli("tables x.mdb --password", &out, &err), 0);
  EXPECT_EQ(err, "Error 3001: --password needs a value\n");
}

TEST(Cli, PasswordOptionBeforeOrAfterArguments) {
  SKIP_WITHOUT_SHARED();
  std::string f = testsupport::fixture("jet4/V2000_with-password.mdb");
  std::string a, b, err;
  EXPECT_EQ(runCli("--password password tables '" + f + "'", &a), 0);
  EXPECT_EQ(runCli("tables '" + f + "' --password password", &b), 0);
  EXPECT_EQ(a, b);
  EXPECT_NE(a.find("Table1\ttable\t"), std::string::npos) << a;
  EXPECT_NE(runCli("tables '" + f + "'", &a, &err), 0);
  EXPECT_EQ(err, "Error 3031: Not a valid password.\n");
}

TEST(Cli, TablesListSystemTablesAndQueries) {
  SKIP_WITHOUT_SHARED();
  std::string out;
  ASSERT_EQ(runCli("tables '" + testsupport::fixture("jet4/queryTestV2000.mdb") + "'", &out), 0);
  EXPECT_NE(out.find("MSysObjects\tsystem\t"), std::string::npos);
  EXPECT_NE(out.find("SelectQuery\tquery\t"), std::string::npos);
}

TEST(Cli, ExportWritesRfc4180Csv) {
  SKIP_WITHOUT_SHARED();
  std::string out;
  ASSERT_EQ(runCli("export '" + testsupport::fixture("jet4/testV2000.mdb") + "' Table1", &out), 0);
  auto ls = lines(out);
  ASSERT_EQ(ls.size(), 3u);
  EXPECT_EQ(ls[0], "A,B,C,D,E,F,G,H,I\r");
  EXPECT_EQ(ls[1], "abcdefg,hijklmnop,2,222,333333333,444.55500000000001,1974-09-21 00:00:00,3.5000,true\r");
  ASSERT_EQ(runCli("export '" + testsupport::fixture("jet4/queryTestV2000.mdb") + "' NoSuchTable", &out), 1);
}

TEST(Cli, ExportOfALargeTableEqualsTheRowDump) {
  SKIP_WITHOUT_SHARED();
  // The overflow fixture's rows come out in the same order in both forms.
  std::string f = testsupport::fixture("jet4/overflowTestV2000.mdb");
  std::string csv, dump;
  ASSERT_EQ(runCli("export '" + f + "' Table1", &csv), 0);
  ASSERT_EQ(runCli("rows '" + f + "' Table1", &dump), 0);
  auto c = lines(csv), d = lines(dump);
  ASSERT_EQ(c.size(), d.size());  // header line vs "## Table1"
  EXPECT_EQ(c[1], "row1col1,,,,,,,,\r");
}

TEST(Cli, SqlPrintsColumnNamesThenDumpRows) {
  SKIP_WITHOUT_SHARED();
  std::string f = testsupport::fixture("jet4/testV2000.mdb");
  std::string out, err;
  ASSERT_EQ(runCli("sql '" + f + "' \"Select A, B & '!' AS X, D * 2 FROM Table1 WHERE D > '100'\"", &out), 0);
  EXPECT_EQ(out, "A\tX\tExpr1002\nabcdefg\thijklmnop!\t444\n");
  // Parameters come from --param, in any position.
  ASSERT_EQ(runCli("sql --param Lim=1 '" + f + "' \"Select A FROM Table1 WHERE D < [Lim]\"", &out), 0);
  EXPECT_EQ(out, "A\na\n");
  EXPECT_NE(runCli("sql '" + f + "' \"Select A FROM Table1 WHERE D < [Lim]\"", &out, &err), 0);
  EXPECT_EQ(err, "Error 3061: Too few parameters. Expected 1.\n");
  // A saved query runs through Select * from [Name].
  std::string q = testsupport::fixture("jet4/queryTestV2000.mdb");
  ASSERT_EQ(runCli("sql '" + q + "' \"Select * from [SelectQuery]\"", &out, &err), 0) << err;
}
