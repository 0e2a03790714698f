// Reading real files made by the real product: our schema, dump and sql
// listings must equal the expected files byte for byte, and our rows must
// agree with an independent reader (mdbtools' mdb-export).
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "jet/database.h"
#include "jet/dump.h"
#include "jet/text.h"
#include "jet/error.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using testsupport::fixture;

namespace {

std::string passwordFor(const std::string& name) {
  return name.find("with-password") != std::string::npos ? "password" : "";
}

std::unique_ptr<jet::Database> openFixture(const std::string& rel) {
  jet::OpenOptions o;
  o.password = passwordFor(rel);
  o.readOnly = true;
  return jet::Database::open(fixture(rel), o);
}

std::string expectedPath(const std::string& rel, const char* kind) {
  return testsupport::sharedDir() + "/fixtures/expected/" + fs::path(rel).filename().string() +
         "." + kind + ".txt";
}

// Reports the first differing line, which is far easier to act on than a
// whole-file mismatch.
void expectSameText(const std::string& got, const std::string& want, const std::string& what) {
  if (got == want) return;
  std::istringstream a(got), b(want);
  std::string la, lb;
  int line = 0;
  while (true) {
    ++line;
    bool ea = !std::getline(a, la), eb = !std::getline(b, lb);
    if (ea && eb) break;
    if (ea || eb || la != lb) {
      ADD_FAILURE() << what << " differs at line " << line << "\n  got:  " << la.substr(0, 300)
                    << "\n  want: " << lb.substr(0, 300);
      return;
    }
  }
  ADD_FAILURE() << what << " differs (line endings or trailing bytes)";
}

}  // namespace

TEST(Conformance, SchemaDumpAndSqlEqualExpectedFiles) {
  SKIP_WITHOUT_SHARED();
  int compared = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    SCOPED_TRACE(rel);
    bool any = false;
    for (const char* kind : {"schema", "dump", "sql"}) any |= fs::exists(expectedPath(rel, kind));
    if (!any) continue;
    auto db = openFixture(rel);
    if (fs::exists(expectedPath(rel, "schema"))) {
      std::ostringstream out;
      jet::writeSchema(*db, out);
      expectSameText(out.str(), testsupport::readFile(expectedPath(rel, "schema")), rel + " schema");
      ++compared;
    }
    if (fs::exists(expectedPath(rel, "dump"))) {
      std::ostringstream out;
      jet::writeDump(*db, "", out);
      expectSameText(out.str(), testsupport::readFile(expectedPath(rel, "dump")), rel + " dump");
      ++compared;
    }
    if (fs::exists(expectedPath(rel, "sql"))) {
      std::ostringstream out;
      jet::writeQueries(*db, out);
      expectSameText(out.str(), testsupport::readFile(expectedPath(rel, "sql")), rel + " sql");
      ++compared;
    }
  }
  EXPECT_GE(compared, 87);
}

TEST(Conformance, CatalogueFlagsSystemTablesAndListsQueries) {
  SKIP_WITHOUT_SHARED();
  auto db = openFixture("jet4/queryTestV2000.mdb");
  bool sawObjects = false, sawUser = false;
  for (const auto* e : db->tables(true)) {
    if (e->name == "MSysObjects") {
      sawObjects = true;
      EXPECT_EQ(e->kind, jet::ObjectKind::SystemTable);
    }
    if (e->name == "Table1") {
      sawUser = true;
      EXPECT_EQ(e->kind, jet::ObjectKind::Table);
    }
  }
  EXPECT_TRUE(sawObjects);
  EXPECT_TRUE(sawUser);
  auto tables = db->tables(true);
  for (size_t i = 1; i < tables.size(); ++i)
    EXPECT_FALSE(jet::lessNoCase(tables[i]->name, tables[i - 1]->name))
        << tables[i - 1]->name << " before " << tables[i]->name;
  EXPECT_EQ(db->queries().size(), db->queryEntries().size());
  EXPECT_GE(db->queryEntries().size(), 8u);
}

TEST(Conformance, HeaderFactsOfEachVersion) {
  SKIP_WITHOUT_SHARED();
  struct Case { const char* rel; jet::Version v; uint32_t page; };
  for (const Case& c : {Case{"jet3/testV1997.mdb", jet::Version::Jet3, 2048},
                        Case{"jet4/testV2000.mdb", jet::Version::Jet4, 4096},
                        Case{"ace/testV2007.accdb", jet::Version::Ace12, 4096},
                        Case{"ace/testV2010.accdb", jet::Version::Ace14, 4096},
                        Case{"ace/bigintV2016.accdb", jet::Version::Ace16, 4096}}) {
    SCOPED_TRACE(c.rel);
    auto db = openFixture(c.rel);
    EXPECT_EQ(db->header().version, c.v);
    EXPECT_EQ(db->format().pageSize, c.page);
    EXPECT_NE(db->header().sortOrder, 0u);
    if (c.v != jet::Version::Jet3) {
      // Creation dates of these files lie between 1997 and 2030.
      EXPECT_GT(db->header().creationDate, 35000);
      EXPECT_LT(db->header().creationDate, 47500);
    }
  }
}

namespace {

// mdb-export as an independent reader: tab-separated, C-style escapes.
bool mdbExport(const std::string& file, const std::string& table, std::vector<std::vector<std::string>>& rows) {
  std::string out;
  std::string cmd = "mdb-export -H -Q -e -d '\\t' -T '%Y-%m-%d %H:%M:%S' -b hex '" + file + "' '" +
                    table + "' 2>/dev/null";
  if (testsupport::run(cmd, &out) != 0) return false;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    size_t start = 0;
    while (true) {
      size_t tab = line.find('\t', start);
      cells.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
      if (tab == std::string::npos) break;
      start = tab + 1;
    }
    rows.push_back(std::move(cells));
  }
  return true;
}

// Compares one of our values with mdb-export's text for it.
bool agrees(const jet::Value& v, const std::string& theirs) {
  using jet::DataType;
  if (v.isNull()) return theirs.empty();
  switch (v.type()) {
    case DataType::Boolean: return theirs == (v.asBool() ? "1" : "0");
    case DataType::BigInt:  // mdbtools does not read big integers
      return theirs.empty() || theirs == std::to_string(v.asInt());
    case DataType::Byte: case DataType::Integer: case DataType::Long:
      return theirs == std::to_string(v.asInt());
    case DataType::Currency: case DataType::Single: case DataType::Double: case DataType::Decimal: {
      char* end = nullptr;
      double t = std::strtod(theirs.c_str(), &end);
      double o = v.toDouble();
      return std::fabs(t - o) <= 1e-6 * std::max(1.0, std::fabs(o));
    }
    case DataType::DateTime: return theirs == jet::formatDateTime(v.asDouble());
    case DataType::Text: case DataType::Memo: {
      std::string esc;
      const std::string& text = v.bytes();
      for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        // mdbtools shows characters outside the Basic Multilingual Plane as "??".
        if ((static_cast<unsigned char>(c) & 0xF8) == 0xF0) {
          esc += "??";
          i += 3;
          continue;
        }
        if (c == '\\') esc += "\\\\";
        else if (c == '\t') esc += "\\t";
        else if (c == '\n') esc += "\\n";
        else if (c == '\r') esc += "\\r";
        else esc.push_back(c);
      }
      return theirs == esc;
    }
    default: return true;  // binary, GUID and complex columns: formats differ too much
  }
}

}  // namespace

TEST(Conformance, RowsAgreeWithMdbExport) {
  SKIP_WITHOUT_SHARED();
  if (!testsupport::haveCommand("mdb-export")) GTEST_SKIP() << "mdbtools is not installed";
  int tablesCompared = 0;
  for (const auto& rel : testsupport::allFixtures()) {
    if (rel.find("with-password") != std::string::npos) continue;
    SCOPED_TRACE(rel);
    auto db = openFixture(rel);
    for (const auto* e : db->tables(false)) {
      if (e->kind != jet::ObjectKind::Table) continue;
      auto def = db->table(*e);
      bool calc = false;
      for (const auto& c : def->columns) calc |= c.calculated();
      if (calc) continue;  // mdbtools does not read calculated columns
      std::vector<std::vector<std::string>> theirs;
      if (!mdbExport(fixture(rel), e->name, theirs)) continue;
      // Rows may come in another physical order (overflow rows), so each of
      // our rows must match a distinct row of theirs.
      auto scan = db->scan(e->name);
      std::vector<bool> used(theirs.size(), false);
      size_t r = 0;
      while (scan->next()) {
        const auto& vals = scan->values();
        auto matches = [&](size_t k) {
          if (used[k] || theirs[k].size() != vals.size()) return false;
          for (size_t c = 0; c < vals.size(); ++c)
            if (!agrees(vals[c], theirs[k][c])) return false;
          return true;
        };
        bool found = r < theirs.size() && matches(r);
        size_t at = r;
        for (size_t k = 0; !found && k < theirs.size(); ++k)
          if (matches(k)) { found = true; at = k; }
        if (found) {
          used[at] = true;
        } else {
          std::string ours;
          for (const auto& v : vals) ours += jet::dumpCell(v) + "|";
          ADD_FAILURE() << e->name << ": no row of mdb-export matches our row " << r << ": "
                        << ours.substr(0, 300);
        }
        ++r;
      }
      EXPECT_EQ(r, theirs.size()) << e->name;
      ++tablesCompared;
    }
  }
  EXPECT_GT(tablesCompared, 30);
}
