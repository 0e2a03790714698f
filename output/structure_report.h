// The structure printout of one table or query, laid out as a list of pages
// of positioned texts. Every position is in twips (1/1440 inch) from the
// top-left corner of the paper; a text's position is the top-left corner of
// its line. The layout is pure code: it measures text only through the
// TextMetrics it is given, so it can be checked without a window toolkit
// (tests use fixed-width metrics; the printout uses the printing font's).
//
// Page layout: a banner (date line at 750/500, "Records: " at 750/750,
// "PAGE: " at 10000/750), the "FIELD STRUCTURE" title (12 pt bold, at 2000),
// the column captions (underlined) and one line per column, 250 twips apart,
// cells 2000 twips apart from 400; a field line below 13000 starts a new
// page, and when the last field line lies below 12000 the index section
// starts on a new page under a repeated field header. Then "INDEX DETAIL",
// its captions and one block per index, each cell wrapped into a box 2000
// twips wide; a row is as high as its highest box plus 50 (see layoutStructure
// for the exact rule) and a row starting below 13500 starts a new page whose
// header carries the banner. The first banner is in 10 pt, everything else
// in 8 pt.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace output {

// What the printout shows: the banner's object and its record count (the
// text the lists show), and the column and index lists, captions first.
struct StructureSource {
  std::string name;
  std::string recordCount;
  std::vector<std::string> fieldCaptions;
  std::vector<std::vector<std::string>> fields;
  std::vector<std::string> indexCaptions;
  std::vector<std::vector<std::string>> indexes;
};

struct ReportFont {
  int points = 8;
  bool bold = false;
  bool underline = false;
  bool operator==(const ReportFont&) const = default;
};

// One line of text; x, y: top-left corner in twips.
struct ReportText {
  int x = 0;
  int y = 0;
  std::string text;  // UTF-8
  ReportFont font;
  bool operator==(const ReportText&) const = default;
};

// An index cell's box: where its wrapped lines were placed and how high it is.
struct ReportBox {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const ReportBox&) const = default;
};

struct ReportPage {
  std::vector<ReportText> texts;
  std::vector<ReportBox> boxes;
};

// Text measures in twips for a font. Implementations must give the same
// answer for the same arguments.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  virtual double width(const std::string& utf8, const ReportFont& font) const = 0;
  // Distance from one wrapped line to the next.
  virtual double lineSpacing(const ReportFont& font) const = 0;
};

// Paper the printout is laid out for: US Letter, 8.5 by 11 inches.
constexpr int kPaperWidthTwips = 12240;
constexpr int kPaperHeightTwips = 15840;
// An index row whose boxes would pass this line starts a new page instead of
// running off the paper (unless it already starts at the top of a page).
constexpr int kPrintableBottomTwips = kPaperHeightTwips - 360;

// The date line's text: "mm-dd-yyyy hh:mm:ss    Field Definition for NAME"
// (24-hour time; trailing blanks of the name removed).
std::string dateLine(const std::tm& when, const std::string& name);
// "PAGE:  n": one blank in place of a sign before the number.
std::string pageText(int page);

// Text wrapped into lines no wider than width: breaks after blanks (which
// are dropped at the end of a line) and after ';' and ','; a word wider than
// the box is broken between characters. An empty text is one empty line.
std::vector<std::string> wrapText(const std::string& utf8, double width, const ReportFont& font,
                                  const TextMetrics& metrics);

// The printout's pages. `when` is printed in the banner.
std::vector<ReportPage> layoutStructure(const StructureSource& src, const std::tm& when,
                                        const TextMetrics& metrics);

}  // namespace output
