// Jet 3 text in the code page the database names: every supported code page
// converts its own script both ways, undefined bytes survive a round trip, a
// character the code page cannot hold is refused with 3421 (never stored as
// '?'), and a product-made Jet 3 file whose header names another code page is
// read and written in that code page.
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

#include "jet/check.h"
#include "jet/code_page.h"
#include "jet/database.h"
#include "jet/index_codes.h"
#include "jet/error.h"
#include "jet/table_writer.h"
#include "jet/text.h"
#include "support/test_support.h"

using testsupport::errorOf;

namespace {

struct Sample {
  uint16_t cp;
  const char* utf8;
};

const Sample kSamples[] = {
    {1252, "Größe 12 € – “quoted” œuvre"},
    {1250, "Žluťoučký kůň úpěl ďábelské ódy"},
    {1251, "Съешь же ещё этих мягких булок"},
    {1253, "Καλημέρα κόσμε"},
    {1254, "İstanbul ağzı şöyle"},
    {1255, "שלום עולם"},
    {1256, "مرحبا بالعالم"},
    {1257, "Ąžuolų giraitė, Rīga"},
    {1258, "Việt Nam đẹp"},
    {874, "สวัสดีชาวโลก"},
    {932, "日本語のテキスト、ｶﾀｶﾅ"},
    {936, "简体中文文本"},
    {949, "한국어 텍스트"},
    {950, "繁體中文文字"},
};

std::string hex(const std::string& s) {
  std::string out;
  char b[4];
  for (unsigned char c : s) {
    std::snprintf(b, sizeof b, "%02X ", c);
    out += b;
  }
  return out;
}

}  // namespace

TEST(CodePages, EveryCodePageConvertsItsOwnScriptBothWays) {
  for (const auto& s : kSamples) {
    SCOPED_TRACE(s.cp);
    std::u16string text = jet::utf8ToUtf16(s.utf8);
    std::string stored;
    ASSERT_NO_THROW(stored = jet::encodeCodePage(text, s.cp));
    EXPECT_EQ(stored.find('?'), std::string::npos) << hex(stored);
    // Single-byte pages store one byte a character (1258 may split an accent off).
    if (!jet::isDoubleByteCodePage(s.cp) && s.cp != 1258) {
      EXPECT_EQ(stored.size(), text.size());
    }
    jet::ByteView v(reinterpret_cast<const uint8_t*>(stored.data()), stored.size());
    EXPECT_EQ(jet::utf16ToUtf8(jet::decodeCodePage(v, s.cp)), s.utf8) << hex(stored);
  }
  // Known bytes of the Windows tables.
  EXPECT_EQ(hex(jet::encodeCodePage(u"€Ž", 1252)), "80 8E ");
  EXPECT_EQ(hex(jet::encodeCodePage(u"Ж", 1251)), "C6 ");
  EXPECT_EQ(hex(jet::encodeCodePage(u"Ω", 1253)), "D9 ");
  EXPECT_EQ(hex(jet::encodeCodePage(u"日本", 932)), "93 FA 96 7B ");
  EXPECT_EQ(hex(jet::encodeCodePage(u"한", 949)), "C7 D1 ");
}

TEST(CodePages, UndefinedBytesAreKeptAndWrittenBack) {
  const std::string raw = "A\x81\x8D\x8F\x90\x9D" "B";
  jet::ByteView v(reinterpret_cast<const uint8_t*>(raw.data()), raw.size());
  std::u16string text = jet::decodeCodePage(v, 1252);
  EXPECT_EQ(text, (std::u16string{u'A', 0x81, 0x8D, 0x8F, 0x90, 0x9D, u'B'}));
  EXPECT_EQ(jet::encodeCodePage(text, 1252), raw);
  // A lead byte at the end of a double-byte text is kept, not dropped.
  const std::string cut = "a\x93";
  jet::ByteView c(reinterpret_cast<const uint8_t*>(cut.data()), cut.size());
  EXPECT_EQ(jet::decodeCodePage(c, 932), (std::u16string{u'a', 0x93}));
  // Unset and unknown code pages read as Western.
  EXPECT_EQ(jet::decodeCodePage(v, 0), text);
  EXPECT_EQ(jet::decodeCodePage(v, 12345), text);
}

TEST(CodePages, CharacterTheCodePageCannotHoldIsRefused) {
  try {
    jet::encodeCodePage(u"Жук", 1252);
    ADD_FAILURE() << "stored a character 1252 cannot hold";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::err::kTypeConversion);
    EXPECT_NE(std::string(e.what()).find("U+0416"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("1252"), std::string::npos) << e.what();
  }
  EXPECT_EQ(jet::err::kTypeConversion, errorOf([] { jet::encodeCodePage(u"ok 日本", 1250); }));
  EXPECT_EQ(jet::err::kTypeConversion, errorOf([] { jet::encodeCodePage(u"Ω", 1255); }));
  EXPECT_EQ(jet::err::kTypeConversion, errorOf([] { jet::encodeCodePage(std::u16string(1, char16_t(0xD800)), 1251); }));
}

namespace {

// Changes the code page a Jet 3 file's header names. The header is stored
// under a fixed RC4 stream, so the stored bytes change by the XOR of the old
// and the new value.
void setHeaderCodePage(const std::string& path, uint16_t cp) {
  uint16_t old = 0;
  {
    auto db = jet::Database::open(path, {.readOnly = true});
    old = db->header().codePage;
  }
  FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  unsigned char b[2];
  ASSERT_EQ(std::fseek(f, 0x3C, SEEK_SET), 0);
  ASSERT_EQ(std::fread(b, 1, 2, f), 2u);
  b[0] ^= static_cast<unsigned char>((old ^ cp) & 0xFF);
  b[1] ^= static_cast<unsigned char>((old ^ cp) >> 8);
  ASSERT_EQ(std::fseek(f, 0x3C, SEEK_SET), 0);
  ASSERT_EQ(std::fwrite(b, 1, 2, f), 2u);
  std::fclose(f);
}

std::vector<jet::Value> row(const std::string& a, const std::string& b) {
  std::vector<jet::Value> v(9);
  v[0] = jet::Value::text(a);
  v[1] = jet::Value::text(b);
  return v;
}

}  // namespace

// Table1 of testV1997.mdb: A text (primary key), B text (indexed), ...
TEST(CodePages, Jet3FileIsReadAndWrittenInTheCodePageItsHeaderNames) {
  SKIP_WITHOUT_SHARED();
  const std::string src = testsupport::fixture("jet3/testV1997.mdb");
  for (const auto& s : kSamples) {
    SCOPED_TRACE(s.cp);
    std::string path = testsupport::copyToTemp(src);
    setHeaderCodePage(path, s.cp);
    // Short values: Jet 3 text sizes count bytes.
    std::u16string text = jet::utf8ToUtf16(s.utf8).substr(0, 8);
    std::string value = jet::utf16ToUtf8(text);
    uint32_t rows = 0;
    {
      auto db = jet::Database::open(path);
      ASSERT_EQ(db->header().codePage, s.cp);
      jet::TableWriter w(*db, "Table1");
      rows = w.def()->rowCount;
      jet::ChangeScope change(*db);
      w.insert(row("cp " + std::to_string(s.cp), value));
      change.commit();
    }
    {
      auto db = jet::Database::open(path);
      EXPECT_EQ(db->table("Table1")->rowCount, rows + 1);
      auto r = jet::checkDatabase(*db);
      for (const auto& p : r.problems) ADD_FAILURE() << p;
      bool found = false;
      auto scan = db->scan("Table1");
      while (scan->next())
        if (scan->values()[0].bytes() == "cp " + std::to_string(s.cp)) {
          found = true;
          EXPECT_EQ(scan->values()[1].bytes(), value);
        }
      EXPECT_TRUE(found);
      // The stored bytes are the code page's, not Western's.
      std::string file = testsupport::readFile(path);
      EXPECT_NE(file.find(jet::encodeCodePage(text, s.cp)), std::string::npos);
    }
    {
      // A character this code page cannot hold is refused and nothing is stored.
      auto db = jet::Database::open(path);
      jet::TableWriter w(*db, "Table1");
      const char* foreign = s.cp == 1251 ? "Ω" : "Ж";
      if (s.cp == 932 || s.cp == 936 || s.cp == 949 || s.cp == 950 || s.cp == 1253) foreign = "ğ";
      EXPECT_EQ(jet::err::kTypeConversion, errorOf([&] {
                  jet::ChangeScope change(*db);
                  w.insert(row("refused", foreign));
                  change.commit();
                }));
    }
    auto db = jet::Database::open(path);
    EXPECT_EQ(db->table("Table1")->rowCount, rows + 1);
    EXPECT_TRUE(jet::checkDatabase(*db).problems.empty());
  }
}

// Two keys of a product-made Western Jet 3 file: a letter that sorts as two
// letters counts two positions before the next accent, and a byte 1252
// leaves undefined (read as U+0081, shown like a blank) keeps its code.
TEST(CodePages, Jet3TextKeysOfTheProductsFile) {
  auto key = [](const std::string& bytes) {
    jet::ByteView v(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    std::vector<uint8_t> out;
    jet::appendTextSortKey(jet::TextSortOrder::General97, jet::decodeCodePage(v, 1252), true, out);
    return hex(std::string(out.begin(), out.end()));
  };
  std::string k = key("Plutzer Lebensmittelgro\xDFm\xE4rkte AG");
  EXPECT_EQ(k.substr(k.size() - 30), "11 60 68 02 22 22 22 22 22 60 ") << k;
  EXPECT_EQ(key("Lock\x81"), "6D 72 62 6C 10 00 ");
}
