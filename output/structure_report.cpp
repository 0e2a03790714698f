#include "output/structure_report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace output {

namespace {

// Layout constants (twips, points).
constexpr int kBannerTop = 500;
constexpr int kLineStep = 250;
constexpr int kBannerLeft = 750;
constexpr int kPageNumberLeft = 10000;
constexpr int kTitleLeft = 2000;
constexpr int kFirstCell = 400;
constexpr int kCellStep = 2000;
constexpr int kBoxWidth = 2000;
constexpr int kRowExtra = 50;
constexpr int kFieldBreak = 13000;
constexpr int kIndexSectionBreak = 12000;
constexpr int kIndexBreak = 13500;
constexpr int kCaptionGap = 200;
constexpr int kStartPoints = 10;
constexpr int kTitlePoints = 12;
constexpr int kBodyPoints = 8;
// Where the first index row of a page started in the index section stands.
constexpr int kIndexTopAfterBreak = 1450;

std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// Length in bytes of the UTF-8 sequence that starts with byte c.
size_t seqLen(unsigned char c) {
  if (c < 0x80) return 1;
  if ((c >> 5) == 0x6) return 2;
  if ((c >> 4) == 0xE) return 3;
  if ((c >> 3) == 0x1E) return 4;
  return 1;  // a stray continuation byte stands alone
}

// The print control the layout draws on: a current position, the current
// font and the pages so far. A new page puts the vertical position at 0.
class Sheet {
 public:
  explicit Sheet(const TextMetrics& m) : metrics_(m) { pages_.emplace_back(); }

  int currentX = 0;
  int currentY = 0;
  ReportFont font{kStartPoints, false, false};

  void newPage() {
    pages_.emplace_back();
    currentY = 0;
  }
  void print(const std::string& text) { pages_.back().texts.push_back({currentX, currentY, text, font}); }
  // The height the box of text would take.
  int boxHeight(const std::string& text) const {
    size_t lines = wrapText(text, kBoxWidth, font, metrics_).size();
    return static_cast<int>(std::lround(static_cast<double>(lines) * metrics_.lineSpacing(font)));
  }
  // Prints text wrapped into a box at (left, top); returns its height.
  int textBox(const std::string& text, int left, int top) {
    const std::vector<std::string> lines = wrapText(text, kBoxWidth, font, metrics_);
    const double step = metrics_.lineSpacing(font);
    for (size_t i = 0; i < lines.size(); ++i)
      if (!lines[i].empty())
        pages_.back().texts.push_back(
            {left, top + static_cast<int>(std::lround(static_cast<double>(i) * step)), lines[i], font});
    const int height = static_cast<int>(std::lround(static_cast<double>(lines.size()) * step));
    pages_.back().boxes.push_back({left, top, kBoxWidth, height});
    return height;
  }
  std::vector<ReportPage> take() { return std::move(pages_); }

 private:
  const TextMetrics& metrics_;
  std::vector<ReportPage> pages_;
};

class Layout {
 public:
  Layout(const StructureSource& src, const std::tm& when, const TextMetrics& m)
      : src_(src), dateLine_(dateLine(when, src.name)), sheet_(m) {}

  std::vector<ReportPage> run() {
    fieldHeader();
    for (const auto& row : src_.fields) {
      line_ += kLineStep;
      sheet_.currentY = line_;
      if (sheet_.currentY > kFieldBreak) {
        line_ = sheet_.currentY = kBannerTop;
        sheet_.newPage();
        fieldHeader();
      }
      int col = kFirstCell;
      for (const auto& cell : row) {
        sheet_.currentX = col;
        sheet_.currentY = line_;
        col += kCellStep;
        sheet_.print(cell);
      }
    }
    if (sheet_.currentY > kIndexSectionBreak) {
      line_ = sheet_.currentY = kBannerTop;
      sheet_.newPage();
      fieldHeader();
    }
    indexHeader();
    line_ += kCaptionGap;
    int rowHeight = 0;
    for (const auto& row : src_.indexes) {
      line_ += rowHeight;
      sheet_.currentY = line_;
      // A row that would run off the paper starts the next page as well,
      // when it fits there.
      const int tallest = tallestBox(row);
      const bool offPaper = sheet_.currentY + tallest > kPrintableBottomTwips &&
                            kIndexTopAfterBreak + tallest <= kPrintableBottomTwips;
      if (sheet_.currentY > kIndexBreak || offPaper) {
        sheet_.newPage();
        indexHeader();
        sheet_.currentY += kLineStep;
      }
      line_ = sheet_.currentY;
      rowHeight = 0;
      int col = kFirstCell;
      for (const auto& cell : row) {
        sheet_.currentX = col;
        sheet_.currentY = line_;
        int h = sheet_.textBox(cell, col, line_);
        if (h > rowHeight) rowHeight = h + kRowExtra;
        col += kCellStep;
      }
    }
    return sheet_.take();
  }

 private:
  int tallestBox(const std::vector<std::string>& row) const {
    int h = 0;
    for (const auto& cell : row) h = std::max(h, sheet_.boxHeight(cell));
    return h;
  }

  void banner() {
    ++page_;
    line_ = sheet_.currentY = kBannerTop;
    sheet_.currentX = kBannerLeft;
    sheet_.print(dateLine_);
    sheet_.currentX = kBannerLeft;
    line_ += kLineStep;
    sheet_.currentY = line_;
    sheet_.print("Records: " + src_.recordCount);
    sheet_.currentX = kPageNumberLeft;
    sheet_.print(pageText(page_));
  }

  void title(const char* text) {
    sheet_.font.bold = true;
    sheet_.currentX = kTitleLeft;
    sheet_.font.points = kTitlePoints;
    sheet_.print(text);
    sheet_.font.bold = false;
    sheet_.font.points = kBodyPoints;
  }

  void captions(const std::vector<std::string>& heads) {
    int col = kFirstCell;
    sheet_.font.underline = true;
    for (const auto& h : heads) {
      sheet_.currentX = col;
      sheet_.currentY = line_;
      sheet_.print(h);
      col += kCellStep;
    }
    sheet_.font.underline = false;
  }

  void fieldHeader() {
    banner();
    line_ += kLineStep;
    sheet_.currentY = line_;
    title("FIELD STRUCTURE");
    line_ += kLineStep;
    sheet_.currentY = line_;
    captions(src_.fieldCaptions);
    line_ += kCaptionGap;
    sheet_.currentY = line_;
  }

  void indexHeader() {
    if (sheet_.currentY == 0) banner();
    sheet_.currentY += kCaptionGap;
    line_ = sheet_.currentY;
    title("INDEX DETAIL");
    line_ += kLineStep;
    sheet_.currentY = line_;
    captions(src_.indexCaptions);
  }

  const StructureSource& src_;
  const std::string dateLine_;
  Sheet sheet_;
  int line_ = 0;
  int page_ = 0;
};

}  // namespace

std::string dateLine(const std::tm& when, const std::string& name) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d-%02d-%04d %02d:%02d:%02d", when.tm_mon + 1, when.tm_mday,
                when.tm_year + 1900, when.tm_hour, when.tm_min, when.tm_sec);
  return std::string(buf) + "    Field Definition for " + rtrim(name);
}

std::string pageText(int page) {
  return "PAGE: " + std::string(page < 0 ? "-" : " ") + std::to_string(page < 0 ? -page : page);
}

std::vector<std::string> wrapText(const std::string& text, double width, const ReportFont& font,
                                  const TextMetrics& metrics) {
  std::vector<std::string> lines;
  std::string line;
  size_t i = 0;
  while (i < text.size()) {
    // The next piece: a run up to and including a break character.
    size_t j = i;
    while (j < text.size()) {
      char c = text[j];
      j += seqLen(static_cast<unsigned char>(c));
      if (c == ' ' || c == ';' || c == ',') break;
    }
    if (j > text.size()) j = text.size();
    std::string piece = text.substr(i, j - i);
    i = j;
    std::string candidate = line + piece;
    std::string shown = rtrim(candidate);
    if (metrics.width(shown, font) <= width || shown.empty()) {
      line = candidate;
      continue;
    }
    if (!rtrim(line).empty()) {
      lines.push_back(rtrim(line));
      line.clear();
    }
    // The piece alone; broken between characters while it is too wide.
    while (metrics.width(rtrim(piece), font) > width) {
      size_t k = 0, fit = 0;
      while (k < piece.size()) {
        size_t n = k + seqLen(static_cast<unsigned char>(piece[k]));
        if (n > piece.size()) n = piece.size();
        if (metrics.width(piece.substr(0, n), font) > width) break;
        fit = k = n;
      }
      if (fit == 0) fit = std::min(piece.size(), seqLen(static_cast<unsigned char>(piece[0])));
      lines.push_back(piece.substr(0, fit));
      piece.erase(0, fit);
    }
    line = piece;
  }
  if (!rtrim(line).empty() || lines.empty()) lines.push_back(rtrim(line));
  return lines;
}

std::vector<ReportPage> layoutStructure(const StructureSource& src, const std::tm& when,
                                        const TextMetrics& metrics) {
  return Layout(src, when, metrics).run();
}

}  // namespace output
