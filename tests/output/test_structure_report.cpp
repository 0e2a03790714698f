// The structure printout's layout with fixed-width metrics (every character
// 100 twips wide at 8 pt, lines 180 twips apart): banner, titles, captions
// and rows at their twips, the page breaks of the field and index sections,
// wrapped index boxes and the row height they leave, and the texts of the
// banner.
#include <gtest/gtest.h>

#include <algorithm>

#include "output/structure_report.h"

using output::ReportFont;
using output::ReportPage;
using output::ReportText;

namespace {

struct FixedMetrics : output::TextMetrics {
  double width(const std::string& s, const ReportFont& f) const override {
    return static_cast<double>(s.size()) * 100.0 * f.points / 8.0;
  }
  double lineSpacing(const ReportFont& f) const override { return 180.0 * f.points / 8.0; }
};

std::tm when() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;  // March
  t.tm_mday = 4;
  t.tm_hour = 17;
  t.tm_min = 5;
  t.tm_sec = 9;
  return t;
}

output::StructureSource table(int fields, int indexes) {
  output::StructureSource s;
  s.name = "Orders  ";
  s.recordCount = "830";
  s.fieldCaptions = {"Name", "Type", "Size", "Required"};
  for (int i = 1; i <= fields; ++i)
    s.fields.push_back({"F" + std::to_string(i), "dbText", "50", "False"});
  s.indexCaptions = {"Index Name", "Fields within Index", "Required", "Primary", "Unique"};
  for (int i = 1; i <= indexes; ++i)
    s.indexes.push_back({"IX" + std::to_string(i), "+F" + std::to_string(i), "False", "False", "True"});
  return s;
}

const ReportText* find(const ReportPage& p, const std::string& text) {
  for (const auto& t : p.texts)
    if (t.text == text) return &t;
  return nullptr;
}

// The vertical positions of texts that start with prefix, in order.
std::vector<int> rowsOf(const ReportPage& p, const std::string& prefix) {
  std::vector<int> ys;
  for (const auto& t : p.texts)
    if (t.x == 400 && t.text.rfind(prefix, 0) == 0) ys.push_back(t.y);
  return ys;
}

std::vector<ReportPage> lay(const output::StructureSource& s) {
  FixedMetrics m;
  return output::layoutStructure(s, when(), m);
}

}  // namespace

TEST(StructureLayout, FirstPageAtItsTwips) {
  auto pages = lay(table(3, 2));
  ASSERT_EQ(pages.size(), 1u);
  const ReportPage& p = pages[0];
  const ReportFont banner{10, false, false}, body{8, false, false}, caption{8, false, true},
      title{12, true, false};
  EXPECT_EQ(p.texts[0], (ReportText{750, 500, "03-04-2026 17:05:09    Field Definition for Orders", banner}));
  EXPECT_EQ(p.texts[1], (ReportText{750, 750, "Records: 830", banner}));
  EXPECT_EQ(p.texts[2], (ReportText{10000, 750, "PAGE:  1", banner}));
  EXPECT_EQ(p.texts[3], (ReportText{2000, 1000, "FIELD STRUCTURE", title}));
  const char* heads[4] = {"Name", "Type", "Size", "Required"};
  for (int c = 0; c < 4; ++c) EXPECT_EQ(p.texts[4 + c], (ReportText{400 + 2000 * c, 1250, heads[c], caption}));
  // Field rows from 1700, 250 apart, cells 2000 apart, not wrapped.
  EXPECT_EQ(p.texts[8], (ReportText{400, 1700, "F1", body}));
  EXPECT_EQ(p.texts[9], (ReportText{2400, 1700, "dbText", body}));
  EXPECT_EQ(p.texts[15], (ReportText{6400, 1950, "False", body}));
  EXPECT_EQ(rowsOf(p, "F"), (std::vector<int>{1700, 1950, 2200}));
  // The index section: title 200 below the last field line, captions 250
  // lower, the first row 200 below the captions, rows one line + 50 apart.
  const ReportText* ix = find(p, "INDEX DETAIL");
  ASSERT_NE(ix, nullptr);
  EXPECT_EQ(*ix, (ReportText{2000, 2400, "INDEX DETAIL", title}));
  const ReportText* cap = find(p, "Fields within Index");
  ASSERT_NE(cap, nullptr);
  EXPECT_EQ(*cap, (ReportText{2400, 2650, "Fields within Index", caption}));
  EXPECT_EQ(rowsOf(p, "IX"), (std::vector<int>{2850, 2850 + 230}));
  ASSERT_EQ(p.boxes.size(), 10u);
  EXPECT_EQ(p.boxes[0], (output::ReportBox{400, 2850, 2000, 180}));
  EXPECT_EQ(p.boxes[9], (output::ReportBox{8400, 3080, 2000, 180}));
}

TEST(StructureLayout, NoIndexesStillPrintsTheSectionHeader) {
  auto pages = lay(table(1, 0));
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(find(pages[0], "INDEX DETAIL"), nullptr);
  EXPECT_NE(find(pages[0], "Unique"), nullptr);
  EXPECT_TRUE(rowsOf(pages[0], "IX").empty());
  EXPECT_TRUE(pages[0].boxes.empty());
}

TEST(StructureLayout, LongFieldListContinuesUnderANewBanner) {
  auto pages = lay(table(60, 1));
  ASSERT_EQ(pages.size(), 2u);
  // Page 1: rows 1..46 (the 47th would stand at 13200, past 13000).
  std::vector<int> first = rowsOf(pages[0], "F");
  ASSERT_EQ(first.size(), 46u);
  EXPECT_EQ(first.back(), 12950);
  // Page 2: banner in 8 point, page 2, the title and captions, rows from 1450.
  const ReportPage& p = pages[1];
  EXPECT_EQ(p.texts[0], (ReportText{750, 500, "03-04-2026 17:05:09    Field Definition for Orders", {8, false, false}}));
  EXPECT_EQ(p.texts[2], (ReportText{10000, 750, "PAGE:  2", {8, false, false}}));
  EXPECT_EQ(p.texts[3].text, "FIELD STRUCTURE");
  EXPECT_EQ(p.texts[3].y, 1000);
  std::vector<int> second = rowsOf(p, "F");
  ASSERT_EQ(second.size(), 14u);
  EXPECT_EQ(second.front(), 1450);
  EXPECT_EQ(second.back(), 1450 + 13 * 250);
  EXPECT_EQ(find(p, "F47")->y, 1450);
  EXPECT_EQ(find(p, "INDEX DETAIL")->y, 4700 + 200);
}

TEST(StructureLayout, IndexSectionMovesToANewPageBelowTwelveThousand) {
  // 42 fields end at 11950 (stays); 43 end at 12200 (moves).
  auto stays = lay(table(42, 1));
  ASSERT_EQ(stays.size(), 1u);
  EXPECT_EQ(find(stays[0], "INDEX DETAIL")->y, 12150);
  auto moves = lay(table(43, 1));
  ASSERT_EQ(moves.size(), 2u);
  const ReportPage& p = moves[1];
  EXPECT_EQ(find(p, "PAGE:  2")->y, 750);
  EXPECT_EQ(find(p, "FIELD STRUCTURE")->y, 1000);
  EXPECT_TRUE(rowsOf(p, "F").empty());  // an empty field table
  EXPECT_EQ(find(p, "INDEX DETAIL")->y, 1650);
  EXPECT_EQ(find(p, "Index Name")->y, 1900);
  EXPECT_EQ(rowsOf(p, "IX"), (std::vector<int>{2100}));
}

TEST(StructureLayout, IndexRowsBreakPastThirteenThousandFiveHundred) {
  auto pages = lay(table(1, 60));
  // Page 1: rows from 2350 (one field at 1700), 230 apart, while <= 13500.
  std::vector<int> first = rowsOf(pages[0], "IX");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first.front(), 2350);
  for (size_t i = 1; i < first.size(); ++i) EXPECT_EQ(first[i] - first[i - 1], 230);
  EXPECT_LE(first.back(), 13500);
  EXPECT_GT(first.back() + 230, 13500);
  ASSERT_EQ(pages.size(), 2u);
  const ReportPage& p = pages[1];
  // The new page carries the banner, page 2, no field section.
  EXPECT_EQ(p.texts[0].y, 500);
  EXPECT_EQ(p.texts[0].font.points, 8);
  EXPECT_EQ(find(p, "PAGE:  2")->y, 750);
  EXPECT_EQ(find(p, "FIELD STRUCTURE"), nullptr);
  EXPECT_EQ(find(p, "INDEX DETAIL")->y, 950);
  EXPECT_EQ(find(p, "Index Name")->y, 1200);
  std::vector<int> second = rowsOf(p, "IX");
  EXPECT_EQ(second.front(), 1450);
  EXPECT_EQ(first.size() + second.size(), 60u);
}

TEST(StructureLayout, WrappedIndexCellsSetTheRowHeight) {
  output::StructureSource s = table(1, 0);
  // 20 characters fit a 2000-twip box: 1, 3 and 2 lines.
  s.indexes.push_back({"IX1", "+Alpha;+Beta;+Gamma;+Delta;+Epsilon;+Zeta", "False", "False", "False"});
  s.indexes.push_back({"IX2", "+A;+B", "False", "False", "False"});
  s.indexes.push_back({"A very long index name", "+A", "False", "False", "False"});
  s.indexes.push_back({"IX4", "+A", "False", "False", "False"});
  auto pages = lay(s);
  ASSERT_EQ(pages.size(), 1u);
  const ReportPage& p = pages[0];
  // Row 1 holds a box of 3 lines (540 high): the next row starts 590 lower.
  EXPECT_EQ(find(p, "+Alpha;+Beta;+Gamma;")->y, 2350);
  EXPECT_EQ(find(p, "+Alpha;+Beta;+Gamma;")->x, 2400);
  EXPECT_EQ(find(p, "+Delta;+Epsilon;")->y, 2350 + 180);
  EXPECT_EQ(find(p, "+Zeta")->y, 2350 + 360);
  EXPECT_EQ(find(p, "IX2")->y, 2350 + 590);
  // Row 3's name wraps onto a second line: the next row is 410 lower.
  EXPECT_EQ(find(p, "A very long index")->y, 2940 + 230);
  EXPECT_EQ(find(p, "name")->y, 3170 + 180);
  EXPECT_EQ(find(p, "IX4")->y, 3170 + 410);
  EXPECT_EQ(p.boxes[1], (output::ReportBox{2400, 2350, 2000, 540}));
}

TEST(StructureLayout, RowThatWouldRunOffThePaperStartsTheNextPage) {
  output::StructureSource s = table(1, 0);
  // 12 lines of 20 characters: 2160 twips high. Rows start at 2350, 4560,
  // ... 13400, which passes no break line but would end at 15560.
  std::string tall;
  for (int i = 0; i < 12; ++i) tall += "+ABCDEFGHIJKLMNOPQ; ";
  for (int i = 0; i < 7; ++i) s.indexes.push_back({"IX" + std::to_string(i), tall, "False", "False", "False"});
  auto pages = lay(s);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(rowsOf(pages[0], "IX").back(), 11190);
  for (const auto& p : pages)
    for (const auto& b : p.boxes) EXPECT_LE(b.y + b.height, output::kPrintableBottomTwips);
  EXPECT_EQ(rowsOf(pages[1], "IX").front(), 1450);
}

TEST(StructureLayout, BannerTexts) {
  std::tm t{};
  t.tm_year = 99;
  t.tm_mon = 11;
  t.tm_mday = 31;
  t.tm_hour = 0;
  EXPECT_EQ(output::dateLine(t, "Customers   "), "12-31-1999 00:00:00    Field Definition for Customers");
  EXPECT_EQ(output::pageText(1), "PAGE:  1");
  EXPECT_EQ(output::pageText(12), "PAGE:  12");
}

TEST(StructureLayout, WrapBreaksAtBlanksSeparatorsAndInsideLongWords) {
  FixedMetrics m;
  ReportFont f;
  using V = std::vector<std::string>;
  EXPECT_EQ(output::wrapText("", 2000, f, m), V{""});
  EXPECT_EQ(output::wrapText("short", 2000, f, m), V{"short"});
  EXPECT_EQ(output::wrapText("one two three four five six", 1000, f, m), (V{"one two", "three four", "five six"}));
  EXPECT_EQ(output::wrapText("+Aaaa;+Bbbb;+Cccc", 1200, f, m), (V{"+Aaaa;+Bbbb;", "+Cccc"}));
  EXPECT_EQ(output::wrapText("ABCDEFGHIJKLMNOPQRSTUVWXY", 1000, f, m), (V{"ABCDEFGHIJ", "KLMNOPQRST", "UVWXY"}));
  // Multi-byte characters are never split.
  EXPECT_EQ(output::wrapText("\xC3\xA9\xC3\xA9\xC3\xA9", 300, f, m), (V{"\xC3\xA9", "\xC3\xA9", "\xC3\xA9"}));
  for (const auto& line : output::wrapText(std::string(50, 'x') + " y", 700, f, m))
    EXPECT_LE(m.width(line, f), 700);
}
