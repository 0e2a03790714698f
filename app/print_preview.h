// The structure printout from the main window ("Print current Table
// Structure") and its preview window frmPrint, captioned "Print Results": a
// print preview with a navigation bar (pages, the zoom choices "Whole
// &Page", "Page &Width", "&Two Pages", "Thumb&nail", printing through the
// desktop's print dialog, "Save as PDF") and the menu bar entry "E&xit".
// The window is created on first use and stays until "E&xit" or closing;
// the next printout redraws the document in the same window.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

#include "output/structure_report.h"

class QAction;
class QLabel;
class QPrintPreviewWidget;
class QPrinter;
class QToolBar;

namespace app {

class FrmDatavane;

class FrmPrint : public QMainWindow {
  Q_OBJECT

 public:
  explicit FrmPrint(QWidget* parent = nullptr);
  ~FrmPrint() override;

  // Replaces the document shown; title names it (print jobs, PDF title).
  void setDocument(std::vector<output::ReportPage> pages, const QString& title);
  const std::vector<output::ReportPage>& pages() const { return pages_; }
  QString documentTitle() const { return title_; }

  // "Print...": the desktop's print dialog, then the pages chosen there with
  // the "Printing..." progress window (Cancel stops the job). No printer
  // installed: a message saying so; preview and PDF still work.
  void printDocument();
  // "Save as PDF...": a Save dialog (".pdf" added when no suffix is typed),
  // then the document written into that file.
  void saveAsPdf();

  QPrintPreviewWidget* pp1 = nullptr;
  QAction* mnuExit = nullptr;
  QAction* zoom[4] = {};  // Whole Page, Page Width, Two Pages, Thumbnail
  QAction* actPrint = nullptr;
  QAction* actPdf = nullptr;
  QToolBar* navigation = nullptr;
  QLabel* lblPage = nullptr;

 private:
  void paintPreview(QPrinter* printer);
  void setZoom(int choice);
  void showPageNumber();

  std::unique_ptr<QPrinter> previewPrinter_;
  std::vector<output::ReportPage> pages_;
  QString title_;
  int zoomChoice_ = 0;
};

// The open preview window, nullptr when none.
FrmPrint* printWindow();

// subPrintStructure: with no table or query chosen, "You must first select
// a Table" (title "Error"); otherwise the printout of the column and index
// lists into the preview window (created, shown and raised as needed) under
// the busy cursor. The current row and column of the index list are kept.
void subPrintStructure(FrmDatavane& w);

// What the printout shows, read from the main window's lists: the chosen
// object's name with its record count (for a query, the rows it gives), the
// column list and the index list, captions first.
output::StructureSource structureFromLists(FrmDatavane& w);

// Whether a printer is installed; tests replace the check (nullptr restores
// the real one).
bool printerInstalled();
void setPrinterCheck(std::function<bool()> check);

}  // namespace app
