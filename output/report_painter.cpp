#include "output/report_painter.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include "jet/error.h"

namespace output {

QString reportFontFamily() {
  static const QString family = [] {
    const QStringList installed = QFontDatabase::families();
    for (const char* name : {"Arial", "Liberation Sans"})
      if (installed.contains(QString::fromLatin1(name), Qt::CaseInsensitive)) return QString::fromLatin1(name);
    return QStringLiteral("Liberation Sans");
  }();
  return family;
}

QFont reportQFont(const ReportFont& f) {
  QFont font(reportFontFamily());
  font.setPixelSize(f.points * 20);  // 20 twips to the point
  font.setBold(f.bold);
  font.setUnderline(f.underline);
  font.setHintingPreference(QFont::PreferNoHinting);
  font.setKerning(false);
  return font;
}

double QtTextMetrics::width(const std::string& utf8, const ReportFont& font) const {
  return QFontMetricsF(reportQFont(font)).horizontalAdvance(QString::fromStdString(utf8));
}

double QtTextMetrics::lineSpacing(const ReportFont& font) const {
  return QFontMetricsF(reportQFont(font)).lineSpacing();
}

void setupReportPage(QPagedPaintDevice& device) {
  device.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                   QMarginsF(0, 0, 0, 0), QPageLayout::Point));
}

void setupReportPrinter(QPrinter& printer) {
  printer.setFullPage(true);
  setupReportPage(printer);
}

void paintReportPage(QPainter& painter, const ReportPage& page) {
  painter.save();
  const QPaintDevice* dev = painter.device();
  painter.scale(dev->logicalDpiX() / 1440.0, dev->logicalDpiY() / 1440.0);
  painter.setPen(Qt::black);
  for (const ReportText& t : page.texts) {
    QFont font = reportQFont(t.font);
    painter.setFont(font);
    const double ascent = QFontMetricsF(font).ascent();
    painter.drawText(QPointF(t.x, t.y + ascent), QString::fromStdString(t.text));
  }
  painter.restore();
}

bool paintReport(QPagedPaintDevice& device, const std::vector<ReportPage>& pages, int first, int last,
                 const std::function<bool(int)>& before) {
  first = std::max(first, 0);
  last = std::min(last, static_cast<int>(pages.size()) - 1);
  QPainter painter;
  if (!painter.begin(&device)) return false;
  for (int i = first; i <= last; ++i) {
    if (before && !before(i)) {
      painter.end();
      return false;
    }
    if (i > first) device.newPage();
    paintReportPage(painter, pages[static_cast<size_t>(i)]);
  }
  return painter.end();
}

void writeReportPdf(const std::string& path, const std::vector<ReportPage>& pages,
                    const std::string& title) {
  const QString name = QString::fromStdString(path);
  QSaveFile file(name);
  if (!file.open(QIODevice::WriteOnly))
    throw jet::Error(jet::err::kCannotOpenFile, "The file '" + path + "' cannot be written.");
  {
    QPdfWriter pdf(&file);
    pdf.setResolution(1200);
    pdf.setTitle(QString::fromStdString(title));
    pdf.setCreator(QStringLiteral("Brackwell Glimmer"));
    setupReportPage(pdf);
    if (!paintReport(pdf, pages, 0, static_cast<int>(pages.size()) - 1)) {
      file.cancelWriting();
      throw jet::Error(jet::err::kIoError, "The file '" + path + "' could not be written.");
    }
  }
  if (!file.commit())
    throw jet::Error(jet::err::kIoError, "The file '" + path + "' could not be written.");
}

}  // namespace output
