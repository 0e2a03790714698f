#include "app/print_preview.h"

#include "app/accessible_names.h"

#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QSysInfo>
#include <QToolBar>
#include <QToolButton>
#include <ctime>

#include "app/busy_cursor.h"
#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/layout.h"
#include "app/modal.h"
#include "app/program.h"
#include "catalogue/recordset.h"
#include "catalogue/types.h"
#include "output/report_painter.h"

namespace app {

namespace {

QPointer<FrmPrint>& instance() {
  static QPointer<FrmPrint> w;
  return w;
}

std::function<bool()>& printerCheck() {
  static std::function<bool()> check;
  return check;
}

QString withoutAccessKey(QString caption) {
  caption.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
  caption.remove(QLatin1Char('&'));
  caption.replace(QStringLiteral("\x01"), QStringLiteral("&"));
  return caption;
}

QString withPdfSuffix(const QString& name) {
  if (name.isEmpty() || !QFileInfo(name).suffix().isEmpty()) return name;
  return name + QStringLiteral(".pdf");
}

}  // namespace

bool printerInstalled() {
  if (printerCheck()) return printerCheck()();
  return !QPrinterInfo::availablePrinterNames().isEmpty();
}

void setPrinterCheck(std::function<bool()> check) { printerCheck() = std::move(check); }

FrmPrint* printWindow() { return instance().data(); }

FrmPrint::FrmPrint(QWidget* parent) : QMainWindow(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmPrint"));
  setWindowTitle(QStringLiteral("Print Results"));
  setAccessibleName(QStringLiteral("Print Results"));
  setAttribute(Qt::WA_DeleteOnClose);

  QMenuBar* bar = menuBar();
  bar->setAccessibleName(QStringLiteral("Menu bar"));
  mnuExit = bar->addAction(QStringLiteral("E&xit"));
  mnuExit->setObjectName(QStringLiteral("mnuExit"));
  connect(mnuExit, &QAction::triggered, this, &QWidget::close);

  previewPrinter_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
  output::setupReportPrinter(*previewPrinter_);
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  auto* box = new QHBoxLayout(client);
  // The preview stands 120 twips from the window's left edge.
  box->setContentsMargins(twipsToPixels(120, logicalDpiX() > 0 ? logicalDpiX() : 96), 0, 0, 0);
  pp1 = new QPrintPreviewWidget(previewPrinter_.get(), client);
  pp1->setObjectName(QStringLiteral("pp1"));
  pp1->setAccessibleName(QStringLiteral("Print preview"));
  box->addWidget(pp1);
  setCentralWidget(client);
  connect(pp1, &QPrintPreviewWidget::paintRequested, this, &FrmPrint::paintPreview);
  connect(pp1, &QPrintPreviewWidget::previewChanged, this, &FrmPrint::showPageNumber);

  // The navigation bar.
  navigation = addToolBar(QStringLiteral("Navigation"));
  navigation->setObjectName(QStringLiteral("navigation"));
  navigation->setAccessibleName(QStringLiteral("Navigation"));
  navigation->setMovable(false);
  auto addTool = [this](const QString& caption, const char* name) {
    QAction* a = navigation->addAction(caption);
    a->setObjectName(QString::fromLatin1(name));
    if (QWidget* b = navigation->widgetForAction(a)) {
      b->setAccessibleName(withoutAccessKey(caption));
      b->setObjectName(QString::fromLatin1(name) + QStringLiteral("Button"));
    }
    return a;
  };
  connect(addTool(QStringLiteral("&First Page"), "actFirst"), &QAction::triggered, this, [this] {
    pp1->setCurrentPage(1);
    showPageNumber();
  });
  connect(addTool(QStringLiteral("P&revious Page"), "actPrevious"), &QAction::triggered, this, [this] {
    pp1->setCurrentPage(pp1->currentPage() - 1);
    showPageNumber();
  });
  connect(addTool(QStringLiteral("&Next Page"), "actNext"), &QAction::triggered, this, [this] {
    pp1->setCurrentPage(pp1->currentPage() + 1);
    showPageNumber();
  });
  connect(addTool(QStringLiteral("&Last Page"), "actLast"), &QAction::triggered, this, [this] {
    pp1->setCurrentPage(pp1->pageCount());
    showPageNumber();
  });
  lblPage = new QLabel(navigation);
  lblPage->setObjectName(QStringLiteral("lblPage"));
  lblPage->setMargin(6);
  navigation->addWidget(lblPage);
  navigation->addSeparator();

  auto* zoomButton = new QToolButton(navigation);
  zoomButton->setObjectName(QStringLiteral("cmdZoom"));
  zoomButton->setText(QStringLiteral("&Zoom"));
  zoomButton->setAccessibleName(QStringLiteral("Zoom"));
  zoomButton->setPopupMode(QToolButton::InstantPopup);
  auto* zoomMenu = new QMenu(zoomButton);
  zoomMenu->setObjectName(QStringLiteral("mnuZoom"));
  zoomMenu->setAccessibleName(QStringLiteral("Zoom"));
  auto* group = new QActionGroup(this);
  const char* captions[4] = {"Whole &Page", "Page &Width", "&Two Pages", "Thumb&nail"};
  const char* names[4] = {"mnuWholePage", "mnuPageWidth", "mnuTwoPages", "mnuThumbnail"};
  for (int i = 0; i < 4; ++i) {
    zoom[i] = zoomMenu->addAction(QString::fromLatin1(captions[i]));
    zoom[i]->setObjectName(QString::fromLatin1(names[i]));
    zoom[i]->setCheckable(true);
    group->addAction(zoom[i]);
    connect(zoom[i], &QAction::triggered, this, [this, i] { setZoom(i); });
  }
  zoom[0]->setChecked(true);
  zoomMenu->addSeparator();
  QAction* in = zoomMenu->addAction(QStringLiteral("Zoom &In"));
  in->setObjectName(QStringLiteral("mnuZoomIn"));
  connect(in, &QAction::triggered, this, [this] { pp1->zoomIn(); });
  QAction* out = zoomMenu->addAction(QStringLiteral("Zoom &Out"));
  out->setObjectName(QStringLiteral("mnuZoomOut"));
  connect(out, &QAction::triggered, this, [this] { pp1->zoomOut(); });
  zoomButton->setMenu(zoomMenu);
  navigation->addWidget(zoomButton);
  navigation->addSeparator();
  actPrint = addTool(QStringLiteral("&Print..."), "actPrint");
  connect(actPrint, &QAction::triggered, this, &FrmPrint::printDocument);
  actPdf = addTool(QStringLiteral("Save as P&DF..."), "actPdf");
  connect(actPdf, &QAction::triggered, this, &FrmPrint::saveAsPdf);
  // The bars' own buttons for what does not fit a narrow window.
  if (auto* more = navigation->findChild<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
    more->setAccessibleName(QStringLiteral("More tools"));
  if (auto* more = bar->findChild<QToolButton*>(QStringLiteral("qt_menubar_ext_button")))
    more->setAccessibleName(QStringLiteral("More menus"));
  statusBar()->setAccessibleName(QStringLiteral("Status"));

  // Nearly the whole screen: the preview as wide as the screen less 200
  // twips and as high as it less 1000.
  const double dpi = logicalDpiY() > 0 ? logicalDpiY() : 96;
  QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->availableGeometry()
                                                  : QRect(0, 0, 1280, 800);
  resize(std::max(400, screen.width() - twipsToPixels(200, dpi) + twipsToPixels(120, dpi)),
         std::max(300, screen.height() - twipsToPixels(1000, dpi) + twipsToPixels(720, dpi)));
  setZoom(0);
  // The page view and scroll bars inside Qt's preview.
  nameUnnamedControls(this);
}

FrmPrint::~FrmPrint() = default;

void FrmPrint::setDocument(std::vector<output::ReportPage> pages, const QString& title) {
  pages_ = std::move(pages);
  title_ = title;
  previewPrinter_->setDocName(title);
  pp1->updatePreview();
  pp1->setCurrentPage(1);
  showPageNumber();
}

void FrmPrint::paintPreview(QPrinter* printer) {
  output::paintReport(*printer, pages_, 0, static_cast<int>(pages_.size()) - 1);
}

void FrmPrint::setZoom(int choice) {
  zoomChoice_ = choice;
  switch (choice) {
    case 0:
      pp1->setViewMode(QPrintPreviewWidget::SinglePageView);
      pp1->fitInView();
      break;
    case 1:
      pp1->setViewMode(QPrintPreviewWidget::SinglePageView);
      pp1->fitToWidth();
      break;
    case 2:
      pp1->setViewMode(QPrintPreviewWidget::FacingPagesView);
      pp1->fitInView();
      break;
    default:
      pp1->setViewMode(QPrintPreviewWidget::AllPagesView);
      break;
  }
  if (choice >= 0 && choice < 4 && zoom[choice]) zoom[choice]->setChecked(true);
}

void FrmPrint::showPageNumber() {
  lblPage->setText(QStringLiteral("Page %1 of %2").arg(pp1->currentPage()).arg(pp1->pageCount()));
  lblPage->setAccessibleName(lblPage->text());
}

void FrmPrint::printDocument() {
  if (pages_.empty()) return;
  if (!printerInstalled()) {
    modal().message(this,
                    QStringLiteral("No printer is installed on this computer, so the report cannot be "
                                   "printed. It can still be looked at here and saved as PDF."),
                    QString(), Buttons::Ok, Icon::Information);
    return;
  }
  QPrinter printer(QPrinter::HighResolution);
  output::setupReportPrinter(printer);
  printer.setDocName(title_);
  printer.setFromTo(1, static_cast<int>(pages_.size()));
  if (!modal().printDialog(this, printer)) return;
  int first = 0, last = static_cast<int>(pages_.size()) - 1;
  if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
    first = printer.fromPage() - 1;
    last = std::min(last, printer.toPage() > 0 ? printer.toPage() - 1 : last);
  }
  if (first > last) return;
  const QString where = printer.outputFormat() == QPrinter::PdfFormat
                            ? printer.outputFileName()
                            : QSysInfo::machineHostName();
  const QString device = printer.printerName().isEmpty() ? QStringLiteral("printer") : printer.printerName();
  QProgressDialog progress(this);
  progress.setObjectName(QStringLiteral("printProgress"));
  progress.setWindowTitle(QStringLiteral("Printing..."));
  progress.setAccessibleName(QStringLiteral("Printing..."));
  progress.setCancelButtonText(QStringLiteral("Cancel"));
  progress.setRange(0, last - first + 1);
  progress.setMinimumDuration(0);
  progress.setWindowModality(Qt::WindowModal);
  progress.setAutoClose(false);
  progress.setAutoReset(false);
  if (auto* cancel = progress.findChild<QAbstractButton*>()) cancel->setAccessibleName(QStringLiteral("Cancel"));
  const bool done = output::paintReport(printer, pages_, first, last, [&](int page) {
    progress.setLabelText(QStringLiteral("Now printing Page %1 of %2\non the %3 on %4")
                              .arg(page + 1)
                              .arg(title_, device, where));
    progress.setValue(page - first);
    QApplication::processEvents();
    return !progress.wasCanceled();
  });
  if (!done && !progress.wasCanceled())
    modal().message(this, QStringLiteral("The report could not be printed on ") + device + QStringLiteral("."),
                    QString(), Buttons::Ok);
  if (progress.wasCanceled()) printer.abort();
  progress.close();
}

void FrmPrint::saveAsPdf() {
  if (pages_.empty()) return;
  QString start = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                      .filePath(title_ + QStringLiteral(".pdf"));
  QString name = modal().saveFile(this, QStringLiteral("Save as PDF"), {QStringLiteral("PDF files (*.pdf)")}, start);
  if (name.isEmpty()) return;
  name = withPdfSuffix(name);
  try {
    BusyCursor busy;
    output::writeReportPdf(name.toStdString(), pages_, title_.toStdString());
  } catch (const dao::Error& e) {
    modal().message(this, QStringLiteral("Error ") + QString::number(e.number()) + QStringLiteral(" ") +
                              QString::fromStdString(e.what()),
                    QString(), Buttons::Ok);
    return;
  }
  statusBar()->showMessage(QStringLiteral("Saved ") + name);
}

output::StructureSource structureFromLists(FrmDatavane& w) {
  output::StructureSource s;
  s.name = w.currentObjectName().toStdString();
  if (w.blnIsTable) {
    s.recordCount = w.grdFiles->row() >= 1 ? w.grdFiles->textMatrix(w.grdFiles->row(), 1).toStdString() : "";
  } else if (dao::Database* db = w.dta1.database()) {
    // A query's own count: the rows it gives.
    try {
      dao::Recordset rs(*db, "Select * from [" + s.name + "]");
      s.recordCount = std::to_string(rs.countAll());
    } catch (const dao::Error& e) {
      s.recordCount = "not known (Error " + std::to_string(e.number()) + ")";
    }
  }
  auto read = [](Grid* g, std::vector<std::string>& captions, std::vector<std::vector<std::string>>& rows) {
    for (int c = 0; c < g->cols(); ++c) captions.push_back(g->textMatrix(0, c).toStdString());
    for (int r = 1; r < g->rows(); ++r) {
      std::vector<std::string> row;
      for (int c = 0; c < g->cols(); ++c) row.push_back(g->textMatrix(r, c).toStdString());
      rows.push_back(std::move(row));
    }
  };
  read(w.grdFields, s.fieldCaptions, s.fields);
  read(w.grdIndexes, s.indexCaptions, s.indexes);
  return s;
}

void subPrintStructure(FrmDatavane& w) {
  if (w.grdFields->rows() == 1) {
    modal().message(&w, QStringLiteral("You must first select a Table"), QStringLiteral("Error"), Buttons::Ok);
    return;
  }
  FrmPrint* f = printWindow();
  if (!f) {
    f = new FrmPrint(&w);
    instance() = f;
  }
  f->show();
  f->raise();
  f->activateWindow();
  const int row = w.grdIndexes->row(), col = w.grdIndexes->col();
  {
    BusyCursor busy;
    output::StructureSource src = structureFromLists(w);
    std::time_t now = std::time(nullptr);
    std::tm when{};
    localtime_r(&now, &when);
    output::QtTextMetrics metrics;
    auto pages = output::layoutStructure(src, when, metrics);
    while (!src.name.empty() && src.name.back() == ' ') src.name.pop_back();
    f->setDocument(std::move(pages), QStringLiteral("Field Definition for ") + QString::fromStdString(src.name));
  }
  if (row >= 1) w.grdIndexes->setRow(row);
  w.grdIndexes->setCol(col);
}

}  // namespace app
