// Attachment and multi-value fields made by createTable in new .accdb files
// and in copies of real ones: the catalogue rows, template and hidden flat
// tables must be laid out as in the product's files, read back through the
// complex reader (no entries), pass the strict check, survive new rows and
// DROP TABLE, and be readable by mdbtools. Other formats refuse them.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "jet/check.h"
#include "jet/complex.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/ddl.h"
#include "jet/error.h"
#include "jet/table.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

using jet::DataType;
using jet::Value;
using jet::Version;

namespace {

std::string sh(const std::string& cmd) {
  std::string out;
  testsupport::run(cmd, &out);
  return out;
}

void expectClean(jet::Database& db, const std::string& what) {
  auto r = jet::checkDatabase(db, true);
  for (const auto& p : r.problems) ADD_FAILURE() << what << ": " << p;
}

struct ComplexRow {
  std::string column;
  int32_t typeId = 0, flatId = 0, tableId = 0, complexId = 0;
};

std::vector<ComplexRow> complexColumns(jet::Database& db) {
  std::vector<ComplexRow> out;
  auto scan = db.scan("MSysComplexColumns");
  const auto& d = scan->def();
  while (scan->next()) {
    ComplexRow r;
    r.column = scan->value(d.findColumn("ColumnName")).bytes();
    r.typeId = static_cast<int32_t>(scan->value(d.findColumn("ComplexTypeObjectID")).asInt());
    r.flatId = static_cast<int32_t>(scan->value(d.findColumn("FlatTableID")).asInt());
    r.tableId = static_cast<int32_t>(scan->value(d.findColumn("ConceptualTableID")).asInt());
    r.complexId = static_cast<int32_t>(scan->value(d.findColumn("ComplexID")).asInt());
    out.push_back(r);
  }
  return out;
}

const jet::CatalogEntry* byId(jet::Database& db, int32_t id) {
  for (const auto& e : db.objects())
    if (e.id == id && e.isTable()) return &e;
  return nullptr;
}

std::vector<std::string> columnNames(const jet::TableDef& d) {
  std::vector<std::string> out;
  for (const auto& c : d.columns) out.push_back(c.name);
  return out;
}

std::vector<std::string> indexNames(const jet::TableDef& d) {
  std::vector<std::string> out;
  for (const auto& i : d.indexes) out.push_back(i.name);
  return out;
}

jet::TableSpec docsSpec() {
  return {"Docs",
          {jet::autoNumberSpec("ID"), jet::columnSpec("Title", DataType::Text, 40), jet::attachmentSpec("Files"),
           jet::multiValueSpec("Tags", DataType::Text, 50), jet::multiValueSpec("Nums", DataType::Long)},
          {jet::primaryKeySpec("ID")}};
}

// Everything about Docs' complex fields that the product's files show.
void expectDocsLayout(jet::Database& db, const std::string& what) {
  auto docs = db.table("Docs");
  const jet::CatalogEntry* docsEntry = db.find("Docs");
  std::map<std::string, ComplexRow> rows;
  for (const auto& r : complexColumns(db))
    if (r.tableId == docsEntry->id) rows[r.column] = r;
  ASSERT_EQ(3u, rows.size()) << what;
  const std::map<std::string, std::pair<std::string, std::vector<std::string>>> expected = {
      {"Files",
       {"MSysComplexType_Attachment",
        {"_Files", "FileData", "FileFlags", "FileName", "FileTimeStamp", "FileType", "FileURL", "Docs_Files"}}},
      {"Tags", {"MSysComplexType_Text", {"_Tags", "Value", "Docs_Tags"}}},
      {"Nums", {"MSysComplexType_Long", {"_Nums", "Value", "Docs_Nums"}}}};
  for (const auto& [col, exp] : expected) {
    const ComplexRow& r = rows.at(col);
    const jet::Column& c = docs->columns.at(static_cast<size_t>(docs->findColumn(col)));
    EXPECT_EQ(jet::coltype::kComplex, c.rawType) << what << " " << col;
    EXPECT_EQ(r.complexId, c.complexId) << what << " " << col;
    const jet::CatalogEntry* type = byId(db, r.typeId);
    ASSERT_TRUE(type) << what << " " << col;
    EXPECT_EQ(exp.first, type->name);
    const jet::CatalogEntry* flat = byId(db, r.flatId);
    ASSERT_TRUE(flat) << what << " " << col;
    EXPECT_EQ(0u, flat->name.rfind("f_", 0)) << flat->name;
    EXPECT_EQ(2 + 32 + 1 + col.size(), flat->name.size()) << flat->name;
    EXPECT_EQ("_" + col, flat->name.substr(34));
    EXPECT_EQ(static_cast<int32_t>(0x800A0000u), flat->flags);
    EXPECT_EQ(static_cast<int32_t>(0x80030000u), type->flags);
    auto fd = db.table(*flat);
    EXPECT_EQ(exp.second, columnNames(*fd)) << what << " " << col;
    EXPECT_EQ((std::vector<std::string>{"_" + col, "IdxFKPrimaryScalar", "MSysComplexPKIndex"}), indexNames(*fd));
    EXPECT_TRUE(fd->columns.back().autoLong());
    // The field's own unique index of complex ids.
    bool indexed = false;
    for (const auto& ix : docs->indexes)
      if (ix.name.rfind(col + "_", 0) == 0 && ix.name.size() == col.size() + 33) {
        indexed = true;
        EXPECT_TRUE(docs->realOf(ix).unique());
      }
    EXPECT_TRUE(indexed) << what << " " << col;
  }
  std::set<int32_t> ids;
  for (const auto& [c, r] : rows) ids.insert(r.complexId);
  EXPECT_EQ(3u, ids.size());
}

// Rows added with no complex values read back with none, and with distinct
// complex ids.
void expectEmptyEntries(jet::Database& db, const std::string& table, size_t rows) {
  auto def = db.table(table);
  jet::ComplexReader reader(db, def);
  jet::TableScan scan(db, def);
  size_t n = 0;
  std::map<size_t, std::set<int64_t>> seen;
  while (scan.next()) {
    ++n;
    for (size_t i = 0; i < def->columns.size(); ++i) {
      if (def->columns[i].rawType != jet::coltype::kComplex) continue;
      Value v = scan.values()[i];
      ASSERT_FALSE(v.isNull()) << table << "." << def->columns[i].name;
      EXPECT_TRUE(seen[i].insert(v.asInt()).second);
      if (reader.kind(i) == jet::ComplexKind::Attachment) {
        EXPECT_TRUE(reader.attachments(i, v).empty());
      } else {
        EXPECT_TRUE(reader.values(i, v).empty());
      }
      EXPECT_EQ("", reader.displayText(i, v));
    }
  }
  EXPECT_EQ(rows, n);
}

TEST(CreateComplex, FieldsOfEachKindInEveryAceVersionReadBackEverywhere) {
  for (Version v : {Version::Ace12, Version::Ace14, Version::Ace16, Version::Ace17}) {
    std::string path = testsupport::tempDir() + "/complex.accdb";
    jet::createDatabase(path, v);
    {
      auto db = jet::Database::open(path);
      jet::createTable(*db, docsSpec());
      jet::TableWriter w(*db, "Docs");
      w.insert(w.valuesByName({{"Title", Value::text("first")}}));
      w.insert(w.valuesByName({{"Title", Value::text("second")}}));
    }
    auto db = jet::Database::open(path);
    std::string what = db->formatName();
    expectDocsLayout(*db, what);
    jet::ComplexReader reader(*db, db->table("Docs"));
    EXPECT_EQ(jet::ComplexKind::Attachment, reader.kind(2));
    EXPECT_EQ(jet::ComplexKind::MultiValue, reader.kind(3));
    EXPECT_EQ("FileName", reader.valueColumn(2).name);
    EXPECT_EQ(DataType::Text, reader.valueColumn(3).type);
    EXPECT_EQ(100, reader.valueColumn(3).length);
    EXPECT_EQ(DataType::Long, reader.valueColumn(4).type);
    expectEmptyEntries(*db, "Docs", 2);
    expectClean(*db, what);
    if (!testsupport::haveCommand("mdb-export")) continue;
    std::string csv = sh("mdb-export '" + path + "' Docs 2>/dev/null");
    EXPECT_NE(std::string::npos, csv.find("\"first\"")) << csv;
    EXPECT_NE(std::string::npos, csv.find("\"second\"")) << csv;
    EXPECT_NE(std::string::npos, sh("mdb-schema '" + path + "' 2>/dev/null").find("[Files]"));
    EXPECT_NE(std::string::npos, sh("mdb-tables -S -1 '" + path + "'").find("MSysComplexType_Attachment"));
  }
}

TEST(CreateComplex, TemplatesAreSharedAndDropTableTakesTheHiddenTablesAlong) {
  auto db = jet::createMemoryDatabase(Version::Ace14);
  jet::createTable(*db, docsSpec());
  jet::createTable(*db, {"Other", {jet::attachmentSpec("Pics"), jet::multiValueSpec("Tags", DataType::Text, 10)}, {}});
  int templates = 0;
  for (const auto& e : db->objects())
    if (e.name.rfind("MSysComplexType_", 0) == 0) ++templates;
  EXPECT_EQ(3, templates);  // Attachment, Text and Long once each
  auto rows = complexColumns(*db);
  ASSERT_EQ(5u, rows.size());
  EXPECT_EQ(rows[0].typeId, rows[3].typeId);
  std::vector<int32_t> docsFlats;
  for (const auto& r : rows)
    if (r.tableId == db->find("Docs")->id) docsFlats.push_back(r.flatId);
  jet::dropTable(*db, "Docs");
  EXPECT_EQ(2u, complexColumns(*db).size());
  for (int32_t f : docsFlats) EXPECT_EQ(nullptr, byId(*db, f));
  {
    jet::TableWriter w(*db, "Other");
    w.insert(w.valuesByName({}));
  }
  expectEmptyEntries(*db, "Other", 1);
  expectClean(*db, "after DROP TABLE");
}

TEST(CreateComplex, OtherFormatsAndUnsupportedUsesAreRefusedWithNothingWritten) {
  auto jet4 = jet::createMemoryDatabase(Version::Jet4);
  EXPECT_EQ(jet::err::kInvalidFieldType,
            testsupport::errorOf([&] { jet::createTable(*jet4, {"T", {jet::attachmentSpec("A")}, {}}); }));
  EXPECT_EQ(jet::err::kInvalidFieldType, testsupport::errorOf([&] {
              jet::createTable(*jet4, {"T", {jet::multiValueSpec("M", DataType::Long)}, {}});
            }));
  EXPECT_EQ(nullptr, jet4->find("T"));
  auto db = jet::createMemoryDatabase(Version::Ace12);
  EXPECT_EQ(jet::err::kInvalidFieldType, testsupport::errorOf([&] {
              jet::createTable(*db, {"T", {jet::multiValueSpec("M", DataType::Currency)}, {}});
            }));
  EXPECT_EQ(jet::err::kNotSupported, testsupport::errorOf([&] {
              jet::createTable(*db, {"T", {jet::attachmentSpec("A")}, {jet::primaryKeySpec("A")}});
            }));
  EXPECT_EQ(nullptr, db->find("T"));
  EXPECT_TRUE(complexColumns(*db).empty());
  for (const auto& e : db->objects()) EXPECT_NE(0u, e.name.rfind("f_", 0)) << e.name;
  // Rebuilding would lose the hidden tables: refused.
  jet::createTable(*db, docsSpec());
  auto spec = jet::tableSpecOf(*db, *db->table("Docs"));
  EXPECT_EQ(jet::err::kNotSupported,
            testsupport::errorOf([&] { jet::rebuildTable(*db, "Docs", spec, {0, 1, 2, 3, 4}); }));
  expectDocsLayout(*db, "after a refused rebuild");
  expectClean(*db, "after refusals");
}

TEST(CreateComplex, Jet3FileRefusesComplexFields) {
  SKIP_WITHOUT_SHARED();
  std::string path = testsupport::copyToTemp(testsupport::fixture("jet3/testV1997.mdb"));
  auto db = jet::Database::open(path);
  EXPECT_EQ(jet::err::kInvalidFieldType,
            testsupport::errorOf([&] { jet::createTable(*db, {"T", {jet::attachmentSpec("A")}, {}}); }));
  EXPECT_EQ(nullptr, db->find("T"));
}

TEST(CreateComplex, CopiesOfRealFilesKeepTheirEntriesAndReuseTheirTemplates) {
  SKIP_WITHOUT_SHARED();
  for (const char* f : {"ace/complexDataTestV2010.accdb", "ace/attachmentsV2016.accdb"}) {
    std::string path = testsupport::copyToTemp(testsupport::fixture(f));
    std::map<std::string, int32_t> before;
    std::string oldTable;
    int32_t maxId = 0;
    {
      auto db = jet::Database::open(path);
      for (const auto& e : db->objects())
        if (e.name.rfind("MSysComplexType_", 0) == 0) before[e.name] = e.id;
      for (const auto& r : complexColumns(*db)) maxId = std::max(maxId, r.complexId);
      jet::createTable(*db, docsSpec());
    }
    auto db = jet::Database::open(path);
    for (const auto& e : db->objects())
      if (e.name.rfind("MSysComplexType_", 0) == 0) {
        EXPECT_EQ(before.at(e.name), e.id) << f << " " << e.name;
      }
    for (const auto& r : complexColumns(*db))
      if (r.tableId == db->find("Docs")->id) {
        EXPECT_GT(r.complexId, maxId) << f;
      }
    expectDocsLayout(*db, f);
    // The file's own table still shows its attachments and takes a new row
    // whose complex ids clash with none of the old ones.
    auto t1 = db->table("Table1");
    jet::ComplexReader reader(*db, t1);
    std::string shown;
    {
      jet::TableScan scan(*db, t1);
      for (size_t i = 0; i < t1->columns.size(); ++i)
        if (t1->columns[i].rawType == jet::coltype::kComplex)
          while (scan.next()) shown += reader.displayText(i, scan.values()[i]);
    }
    EXPECT_NE("", shown) << f;
    size_t rows = t1->rowCount;
    {
      jet::TableWriter w(*db, "Table1");
      std::vector<Value> v(t1->columns.size());
      if (t1->columns[0].type == DataType::Text) v[0] = Value::text("new row");
      w.insert(v);
    }
    EXPECT_EQ(rows + 1, db->table("Table1")->rowCount);
    expectClean(*db, f);
  }
}

}  // namespace
