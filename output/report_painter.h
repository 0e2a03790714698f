// Drawing the structure printout's pages (output/structure_report.h) with
// Qt: the printing font and its metrics, one painter routine for the
// preview, a printer and a PDF file. Pages are US Letter, positions
// measured from the paper's top-left corner (no margins).
#pragma once

#include <QFont>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "output/structure_report.h"

class QPainter;
class QPagedPaintDevice;
class QPrinter;

namespace output {

// "Arial" where installed, otherwise its metric-compatible "Liberation Sans".
QString reportFontFamily();
// The font of a report text, sized in twips (the painter's unit).
QFont reportQFont(const ReportFont& font);

// The printing font's measures (needs a QGuiApplication).
class QtTextMetrics : public TextMetrics {
 public:
  double width(const std::string& utf8, const ReportFont& font) const override;
  double lineSpacing(const ReportFont& font) const override;
};

// Letter, portrait, no margins; a QPrinter also prints on the full page.
void setupReportPage(QPagedPaintDevice& device);
void setupReportPrinter(QPrinter& printer);

// Draws one page; the painter is active on the page's device.
void paintReportPage(QPainter& painter, const ReportPage& page);

// Draws pages first..last (0-based, inclusive) onto a device set up by
// setupReportPage, one device page each. before(i) is called before page i
// is drawn; when it answers false nothing more is drawn and the answer is
// false.
bool paintReport(QPagedPaintDevice& device, const std::vector<ReportPage>& pages, int first,
                 int last, const std::function<bool(int)>& before = {});

// Writes the pages into a PDF file titled title. The file is written under
// a temporary name and renamed over path only when complete. Errors are
// jet::Error (3051 cannot be written, 3043 write failed).
void writeReportPdf(const std::string& path, const std::vector<ReportPage>& pages,
                    const std::string& title);

}  // namespace output
