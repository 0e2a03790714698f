// glimmer-cli report: the structure printout of a table of 60 columns and 30
// indexes of ten columns each, written to PDF and read back with pdftotext
// -bbox: every text at its twips (within a point), the field section's break
// after 46 rows, the index section below the last field line, index rows as
// far apart as their wrapped boxes are high, the index section's page
// breaks with the banner on each new page, and the page count. Also the
// report of every user table, an unknown table and an unwritable target.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "jet/create.h"
#include "jet/database.h"
#include "support/test_support.h"

namespace {

struct Word {
  double x, y;
  std::string text;
};
using Page = std::vector<Word>;

std::string cli() { return testsupport::binDir() + "/glimmer-cli"; }

std::string column(int i) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Column_Number_%02d", i);
  return buf;
}

// A database holding "Wide": 60 text columns, 30 indexes of 10 columns each.
std::string wideDatabase(const std::string& dir) {
  std::string path = dir + "/wide.mdb";
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::TableSpec t;
  t.name = "Wide";
  for (int i = 1; i <= 60; ++i) t.columns.push_back(jet::columnSpec(column(i), jet::DataType::Text, 20));
  for (int k = 0; k < 30; ++k) {
    std::vector<std::pair<std::string, bool>> cols;
    for (int j = 0; j < 10; ++j) cols.push_back({column((k + j) % 60 + 1), j % 2 == 0});
    char name[16];
    std::snprintf(name, sizeof name, "Index_%02d", k + 1);
    t.indexes.push_back(jet::indexSpec(name, cols, false, k == 0));
  }
  jet::createTable(*db, t);
  jet::TableSpec small;
  small.name = "Small";
  small.columns.push_back(jet::columnSpec("Id", jet::DataType::Long));
  small.indexes.push_back(jet::primaryKeySpec("Id"));
  jet::createTable(*db, small);
  return path;
}

std::vector<Page> readBack(const std::string& pdf) {
  std::string html;
  EXPECT_EQ(testsupport::run("pdftotext -bbox '" + pdf + "' -", &html), 0);
  std::vector<Page> pages;
  std::regex tag(R"re(<page |<word xMin="([0-9.]+)" yMin="([0-9.]+)"[^>]*>([^<]*)</word>)re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), tag); it != std::sregex_iterator(); ++it) {
    if ((*it)[0].str() == "<page ") {
      pages.emplace_back();
      continue;
    }
    pages.back().push_back({std::stod((*it)[1]), std::stod((*it)[2]), (*it)[3]});
  }
  return pages;
}

// The first word reading text; nullptr when absent.
const Word* find(const Page& p, const std::string& text) {
  for (const auto& w : p)
    if (w.text == text) return &w;
  return nullptr;
}

// Words starting with prefix at the twips column x, top to bottom.
std::vector<Word> columnWords(const Page& p, int xTwips, const std::string& prefix) {
  std::vector<Word> out;
  for (const auto& w : p)
    if (std::fabs(w.x - xTwips / 20.0) < 1 && w.text.rfind(prefix, 0) == 0) out.push_back(w);
  return out;
}

#define EXPECT_AT(word, xTwips, yTwips)                 \
  do {                                                  \
    ASSERT_NE((word), nullptr);                         \
    EXPECT_NEAR((word)->x, (xTwips) / 20.0, 1.0);       \
    EXPECT_NEAR((word)->y, (yTwips) / 20.0, 1.0);       \
  } while (0)

bool haveReport() {
#ifndef GLIMMER_HAVE_REPORT
  return false;  // this glimmer-cli is built without Qt
#else
  std::string out;
  testsupport::run(cli() + " --help", &out);
  return testsupport::haveCommand("pdftotext") && out.find("report FILE") != std::string::npos;
#endif
}

}  // namespace

TEST(Report, WideTableReadBackFromThePdf) {
  if (!haveReport()) GTEST_SKIP() << "pdftotext or the report command is not there";
  std::string dir = testsupport::tempDir();
  std::string db = wideDatabase(dir);
  std::string out;
  ASSERT_EQ(testsupport::run(cli() + " report '" + db + "' '" + dir + "/wide.pdf' Wide", &out), 0);
  std::vector<Page> pages = readBack(dir + "/wide.pdf");
  ASSERT_GE(pages.size(), 3u);
  EXPECT_NE(out.find(std::to_string(pages.size()) + " pages, 1 table"), std::string::npos) << out;

  // Page 1: banner, title, captions, field rows 250 apart from 1700.
  const Page& p1 = pages[0];
  ASSERT_FALSE(p1.empty());
  EXPECT_AT(&p1[0], 750, 500);  // the date
  ASSERT_NE(find(p1, "Definition"), nullptr);
  EXPECT_NEAR(find(p1, "Definition")->y, 500 / 20.0, 1.0);
  EXPECT_AT(find(p1, "Records:"), 750, 750);
  EXPECT_AT(find(p1, "PAGE:"), 10000, 750);
  EXPECT_AT(find(p1, "FIELD"), 2000, 1000);
  EXPECT_AT(find(p1, "Name"), 400, 1250);
  EXPECT_AT(find(p1, "Type"), 2400, 1250);
  EXPECT_AT(find(p1, "Size"), 4400, 1250);
  EXPECT_AT(find(p1, "Required"), 6400, 1250);
  std::vector<Word> rows1 = columnWords(p1, 400, "Column_Number_");
  ASSERT_EQ(rows1.size(), 46u);
  for (size_t i = 0; i < rows1.size(); ++i) {
    EXPECT_EQ(rows1[i].text, column(static_cast<int>(i) + 1));
    EXPECT_NEAR(rows1[i].y, (1700 + 250 * static_cast<int>(i)) / 20.0, 1.0);
  }
  EXPECT_AT(find(p1, "dbText"), 2400, 1700);
  EXPECT_EQ(find(p1, "INDEX"), nullptr);

  // Page 2: the banner again, rows 47..60 from 1450, then the index section.
  const Page& p2 = pages[1];
  EXPECT_AT(find(p2, "PAGE:"), 10000, 750);
  EXPECT_AT(find(p2, "FIELD"), 2000, 1000);
  std::vector<Word> rows2 = columnWords(p2, 400, "Column_Number_");
  ASSERT_EQ(rows2.size(), 14u);
  EXPECT_EQ(rows2[0].text, column(47));
  EXPECT_NEAR(rows2[0].y, 1450 / 20.0, 1.0);
  const int lastField = 1450 + 13 * 250;
  EXPECT_AT(find(p2, "INDEX"), 2000, lastField + 200);
  EXPECT_AT(find(p2, "Fields"), 2400, lastField + 450);
  EXPECT_AT(find(p2, "Unique"), 8400, lastField + 450);

  // Index rows on every page: row k + 1 stands below row k by its highest
  // box (wrapped lines of the field list) plus 50 twips; no row starts
  // below 13500; a page that continues the index section starts with the
  // banner, the title at 950, the captions at 1200 and its first row at 1450.
  int seen = 0;
  double lineStep = 0;
  for (size_t pi = 1; pi < pages.size(); ++pi) {
    const Page& p = pages[pi];
    std::vector<Word> names = columnWords(p, 400, "Index_");
    ASSERT_FALSE(names.empty()) << "page " << pi + 1;
    if (pi >= 2) {
      EXPECT_AT(find(p, "PAGE:"), 10000, 750);
      EXPECT_AT(find(p, "INDEX"), 2000, 950);
      EXPECT_AT(find(p, "Index"), 400, 1200);
      EXPECT_NEAR(names[0].y, 1450 / 20.0, 1.0);
      EXPECT_EQ(find(p, "FIELD"), nullptr);
    } else {
      EXPECT_NEAR(names[0].y, (lastField + 650) / 20.0, 1.0);
    }
    for (size_t k = 0; k < names.size(); ++k) {
      ++seen;
      EXPECT_LE(names[k].y, 13500 / 20.0 + 1);
      // The field-list box of this row: its wrapped lines.
      double bottom = k + 1 < names.size() ? names[k + 1].y : 1e9;
      std::vector<double> lines;
      for (const auto& w : columnWords(p, 2400, "+"))
        if (w.y >= names[k].y - 0.5 && w.y < bottom - 0.5) lines.push_back(w.y);
      for (const auto& w : columnWords(p, 2400, "-"))
        if (w.y >= names[k].y - 0.5 && w.y < bottom - 0.5) lines.push_back(w.y);
      std::sort(lines.begin(), lines.end());
      ASSERT_GE(lines.size(), 2u) << "a long field list wraps";
      EXPECT_NEAR(lines[0], names[k].y, 1.0);
      if (lineStep == 0) lineStep = lines[1] - lines[0];
      EXPECT_NEAR(lines[1] - lines[0], lineStep, 0.2);
      const double next = names[k].y + static_cast<double>(lines.size()) * lineStep + 2.5;
      if (k + 1 < names.size()) {
        EXPECT_NEAR(bottom, next, 1.0);
      } else if (pi + 1 < pages.size()) {
        EXPECT_GT(next, 13500 / 20.0);  // the next row would have started below 13500
      }
    }
  }
  EXPECT_EQ(seen, 30);
  EXPECT_NEAR(lineStep, 184 / 20.0, 0.5);  // 8-point Arial lines
}

TEST(Report, EveryUserTableAndErrors) {
  if (!haveReport()) GTEST_SKIP() << "pdftotext or the report command is not there";
  std::string dir = testsupport::tempDir();
  std::string db = wideDatabase(dir);
  std::string out;
  ASSERT_EQ(testsupport::run(cli() + " report '" + db + "' '" + dir + "/all.pdf'", &out), 0);
  std::vector<Page> pages = readBack(dir + "/all.pdf");
  std::set<std::string> named;
  for (const auto& p : pages)
    for (size_t i = 0; i + 1 < p.size(); ++i)
      if (p[i].text == "for") named.insert(p[i + 1].text);
  EXPECT_EQ(named, (std::set<std::string>{"Small", "Wide"}));
  EXPECT_NE(out.find("2 tables"), std::string::npos);
  // In name order, each table numbering its own pages: "Small" is page 1,
  // and so is the first page of "Wide" after it.
  ASSERT_GE(pages.size(), 2u);
  EXPECT_NE(find(pages[0], "Small"), nullptr);
  EXPECT_NE(find(pages[1], "Wide"), nullptr);
  for (int i = 0; i < 2; ++i) {
    const Page& p = pages[static_cast<size_t>(i)];
    for (size_t k = 0; k + 1 < p.size(); ++k)
      if (p[k].text == "PAGE:") {
        EXPECT_EQ(p[k + 1].text, "1");
      }
  }

  EXPECT_NE(testsupport::run(cli() + " report '" + db + "' '" + dir + "/x.pdf' NoSuchTable 2>/dev/null", &out), 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/x.pdf"));
  EXPECT_NE(testsupport::run(cli() + " report '" + db + "' '" + dir + "/no/such/x.pdf' 2>/dev/null", &out), 0);
  EXPECT_NE(testsupport::run(cli() + " report '" + dir + "/missing.mdb' '" + dir + "/y.pdf' 2>/dev/null", &out), 0);
  EXPECT_FALSE(std::filesystem::exists(dir + "/y.pdf"));
}
