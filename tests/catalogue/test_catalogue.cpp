// The data engine interface on the real fixtures: table and query
// definitions, fields, indexes, passwords, the data control's refresh and
// the recordset's moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <sstream>

#include "catalogue/dao.h"
#include "catalogue/data_control.h"
#include "catalogue/recordset.h"
#include "jet/create.h"
#include "jet/database.h"
#include "support/test_support.h"

namespace {

struct ExpectedCol {
  std::string name;
  int type, size;
  bool required;
};
struct ExpectedIdx {
  std::string name, fields;
  bool primary, unique, required;
};
struct ExpectedTable {
  int64_t rows = 0;
  std::vector<ExpectedCol> cols;
  std::vector<ExpectedIdx> idx;
};

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> out;
  std::stringstream ss(line);
  std::string part;
  while (std::getline(ss, part, '\t')) out.push_back(part);
  return out;
}

bool flag(const std::string& s) { return s.substr(s.find('=') + 1) == "true"; }

std::map<std::string, ExpectedTable> readSchema(const std::string& file) {
  std::map<std::string, ExpectedTable> out;
  std::stringstream in(testsupport::readFile(file));
  std::string line, table;
  while (std::getline(in, line)) {
    auto f = splitTabs(line);
    if (f.empty()) continue;
    if (f[0] == "table") {
      table = f[1];
      out[table].rows = std::stoll(f[2]);
    } else if (f[0] == "  col") {
      out[table].cols.push_back({f[1], std::stoi(f[2]), std::stoi(f[3]), flag(f[4])});
    } else if (f[0] == "  idx") {
      std::string fields = f[2];
      if (!fields.empty() && fields.back() == ';') fields.pop_back();
      out[table].idx.push_back({f[1], fields, flag(f[3]), flag(f[4]), flag(f[5])});
    }
  }
  return out;
}

std::string upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TEST(Catalogue, TableDefsFieldsAndIndexesMatchEveryFixture) {
  SKIP_WITHOUT_SHARED();
  int checked = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    std::string name = std::filesystem::path(rel).filename().string();
    std::string schema = testsupport::sharedDir() + "/fixtures/expected/" + name + ".schema.txt";
    if (!std::filesystem::exists(schema)) continue;
    SCOPED_TRACE(rel);
    std::string connect = name.find("with-password") != std::string::npos ? "MS Access;pwd=password" : "";
    auto db = dao::DBEngine::OpenDatabase(testsupport::fixture(rel), connect);
    auto expected = readSchema(schema);
    // Name order without regard to case, system tables included.
    const auto& defs = db->TableDefs();
    ASSERT_FALSE(defs.empty());
    for (size_t i = 1; i < defs.size(); ++i)
      EXPECT_LE(upper(defs[i - 1].Name()), upper(defs[i].Name()));
    EXPECT_TRUE(std::any_of(defs.begin(), defs.end(), [](const dao::TableDef& t) {
      return t.Name() == "MSysObjects" && t.isSystem();
    }));
    for (const auto& [tname, t] : expected) {
      const dao::TableDef& td = db->TableDefByName(tname);
      EXPECT_EQ(td.RecordCount(), t.rows) << tname;
      ASSERT_EQ(td.Fields().size(), t.cols.size()) << tname;
      for (size_t c = 0; c < t.cols.size(); ++c) {
        const auto& f = td.Fields()[c];
        EXPECT_EQ(f.Name, t.cols[c].name);
        EXPECT_EQ(f.Type, t.cols[c].type) << f.Name;
        EXPECT_EQ(f.Size, t.cols[c].size) << f.Name;
        EXPECT_EQ(f.Required, t.cols[c].required) << f.Name;
      }
      ASSERT_EQ(td.Indexes().size(), t.idx.size()) << tname;
      for (size_t k = 0; k < t.idx.size(); ++k) {
        const auto& ix = td.Indexes()[k];
        EXPECT_EQ(ix.Name, t.idx[k].name);
        EXPECT_EQ(ix.Fields, t.idx[k].fields) << ix.Name;
        EXPECT_EQ(ix.Primary, t.idx[k].primary) << ix.Name;
        EXPECT_EQ(ix.Unique, t.idx[k].unique) << ix.Name;
        EXPECT_EQ(ix.Required, t.idx[k].required) << ix.Name;
      }
    }
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

TEST(Catalogue, CompoundAndDescendingIndexFieldsReadLikeTheEngineRendersThem) {
  SKIP_WITHOUT_SHARED();
  auto db = dao::DBEngine::OpenDatabase(testsupport::fixture("jet4/testIndexPropertiesV2000.mdb"));
  const auto& ixs = db->TableDefByName("TableIgnoreNulls2").Indexes();
  ASSERT_EQ(ixs.size(), 2u);
  EXPECT_EQ(ixs[1].Name, "DataIndex");
  EXPECT_EQ(ixs[1].Fields, "+data1;+data2");
  auto desc = dao::DBEngine::OpenDatabase(testsupport::fixture("jet4/compIndexTestV2000.mdb"));
  ASSERT_EQ(desc->TableDefByName("Table1").Indexes().size(), 1u);
  EXPECT_EQ(desc->TableDefByName("Table1").Indexes()[0].Fields, "-CD_AGENTE");
}

TEST(Catalogue, QueryDefsInCatalogueOrderWithTheirSqlAndSourceColumns) {
  SKIP_WITHOUT_SHARED();
  auto db = dao::DBEngine::OpenDatabase(testsupport::fixture("ace/ASampleDatabase.accdb"));
  std::vector<std::string> names;
  for (const auto& q : db->QueryDefs()) names.push_back(q.Name());
  std::vector<std::string> want = {"~sq_rrptAssetListingInNumberOrder", "~sq_rrptAssetsGroupedByOwners",
                                   "qryComputerHardwareInOwnerOrder",  "qryCostsSummedByOwner",
                                   "qryGSTCalculations",               "~sq_ffrmAssetInventory"};
  EXPECT_EQ(names, want);
  const auto& q = db->QueryDefByName("QRYCOSTSSUMMEDBYOWNER");
  EXPECT_EQ(q.SQL(),
            "SELECT [Asset Items].[Owner], [Asset Items].[Asset Category], Sum([Asset Items].[Cost]) AS "
            "SumOfCost\nFROM [Asset Items]\nGROUP BY [Asset Items].[Owner], [Asset Items].[Asset Category];");
  const auto& f = q.Fields();
  ASSERT_EQ(f.size(), 3u);
  EXPECT_EQ(f[0].Name, "Owner");
  EXPECT_EQ(f[0].SourceTable, "Asset Items");
  EXPECT_EQ(f[0].SourceField, "Owner");
  EXPECT_EQ(f[0].Type, 10);
  EXPECT_EQ(f[2].Name, "SumOfCost");
  EXPECT_EQ(f[2].SourceTable, "");
  EXPECT_EQ(f[2].SourceField, "");
  // A computed column next to plain ones.
  const auto& gst = db->QueryDefByName("qryGSTCalculations").Fields();
  ASSERT_EQ(gst.size(), 7u);
  EXPECT_EQ(gst[1].SourceField, "Make");
  EXPECT_EQ(gst[5].Name, "Ex Tax");
  EXPECT_EQ(gst[5].SourceTable, "");
  EXPECT_THROW(db->QueryDefByName("no such query"), jet::Error);
}

TEST(Catalogue, ActionQueriesHaveNoColumnsAndParametersNeedNoValues) {
  SKIP_WITHOUT_SHARED();
  auto db = dao::DBEngine::OpenDatabase(testsupport::fixture("jet4/queryTestV2000.mdb"));
  EXPECT_TRUE(db->QueryDefByName("DeleteQuery").Fields().empty());
  EXPECT_TRUE(db->QueryDefByName("UpdateQuery").Fields().empty());
  EXPECT_FALSE(db->QueryDefByName("SelectQuery").Fields().empty());
}

// A saved query that needs a value from a form (or any parameter nobody has
// supplied) still lists its columns: they come from its definition.
TEST(Catalogue, QueriesNeedingFormValuesStillListTheirColumns) {
  std::string path = testsupport::tempDir() + "/params.mdb";
  jet::createDatabase(path);
  {
    auto edit = jet::Database::open(path);
    jet::createTable(*edit, {"Orders",
                             {jet::autoNumberSpec("ID"), jet::columnSpec("Placed", jet::DataType::DateTime),
                              jet::columnSpec("Customer", jet::DataType::Text, 40)},
                             {jet::primaryKeySpec("ID")}});
    jet::QuerySpec q;
    q.name = "Orders Since";
    q.tables = {"Orders"};
    q.columns = {{"Orders.ID", ""}, {"Orders.Customer", "Who"}};
    q.where = "Orders.Placed >= [Forms]![Sales Dialog]![Beginning Date]";
    jet::createQuery(*edit, q);
  }
  auto db = dao::DBEngine::OpenDatabase(path);
  auto fields = db->QueryDefByName("Orders Since").Fields();
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].Name, "ID");
  EXPECT_EQ(fields[0].SourceTable, "Orders");
  EXPECT_EQ(fields[1].Name, "Who");
  EXPECT_EQ(fields[1].SourceField, "Customer");
  EXPECT_EQ(fields[1].Size, 40);
}

TEST(Catalogue, PasswordsComeFromTheConnectString) {
  EXPECT_EQ(dao::passwordFromConnect("MS Access;pwd=secret"), "secret");
  EXPECT_EQ(dao::passwordFromConnect("MS Access;PWD=a;b"), "a;b");
  EXPECT_EQ(dao::passwordFromConnect("Access 2000;"), "");
  EXPECT_EQ(dao::passwordFromConnect(""), "");
  SKIP_WITHOUT_SHARED();
  std::string file = testsupport::fixture("jet4/V2000_with-password.mdb");
  try {
    dao::DBEngine::OpenDatabase(file);
    ADD_FAILURE() << "opened without the password";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3031);
  }
  try {
    dao::DBEngine::OpenDatabase(file, "MS Access;pwd=Password");
    ADD_FAILURE() << "opened with a wrong password";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3031);
  }
  auto db = dao::DBEngine::OpenDatabase(file, "MS Access;pwd=password");
  EXPECT_EQ(db->TableDefByName("Table1").RecordCount(), 3);
  // A file without a password opens whatever password the connect string carries.
  EXPECT_NO_THROW(dao::DBEngine::OpenDatabase(testsupport::fixture("jet4/V2000_no-password.mdb"),
                                              "MS Access;pwd=password"));
}

TEST(Catalogue, OpeningFailuresCarryTheEngineNumbers) {
  std::string dir = testsupport::tempDir();
  auto number = [](const std::string& path) {
    try {
      dao::DBEngine::OpenDatabase(path);
    } catch (const jet::Error& e) {
      return e.number();
    }
    return 0;
  };
  EXPECT_EQ(number(dir + "/missing.mdb"), 3024);
  EXPECT_EQ(number(""), 3024);
  testsupport::writeFile(dir + "/empty.mdb", "");
  EXPECT_NE(number(dir + "/empty.mdb"), 0);
  testsupport::writeFile(dir + "/text.mdb", std::string(5000, 'x'));
  EXPECT_NE(number(dir + "/text.mdb"), 0);
}

TEST(Catalogue, TypeNamesOfTheStructureList) {
  const std::map<int, std::string> names = {{1, "dbBoolean"}, {2, "dbByte"},       {3, "dbInteger"},
                                            {4, "dbLong"},    {5, "dbCurrency"},   {6, "dbSingle"},
                                            {7, "dbDouble"},  {8, "dbDate"},       {10, "dbText"},
                                            {11, "dbLongBinary"}, {12, "dbMemo"}, {15, "dbGUID"}};
  for (int code = -1; code < 130; ++code) {
    auto it = names.find(code);
    EXPECT_EQ(dao::typeName(static_cast<int16_t>(code)), it == names.end() ? "" : it->second) << code;
  }
}

// ---------------------------------------------------------------- data control

TEST(DataControl, RefreshOpensAndRunsTheRecordSourceAndAFailureKeepsTheOldState) {
  SKIP_WITHOUT_SHARED();
  dao::DataControl dta;
  int refreshes = 0, moves = 0;
  dta.addRefreshListener([&] { ++refreshes; });
  dta.addRepositionListener([&] { ++moves; });
  dta.DatabaseName = testsupport::fixture("ace/ASampleDatabase.accdb");
  dta.RecordSource = "Select * from [Asset Items]";
  dta.Refresh();
  ASSERT_NE(dta.recordset(), nullptr);
  dao::Recordset* rs = dta.recordset();
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(rs->fieldCount(), 13);
  EXPECT_EQ(rs->Fields()[0].Name, "Asset No");
  EXPECT_TRUE(rs->hasCurrent());
  EXPECT_EQ(rs->AbsolutePosition(), 0);
  EXPECT_EQ(rs->countAll(), 65);
  // A statement the engine rejects: the error comes out, the old recordset stays.
  dta.RecordSource = "Select * from [No Such Table]";
  try {
    dta.Refresh();
    ADD_FAILURE();
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3078);
  }
  EXPECT_EQ(dta.recordset(), rs);
  // Another file that is not there: the open database stays.
  dao::Database* db = dta.database();
  dta.DatabaseName = "/nonexistent/x.mdb";
  dta.RecordSource = "Select * from [Asset Items]";
  EXPECT_THROW(dta.Refresh(), jet::Error);
  EXPECT_EQ(dta.database(), db);
  EXPECT_EQ(dta.recordset(), rs);
  moves = 0;
  rs->MoveNext();
  EXPECT_EQ(moves, 1);
  EXPECT_EQ(rs->AbsolutePosition(), 1);
}

TEST(Recordset, MovesBookmarksAndRandomAccess) {
  SKIP_WITHOUT_SHARED();
  auto db = dao::DBEngine::OpenDatabase(testsupport::fixture("ace/ASampleDatabase.accdb"));
  dao::Recordset rs(*db, "Select * from [Asset Items]");
  EXPECT_FALSE(rs.BOF());
  rs.MoveLast();
  EXPECT_EQ(rs.AbsolutePosition(), 64);
  EXPECT_TRUE(rs.countKnown());
  EXPECT_EQ(rs.RecordCount(), 65);
  std::string last = rs.Bookmark();
  jet::Value lastNo = rs.value(0);
  rs.MoveNext();
  EXPECT_TRUE(rs.EOF_());
  EXPECT_THROW(rs.value(0), jet::Error);
  EXPECT_THROW(rs.MoveNext(), jet::Error);
  rs.setBookmark(last);
  EXPECT_EQ(rs.value(0), lastNo);
  EXPECT_EQ(rs.valueAt(64, 0), lastNo);
  rs.MoveFirst();
  rs.MovePrevious();
  EXPECT_TRUE(rs.BOF());
  try {
    rs.MovePrevious();
    ADD_FAILURE();
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3021);
  }
  EXPECT_THROW(rs.setBookmark("not a bookmark"), jet::Error);
  EXPECT_EQ(rs.fieldIndex("ASSET CATEGORY"), 1);
  EXPECT_EQ(rs.fieldIndex("nothing"), -1);
}

TEST(Recordset, EmptyResultStandsAtBofAndEof) {
  SKIP_WITHOUT_SHARED();
  auto db = dao::DBEngine::OpenDatabase(testsupport::fixture("ace/ASampleDatabase.accdb"));
  dao::Recordset rs(*db, "Select * from [Asset Items] where [Asset No] = 'none'");
  EXPECT_TRUE(rs.BOF());
  EXPECT_TRUE(rs.EOF_());
  EXPECT_EQ(rs.RecordCount(), 0);
  EXPECT_EQ(rs.fieldCount(), 13);
  try {
    rs.MoveFirst();
    ADD_FAILURE();
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), 3021);
  }
}
