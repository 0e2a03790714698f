// glimmer-cli create / sample / sql on .accdb files: the name and --format
// choose the version, the data-definition statements work in new files and
// in copies of real ones, and both our check and mdbtools read the result.
#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

std::string cli() { return testsupport::binDir() + "/glimmer-cli"; }

int runCli(const std::string& args, std::string* out, std::string* err = nullptr) {
  std::string errFile = testsupport::tempDir() + "/err.txt";
  int rc = testsupport::run(cli() + " " + args + " 2>" + errFile, out);
  if (err) *err = testsupport::readFile(errFile);
  return rc;
}

std::string sh(const std::string& cmd) {
  std::string out;
  testsupport::run(cmd, &out);
  return out;
}

void sqlOk(const std::string& file, const std::string& stmt) {
  std::string out, err;
  EXPECT_EQ(0, runCli("sql '" + file + "' \"" + stmt + "\"", &out, &err)) << stmt << "\n" << err;
}

}  // namespace

TEST(CliCreateAccdb, NameAndFormatChooseTheVersion) {
  std::string dir = testsupport::tempDir();
  std::string out, err;
  ASSERT_EQ(0, runCli("create '" + dir + "/a.accdb'", &out, &err)) << err;
  EXPECT_EQ("created " + dir + "/a.accdb\n", out);
  ASSERT_EQ(0, runCli("create --format 2019 '" + dir + "/b.accdb'", &out, &err)) << err;
  ASSERT_EQ(0, runCli("create '" + dir + "/c.accdb' --format=2016", &out, &err)) << err;
  ASSERT_EQ(0, runCli("create '" + dir + "/d.mdb'", &out, &err)) << err;
  ASSERT_EQ(0, runCli("schema '" + dir + "/b.accdb'", &out, &err)) << err;
  EXPECT_NE(std::string::npos, out.find("V2019 [VERSION_17]")) << out;
  ASSERT_EQ(0, runCli("schema '" + dir + "/a.accdb'", &out, &err)) << err;
  EXPECT_NE(std::string::npos, out.find("V2007 [VERSION_12]")) << out;
  for (const char* f : {"a.accdb", "b.accdb", "c.accdb", "d.mdb"}) {
    EXPECT_EQ(0, runCli("check --strict '" + dir + "/" + f + "'", &out, &err)) << f << out << err;
    EXPECT_EQ("ok\n", out);
  }
  // Formats that do not fit the name, and unknown ones, are refused before
  // anything is written.
  EXPECT_EQ(1, runCli("create --format 2019 '" + dir + "/e.mdb'", &out, &err));
  EXPECT_EQ(0u, err.find("Error 3251: ")) << err;
  EXPECT_EQ(1, runCli("create --format 2000 '" + dir + "/f.accdb'", &out, &err));
  EXPECT_EQ(0u, err.find("Error 3251: ")) << err;
  EXPECT_EQ(1, runCli("create --format 1997 '" + dir + "/g.accdb'", &out, &err));
  EXPECT_EQ(0u, err.find("Error 3251: ")) << err;
  EXPECT_EQ(1, runCli("create '" + dir + "/a.accdb'", &out, &err)) << "an existing file was overwritten";
  EXPECT_EQ(0u, err.find("Error 3204: ")) << err;
  for (const char* f : {"e.mdb", "f.accdb", "g.accdb"})
    EXPECT_FALSE(testsupport::run("test -e '" + dir + "/" + f + "'") == 0) << f;
  if (!testsupport::haveCommand("mdb-ver")) GTEST_SKIP() << "mdbtools not installed";
  EXPECT_EQ("ACE12\n", sh("mdb-ver '" + dir + "/a.accdb'"));
  EXPECT_EQ("ACE17\n", sh("mdb-ver '" + dir + "/b.accdb'"));
  EXPECT_EQ("ACE16\n", sh("mdb-ver '" + dir + "/c.accdb'"));
  EXPECT_EQ("JET4\n", sh("mdb-ver '" + dir + "/d.mdb'"));
}

TEST(CliCreateAccdb, DataDefinitionInNewFilesAndNewerTypesOnlyIn2019) {
  std::string dir = testsupport::tempDir();
  std::string f07 = dir + "/new07.accdb", f19 = dir + "/new19.accdb", out, err;
  ASSERT_EQ(0, runCli("create '" + f07 + "'", &out));
  ASSERT_EQ(0, runCli("create --format 2019 '" + f19 + "'", &out));
  for (const std::string& f : {f07, f19}) {
    sqlOk(f, "CREATE TABLE People (ID COUNTER CONSTRAINT pk PRIMARY KEY, Name TEXT(40) NOT NULL, "
             "Born DATETIME, Paid CURRENCY, Notes MEMO, Flag YESNO)");
    sqlOk(f, "INSERT INTO People (Name, Born, Paid, Notes, Flag) VALUES ('Zoë', #1990-05-17#, 12.5, 'long text', True)");
    sqlOk(f, "INSERT INTO People (Name, Paid) VALUES ('Adam', -3)");
    sqlOk(f, "CREATE UNIQUE INDEX ByName ON People (Name DESC)");
    sqlOk(f, "ALTER TABLE People ADD COLUMN Age SHORT");
    sqlOk(f, "ALTER TABLE People DROP COLUMN Notes");
    sqlOk(f, "CREATE TABLE Scratch (X LONG)");
    sqlOk(f, "DROP TABLE Scratch");
    EXPECT_EQ(1, runCli("sql '" + f + "' \"INSERT INTO People (Name) VALUES ('Adam')\"", &out, &err));
    EXPECT_EQ(0u, err.find("Error 3022")) << err;
  }
  // Big Integer and Date/Time Extended: refused in the 2007 file, the file unchanged.
  std::string before = testsupport::readFile(f07);
  EXPECT_EQ(1, runCli("sql '" + f07 + "' \"CREATE TABLE Big (N BIGINT)\"", &out, &err));
  EXPECT_EQ(0u, err.find("Error 3259: ")) << err;
  EXPECT_EQ(1, runCli("sql '" + f07 + "' \"ALTER TABLE People ADD COLUMN W DATETIME2\"", &out, &err));
  EXPECT_EQ(0u, err.find("Error 3259: ")) << err;
  EXPECT_EQ(before, testsupport::readFile(f07));
  sqlOk(f19, "CREATE TABLE Big (N BIGINT CONSTRAINT pk PRIMARY KEY, W DATETIME2, T TEXT(5))");
  sqlOk(f19, "INSERT INTO Big VALUES (-4611686018427387904, '2019-12-31 23:59:59.1234567', 'a')");
  sqlOk(f19, "INSERT INTO Big VALUES (42, '0001-01-01', 'b')");
  ASSERT_EQ(0, runCli("rows '" + f19 + "' Big", &out, &err)) << err;
  EXPECT_EQ("## Big\n-4611686018427387904\t2019-12-31 23:59:59.1234567\ta\n42\t0001-01-01 00:00:00\tb\n", out);
  for (const std::string& f : {f07, f19}) {
    EXPECT_EQ(0, runCli("check --strict '" + f + "'", &out, &err)) << f << out << err;
    ASSERT_EQ(0, runCli("rows '" + f + "' People", &out, &err)) << err;
    EXPECT_EQ("## People\n1\tZoë\t1990-05-17 00:00:00\t12.5000\ttrue\tNULL\n2\tAdam\tNULL\t-3.0000\tfalse\tNULL\n", out);
  }
  if (!testsupport::haveCommand("mdb-export")) GTEST_SKIP() << "mdbtools not installed";
  for (const std::string& f : {f07, f19}) {
    EXPECT_EQ("ID,Name,Born,Paid,Flag,Age\n1,\"Zoë\",\"05/17/90 00:00:00\",12.5000,1,\n2,\"Adam\",,-3.0000,0,\n",
              sh("mdb-export '" + f + "' People"));
    std::string tables = sh("mdb-tables -1 '" + f + "'");
    EXPECT_NE(std::string::npos, tables.find("People")) << tables;
    EXPECT_EQ(std::string::npos, tables.find("Scratch")) << tables;
  }
}

TEST(CliCreateAccdb, SampleInAccdbAndDataDefinitionInCopiesOfRealFiles) {
  std::string dir = testsupport::tempDir();
  std::string out, err;
  ASSERT_EQ(0, runCli("sample '" + dir + "/s.accdb'", &out, &err)) << err;
  ASSERT_EQ(0, runCli("sample --format 2019 '" + dir + "/s19.accdb'", &out, &err)) << err;
  for (const char* f : {"s.accdb", "s19.accdb"}) {
    EXPECT_EQ(0, runCli("check --strict '" + dir + "/" + f + "'", &out, &err)) << f << out << err;
    ASSERT_EQ(0, runCli("queries '" + dir + "/" + f + "'", &out, &err)) << err;
    EXPECT_NE(std::string::npos, out.find("-- Order Lines [SELECT]")) << out;
  }
  ASSERT_EQ(0, runCli("rows '" + dir + "/s19.accdb' Readings", &out, &err)) << err;
  EXPECT_NE(std::string::npos, out.find("2\tSouth\t-9223372036854775808\t0001-01-01 00:00:00\n")) << out;
  // SELECT ... INTO keeps Big Integer values whole in a file that has the type.
  sqlOk(dir + "/s19.accdb", "SELECT Meter, Total INTO Copied FROM Readings");
  ASSERT_EQ(0, runCli("rows '" + dir + "/s19.accdb' Copied", &out, &err)) << err;
  EXPECT_NE(std::string::npos, out.find("North\t9223372036854775807\n")) << out;
  SKIP_WITHOUT_SHARED();
  for (const char* fx : {"ace/testV2007.accdb", "ace/queryTestV2010.accdb", "ace/bigintV2016.accdb",
                         "jet3/testV1997.mdb", "jet3/indexTestV1997.mdb"}) {
    std::string f = testsupport::copyToTemp(testsupport::fixture(fx));
    sqlOk(f, "CREATE TABLE Fresh (ID COUNTER CONSTRAINT pk PRIMARY KEY, Label TEXT(10), Amount DOUBLE)");
    sqlOk(f, "INSERT INTO Fresh (Label, Amount) VALUES ('première', 2.5)");
    sqlOk(f, "CREATE INDEX ByLabel ON Fresh (Label)");
    sqlOk(f, "ALTER TABLE Fresh ADD COLUMN Extra TEXT(3)");
    EXPECT_EQ(0, runCli("check --strict '" + f + "'", &out, &err)) << fx << out << err;
    if (testsupport::haveCommand("mdb-export")) {
      EXPECT_EQ("ID,Label,Amount,Extra\n1,\"première\",2.5,\n", sh("mdb-export '" + f + "' Fresh")) << fx;
    }
    sqlOk(f, "DROP TABLE Fresh");
    EXPECT_EQ(0, runCli("check --strict '" + f + "'", &out, &err)) << fx << out << err;
  }
  // A Big Integer field added to the 2016 file's table, which already has one.
  std::string big = testsupport::copyToTemp(testsupport::fixture("ace/bigintV2016.accdb"));
  sqlOk(big, "ALTER TABLE [Table] ADD COLUMN More BIGINT");
  sqlOk(big, "UPDATE [Table] SET More = 9000000000");
  ASSERT_EQ(0, runCli("rows '" + big + "' Table", &out, &err)) << err;
  EXPECT_NE(std::string::npos, out.find("\t9000000000\n")) << out;
  EXPECT_EQ(0, runCli("check --strict '" + big + "'", &out, &err)) << out << err;
}
