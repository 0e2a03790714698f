// Damaged attachment and multi-value data in copies of real .accdb files:
// the hidden tables' definition and data pages overwritten, attachment data
// cut short or corrupted, complex ids that name nothing. Every read either
// works or fails with a numbered jet::Error; nothing crashes or reads out of
// bounds (the sanitizer build checks that), and the table's other columns
// stay readable.
#include <gtest/gtest.h>

#include <random>

#include "jet/complex.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/table.h"
#include "support/complex_damage.h"
#include "support/test_support.h"

using complexdamage::damagedCopy;
using complexdamage::flatTableOf;

namespace {

const char* kComplexFile = "ace/complexDataTestV2010.accdb";
const char* kAttachFile = "ace/attachmentsV2016.accdb";

// Reads every complex column of Table1 (shown text, values, attachments with
// their data) and every plain column; returns the error numbers met, 0 for
// a read that worked. Anything but a jet::Error fails the test.
std::vector<int> readEverything(const std::string& file) {
  std::vector<int> numbers;
  auto attempt = [&](auto&& f) {
    try {
      f();
      numbers.push_back(0);
    } catch (const jet::Error& e) {
      EXPECT_NE(e.number(), 0) << e.what();
      EXPECT_FALSE(std::string(e.what()).empty());
      numbers.push_back(e.number());
    } catch (const std::exception& e) {
      ADD_FAILURE() << "not an engine error: " << e.what();
    }
  };
  std::unique_ptr<jet::Database> db;
  attempt([&] { db = jet::Database::open(file); });
  if (!db) return numbers;
  std::shared_ptr<const jet::TableDef> def;
  attempt([&] { def = db->table("Table1"); });
  if (!def) return numbers;
  jet::ComplexReader reader(*db, def);
  attempt([&] {
    auto scan = db->scan("Table1");
    while (scan->next()) {
      for (size_t c = 0; c < def->columns.size(); ++c) {
        jet::Value v = scan->value(c);
        if (v.type() != jet::DataType::Complex) continue;
        attempt([&] { reader.displayText(c, v); });
        attempt([&] { reader.values(c, v); });
        attempt([&] { reader.attachments(c, v); });
      }
    }
  });
  return numbers;
}

bool anyError(const std::vector<int>& n, int number) {
  return std::find(n.begin(), n.end(), number) != n.end();
}

// Position in the file of the row slot `row` of data page p (Jet 4 and
// later: the row count at 12, then the offsets).
size_t rowStart(const std::string& bytes, uint32_t p, uint16_t row) {
  const size_t base = static_cast<size_t>(p) * 4096;
  uint16_t off;
  std::memcpy(&off, bytes.data() + base + 14 + 2 * row, 2);
  return base + (off & 0x1FFF);
}

// Where the column descriptor of column c sits in the table definition page.
size_t descriptorOf(const std::string& bytes, uint32_t tdefPage, const jet::Column& c) {
  const size_t base = static_cast<size_t>(tdefPage) * 4096;
  size_t found = 0;
  int hits = 0;
  for (size_t p = base + 63; p + 25 <= base + 4096; ++p) {
    uint16_t number;
    std::memcpy(&number, bytes.data() + p + 5, 2);
    if (static_cast<uint8_t>(bytes[p]) == c.rawType && number == c.number &&
        complexdamage::le32(bytes, p + 11) == static_cast<uint32_t>(c.complexId)) {
      found = p;
      ++hits;
    }
  }
  EXPECT_EQ(hits, 1) << c.name;
  return found;
}

}  // namespace

TEST(ComplexDamaged, AHiddenTableWhoseDefinitionIsDamagedIsANumberedErrorForItsColumnOnly) {
  SKIP_WITHOUT_SHARED();
  for (int variant = 0; variant < 4; ++variant) {
    std::string file = damagedCopy(kComplexFile, [&](std::string& bytes, jet::Database& db) {
      auto flat = flatTableOf(db, "Table1", "attach-data");
      ASSERT_NE(flat.tdefPage, 0u);
      char* p = complexdamage::page(bytes, flat.tdefPage);
      std::mt19937 rng(static_cast<unsigned>(variant));
      if (variant == 0) {
        std::memset(p, 0, 4096);
      } else if (variant == 1) {
        for (int i = 8; i < 4096; ++i) p[i] = static_cast<char>(rng());  // the page type stays
      } else if (variant == 2) {
        // Counts of columns and indexes far beyond the page.
        std::memset(p + 45, 0xFF, 16);
      } else {
        std::memset(p + 55, 0xEE, 4);  // the map of its data pages lost
      }
    });
    auto n = readEverything(file);
    EXPECT_TRUE(anyError(n, jet::err::kCorrupt)) << variant;
    // The other complex column and the plain ones still read.
    auto db = jet::Database::open(file);
    auto def = db->table("Table1");
    jet::ComplexReader reader(*db, def);
    auto scan = db->scan("Table1");
    const size_t mv = static_cast<size_t>(def->findColumn("multi-value-data"));
    const size_t at = static_cast<size_t>(def->findColumn("attach-data"));
    ASSERT_TRUE(scan->next());
    ASSERT_TRUE(scan->next());
    EXPECT_EQ(scan->value(0).bytes(), "row2");
    EXPECT_EQ(reader.displayText(mv, scan->value(mv)), "value1; value4") << variant;
    EXPECT_EQ(testsupport::errorOf([&] { reader.displayText(at, scan->value(at)); }), jet::err::kCorrupt) << variant;
  }
}

TEST(ComplexDamaged, RandomBytesInTheHiddenTablesPagesNeverCrash) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : {kComplexFile, kAttachFile}) {
    for (unsigned seed = 1; seed <= 24; ++seed) {
      std::string file = damagedCopy(rel, [&](std::string& bytes, jet::Database& db) {
        std::vector<uint32_t> pages;
        auto def = db.table("Table1");
        for (const auto& c : def->columns) {
          if (c.type != jet::DataType::Complex) continue;
          auto flat = flatTableOf(db, "Table1", c.name);
          pages.push_back(flat.tdefPage);
          pages.insert(pages.end(), flat.dataPages.begin(), flat.dataPages.end());
        }
        ASSERT_FALSE(pages.empty());
        std::mt19937 rng(seed);
        const int hits = 1 + static_cast<int>(rng() % 40);
        for (int h = 0; h < hits; ++h) {
          uint32_t p = pages[rng() % pages.size()];
          size_t at = static_cast<size_t>(p) * 4096 + 2 + rng() % 4094;  // page type kept
          bytes[at] = static_cast<char>(rng());
        }
      });
      readEverything(file);  // errors or values; the sanitizer watches the rest
    }
  }
}

TEST(ComplexDamaged, AttachmentDataCutShortOrCorruptedIsError3049NamingTheFile) {
  SKIP_WITHOUT_SHARED();
  // The stored data of attachment2.txt (deflated, held in the row).
  std::string stored;
  {
    auto db = jet::Database::open(testsupport::fixture(kAttachFile));
    auto flat = flatTableOf(*db, "Table1", "Attachments");
    auto scan = db->scan(flat.name);
    const int name = scan->def().findColumn("FileName"), data = scan->def().findColumn("FileData");
    while (scan->next())
      if (scan->value(static_cast<size_t>(name)).bytes() == "attachment2.txt")
        stored = scan->value(static_cast<size_t>(data)).bytes();
  }
  ASSERT_GT(stored.size(), 20u);
  ASSERT_EQ(complexdamage::le32(stored, 0), 1u);  // deflated
  const uint32_t length = complexdamage::le32(stored, 4);

  struct Case {
    const char* what;
    std::function<void(std::string&)> change;
  };
  const std::vector<Case> cases = {
      {"longer than stored", [&](std::string& s) { complexdamage::put32(s, 4, length + 100); }},
      {"shorter than stored", [&](std::string& s) { complexdamage::put32(s, 4, length - 3); }},
      {"an impossible length", [&](std::string& s) { complexdamage::put32(s, 4, 0x7FFFFFF0u); }},
      {"an unknown kind", [&](std::string& s) { complexdamage::put32(s, 0, 7); }},
      {"a stream cut short", [&](std::string& s) { std::memset(s.data() + s.size() - 12, 0, 12); }},
      {"a broken stream", [&](std::string& s) { s[8] = static_cast<char>(0xFF); s[9] = static_cast<char>(0xFF); }},
      {"kept as is but short", [&](std::string& s) { complexdamage::put32(s, 0, 0); complexdamage::put32(s, 4, 4000); }},
      {"a header longer than the file", [&](std::string& s) {
         complexdamage::put32(s, 0, 0);
         complexdamage::put32(s, 4, static_cast<uint32_t>(s.size() - 8));
         complexdamage::put32(s, 8, 0x00FFFFFF);
       }},
  };
  for (const Case& c : cases) {
    std::string file = damagedCopy(kAttachFile, [&](std::string& bytes, jet::Database&) {
      size_t at = bytes.find(stored);
      ASSERT_NE(at, std::string::npos);
      ASSERT_EQ(bytes.find(stored, at + 1), std::string::npos);
      std::string changed = stored;
      c.change(changed);
      bytes.replace(at, stored.size(), changed);
    });
    auto db = jet::Database::open(file);
    auto def = db->table("Table1");
    jet::ComplexReader reader(*db, def);
    const size_t col = static_cast<size_t>(def->findColumn("Attachments"));
    auto scan = db->scan("Table1");
    std::vector<jet::Value> ids;
    while (scan->next()) ids.push_back(scan->value(col));
    ASSERT_EQ(ids.size(), 3u);
    // The names still show; the file with the one attachment still reads.
    EXPECT_EQ(reader.displayText(col, ids[2]), "attachment1.txt; attachment2.txt; attachment3.txt") << c.what;
    auto one = reader.attachments(col, ids[1]);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_EQ(one[0].data, "Attachment 1");
    try {
      reader.attachments(col, ids[2]);
      ADD_FAILURE() << c.what << " was read";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::err::kCorrupt) << c.what;
      EXPECT_NE(std::string(e.what()).find("attachment2.txt"), std::string::npos) << e.what();
    }
  }
}

TEST(ComplexDamaged, ComplexIdsThatNameNothing) {
  SKIP_WITHOUT_SHARED();
  // The column's complex id names no row of MSysComplexColumns: 3049 for
  // that column; the row's other values read.
  std::string file = damagedCopy(kAttachFile, [&](std::string& bytes, jet::Database& db) {
    auto def = db.table("Table1");
    const auto& c = def->columns[static_cast<size_t>(def->findColumn("Attachments"))];
    complexdamage::put32(bytes, descriptorOf(bytes, def->page, c) + 11, 9999);
  });
  {
    auto db = jet::Database::open(file);
    auto def = db->table("Table1");
    const size_t col = static_cast<size_t>(def->findColumn("Attachments"));
    jet::ComplexReader reader(*db, def);
    auto scan = db->scan("Table1");
    ASSERT_TRUE(scan->next());
    EXPECT_EQ(scan->value(1).bytes(), "0 Attachments");
    try {
      reader.displayText(col, scan->value(col));
      ADD_FAILURE() << "read";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::err::kCorrupt);
      EXPECT_NE(std::string(e.what()).find("9999"), std::string::npos) << e.what();
    }
  }
  // A row's complex value id that no entry carries: the row has no
  // attachments (as a row whose files were all removed), nothing invented.
  file = damagedCopy(kAttachFile, [&](std::string& bytes, jet::Database& db) {
    auto def = db.table("Table1");
    const auto& c = def->columns[static_cast<size_t>(def->findColumn("Attachments"))];
    auto scan = db.scan("Table1");
    ASSERT_TRUE(scan->next());
    ASSERT_TRUE(scan->next());
    ASSERT_TRUE(scan->next());
    const size_t at = rowStart(bytes, scan->rowId().page, scan->rowId().row) + 2 + c.fixedOffset;
    ASSERT_EQ(complexdamage::le32(bytes, at), 3u);
    complexdamage::put32(bytes, at, 77777);
  });
  auto db = jet::Database::open(file);
  auto def = db->table("Table1");
  const size_t col = static_cast<size_t>(def->findColumn("Attachments"));
  jet::ComplexReader reader(*db, def);
  auto scan = db->scan("Table1");
  std::vector<jet::Value> ids;
  while (scan->next()) ids.push_back(scan->value(col));
  ASSERT_EQ(ids.size(), 3u);
  EXPECT_EQ(ids[2].asInt(), 77777);
  EXPECT_EQ(reader.displayText(col, ids[2]), "");
  EXPECT_TRUE(reader.attachments(col, ids[2]).empty());
  EXPECT_EQ(reader.displayText(col, ids[1]), "attachment1.txt");
}
