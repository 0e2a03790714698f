// frmDatavane: controls, load sequence, layout, tab switching.
#include "app/datavane.h"

#include "app/accessible_names.h"

#include "app/busy_cursor.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QHeaderView>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTabBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>

#include "app/grid/grid.h"
#include "app/grid/recordset_model.h"
#include "app/menus.h"
#include "app/modal.h"
#include "app/program.h"
#include "catalogue/recordset.h"

namespace app {

// Sets Min 1, Max 100 and the large step 10 on any scroll bar, addressing the
// members by name.
void subInitScrollBar(QObject* bar) {
  bar->setProperty("minimum", 1);
  bar->setProperty("maximum", 100);
  bar->setProperty("pageStep", 10);
}

FrmDatavane::FrmDatavane(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("frmDatavane"));
  buildControls();
  buildMenus(*this);
  gridView_ = std::make_unique<views::GridView>(dta1, grdData, this);
  editing_ = std::make_unique<views::RecordEditing>(
      dta1, panels_, *gridView_, views::RecordEditing::Buttons{cmdAddNew, cmdSaveNew, cmdUpdate, cmdDelete},
      this);
  panels_.attach(picContainer[0], picContainer[1], cboSearch, this);
  // The grid and the record boxes follow the data control.
  refreshKey_ = dta1.addRefreshListener([this] {
    gridView_->model()->setRecordset(dta1.recordset());
    panels_.refresh();
  });
  repositionKey_ = dta1.addRepositionListener([this] {
    panels_.refresh();
    gridView_->followCurrentRecord();
  });
  connect(gridView_.get(), &views::GridView::edited, this, [this] { panels_.refresh(); });
  connect(grdData->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &FrmDatavane::grdData_HeadingClick);
  // Design client area 12,375 by 7,935 twips.
  resize(twipsToPixels(12375, dpi()), twipsToPixels(7935, dpi()));
}

FrmDatavane::~FrmDatavane() {
  dta1.removeListener(refreshKey_);
  dta1.removeListener(repositionKey_);
}

double FrmDatavane::dpi() const {
  int d = logicalDpiY();
  return d > 0 ? d : 96;
}

void FrmDatavane::buildControls() {
  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("client"));
  setCentralWidget(client);

  Label1 = new QLabel(QStringLiteral("Table Location:"), client);
  cmdFindFile = new QToolButton(client);
  cmdFindFile->setObjectName(QStringLiteral("cmdFindFile"));
  cmdFindFile->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
  cmdFindFile->setToolTip(QStringLiteral("Open a database file"));
  txtMDBFile = new QLineEdit(client);
  txtMDBFile->setObjectName(QStringLiteral("txtMDBFile"));
  lblTable = new QLabel(QStringLiteral("Current Table:"), client);
  QFont bold = lblTable->font();
  bold.setPointSizeF(9.75);
  bold.setBold(true);
  lblTable->setFont(bold);

  tabBody = new QFrame(client);
  tabBody->setFrameShape(QFrame::StyledPanel);
  tab1 = new QTabBar(client);
  tab1->setObjectName(QStringLiteral("tab1"));
  tab1->setExpanding(false);
  tab1->setDrawBase(false);
  tab1->addTab(QStringLiteral("Files"));
  tab1->addTab(QStringLiteral("Grid View"));
  tab1->addTab(QStringLiteral("Edit / Record View"));
  tab1->addTab(QStringLiteral("Filter && Sort"));
  for (int i = 0; i < 4; ++i) {
    pic1[i] = new QWidget(client);
    pic1[i]->setObjectName(QStringLiteral("pic1_%1").arg(i));
    if (i > 0) pic1[i]->hide();
  }
  Timer1 = new QTimer(this);
  Timer1->setInterval(500);
  connect(Timer1, &QTimer::timeout, this, &FrmDatavane::Timer1_Timer);

  buildFilesPage();

  grdData = new Grid(pic1[1]);
  grdData->setObjectName(QStringLiteral("grdData"));
  grdData->setAlternatingRowColors(true);
  QPalette pal = grdData->palette();
  pal.setColor(QPalette::AlternateBase, QColor(0xC0, 0xFF, 0xC0));
  pal.setColor(QPalette::Base, Qt::white);
  grdData->setPalette(pal);

  buildRecordPages();
  nameControls();

  connect(cmdFindFile, &QToolButton::clicked, this, &FrmDatavane::cmdFindFile_Click);
  connect(tab1, &QTabBar::currentChanged, this, &FrmDatavane::tab1_Switch);
  connect(grdFiles, &Grid::cellClicked, this, &FrmDatavane::grdFiles_Click);
  connect(grdQueries, &Grid::cellClicked, this, &FrmDatavane::grdQueries_Click);
  connect(grdFields, &Grid::cellDoubleClicked, this, &FrmDatavane::grdFields_DblClick);
  connect(cmd[0], &QToolButton::clicked, this, [this] { cmd_Click(0); });
  connect(cmd[1], &QToolButton::clicked, this, [this] { cmd_Click(1); });
  connect(scr1, &QScrollBar::valueChanged, this, &FrmDatavane::scr1_Change);
  connect(scr2, &QScrollBar::valueChanged, this, &FrmDatavane::scr2_Change);
}

void FrmDatavane::nameControls() {
  txtMDBFile->setAccessibleName(QStringLiteral("Table Location"));
  cmdFindFile->setAccessibleName(cmdFindFile->toolTip());
  grdFiles->setAccessibleName(QStringLiteral("Tables"));
  grdQueries->setAccessibleName(QStringLiteral("Queries"));
  grdIndexes->setAccessibleName(QStringLiteral("Indexes"));
  grdFields->setAccessibleName(QStringLiteral("Columns in Table or Query"));
  grdFieldsSelectedx->setAccessibleName(QStringLiteral("Selected Columns"));
  grdData->setAccessibleName(QStringLiteral("Grid View"));
  txtQuery->setAccessibleName(QStringLiteral("Query SQL"));
  tab1->setAccessibleName(QStringLiteral("Pages"));
  for (auto* l : findChildren<QLabel*>()) l->setAccessibleName(l->text());
  for (int i = 0; i < 2; ++i) cmd[i]->setAccessibleName(cmd[i]->toolTip());
  const char* sorts[3] = {"First sort field", "Second sort field", "Third sort field"};
  for (int k = 0; k < 3; ++k) cboSearch[k]->setAccessibleName(QString::fromLatin1(sorts[k]));
  scr1->setAccessibleName(QStringLiteral("Scroll record panel"));
  scr2->setAccessibleName(QStringLiteral("Scroll filter panel"));
}

void FrmDatavane::buildFilesPage() {
  QWidget* p = pic1[0];
  const char* captions[6] = {"Tables", "Columns in Table or Query", "Selected Columns",
                             "Queries", "Indexes", "Query SQL"};
  for (int i = 0; i < 6; ++i) Label3[i] = new QLabel(QString::fromLatin1(captions[i]), p);
  grdFiles = new Grid(p);
  grdFiles->setObjectName(QStringLiteral("grdFiles"));
  grdFiles->setFormatString(QStringLiteral("Table Name|>Record Count"));
  grdQueries = new Grid(p);
  grdQueries->setObjectName(QStringLiteral("grdQueries"));
  grdQueries->setFormatString(QStringLiteral("Query Name"));
  grdIndexes = new Grid(p);
  grdIndexes->setObjectName(QStringLiteral("grdIndexes"));
  grdIndexes->setFormatString(
      QStringLiteral("Index Name|Fields within Index|Required|Primary|Unique"));
  const int widths[5] = {1080, 1425, 735, 600, 600};
  for (int c = 0; c < 5; ++c) grdIndexes->setColWidth(c, widths[c]);
  grdFields = new Grid(p);
  grdFields->setObjectName(QStringLiteral("grdFields"));
  grdFields->setFormatString(QStringLiteral("Column Name|Field Type|Field Size"));
  txtQuery = new QPlainTextEdit(p);
  txtQuery->setObjectName(QStringLiteral("txtQuery"));
  txtQuery->setReadOnly(false);
  grdFieldsSelectedx = new Grid(p);
  grdFieldsSelectedx->setObjectName(QStringLiteral("grdFieldsSelectedx"));
  grdFieldsSelectedx->setFormatString(QStringLiteral("Column Name"));
  grdFieldsSelectedx->hide();
  Label3[2]->hide();
  for (int i = 0; i < 2; ++i) {
    cmd[i] = new QToolButton(p);
    cmd[i]->setText(i == 0 ? QStringLiteral(">>") : QStringLiteral("<<"));
    cmd[i]->setToolTip(i == 0 ? QStringLiteral("Select All Fields")
                              : QStringLiteral("Clear selected fields"));
    cmd[i]->hide();
  }
}

void FrmDatavane::buildRecordPages() {
  for (int i = 0; i < 2; ++i) {
    picContainer[i] = new QWidget(pic1[2 + i]);
    picContainer[i]->setObjectName(QStringLiteral("picContainer_%1").arg(i));
  }
  scr1 = new QScrollBar(Qt::Vertical, pic1[2]);
  scr1->setObjectName(QStringLiteral("scr1"));
  scr2 = new QScrollBar(Qt::Vertical, pic1[3]);
  scr2->setObjectName(QStringLiteral("scr2"));
  fraOrderBy = new QFrame(picContainer[1]);
  fraOrderBy->setFrameShape(QFrame::Box);
  fraOrderBy->setFrameShadow(QFrame::Sunken);
  lblOrderBy = new QLabel(QStringLiteral("Order By"), picContainer[1]);
  QFont bold = lblOrderBy->font();
  bold.setBold(true);
  lblOrderBy->setFont(bold);
  for (int k = 0; k < 3; ++k) {
    cboSearch[k] = new QComboBox(picContainer[1]);
    cboSearch[k]->setObjectName(QStringLiteral("cboSearch_%1").arg(k));
    cboSearch[k]->setEditable(true);
    cboSearch[k]->setInsertPolicy(QComboBox::NoInsert);
  }
  buildRecordButtons();
}

void FrmDatavane::place(QWidget* w, const Twips& t) const {
  double d = dpi();
  int x = twipsToPixels(t.left, d), y = twipsToPixels(t.top, d);
  int wd = std::max(0, twipsToPixels(t.width, d)), ht = std::max(0, twipsToPixels(t.height, d));
  if (w->inherits("app::ElidedLabel")) {
    // Row labels keep their width and stand level with their box.
    ht = std::max(ht, twipsToPixels(285, d));
  } else if (auto* label = qobject_cast<QLabel*>(w)) {
    // A caption is never cut: the label grows to its text.
    QSize hint = label->sizeHint();
    wd = std::max(wd, hint.width());
    ht = std::max(ht, hint.height());
  }
  w->setGeometry(x, y, wd, ht);
}

void FrmDatavane::applyGeometry() {
  if (layingOut_) return;
  layingOut_ = true;
  // Above the tabs (design positions).
  place(Label1, {480, 120, 1110, 195});
  place(cmdFindFile, {120, 360, 375, 315});
  place(txtMDBFile, {480, 360, 8775, 375});
  placeCaption();
  // The tab control: its tab row, and the body the pages sit on.
  place(tabBody, {geo.tab1.left, geo.tab1.top + 330, geo.tab1.width, geo.tab1.height - 330});
  Twips bar = geo.tab1;
  bar.height = 330;
  place(tab1, bar);
  tab1->resize(std::min(tab1->sizeHint().width(), std::max(0, twipsToPixels(geo.tab1.width, dpi()))),
               std::max(tab1->height(), tab1->sizeHint().height()));
  for (int i = 0; i < 4; ++i) {
    place(pic1[i], geo.pic1[i]);
    pic1[i]->raise();
  }
  // Files page.
  place(grdFiles, geo.grdFiles);
  place(grdQueries, geo.grdQueries);
  place(grdIndexes, geo.grdIndexes);
  place(grdFields, geo.grdFields);
  place(txtQuery, geo.txtQuery);
  for (int i = 0; i < 6; ++i) place(Label3[i], geo.label3[i]);
  place(grdFieldsSelectedx, {geo.label3[2].left, geo.label3[2].top + 300, 2000, 1500});
  place(cmd[0], {geo.label3[2].left - 500, geo.label3[2].top + 300, 375, 315});
  place(cmd[1], {geo.label3[2].left - 500, geo.label3[2].top + 700, 375, 315});
  // Grid page.
  place(grdData, geo.grdData);
  // Record and filter pages.
  for (int i = 0; i < 2; ++i) place(picContainer[i], geo.picContainer[i]);
  place(scr1, geo.scr1);
  place(scr2, geo.scr2);
  place(fraOrderBy, {5160, 120, 2415, 1455});
  place(lblOrderBy, {5280, 120, 750, 195});
  for (int k = 0; k < 3; ++k) place(cboSearch[k], {5280, 360 + 360 * k, 2055, 315});
  applyFieldRowGeometry();
  placeRecordButtons();
  layingOut_ = false;
}

void FrmDatavane::placeCaption() {
  // "Current Table:" stays inside a narrow window: it moves left as far as
  // the path box's start rather than leave the window.
  const int clientTwips = pixelsToTwips(centralWidget() ? centralWidget()->width() : width(), dpi());
  const int needed = pixelsToTwips(lblTable->sizeHint().width(), dpi()) + 120;
  const int left = std::max(480, std::min(9360, clientTwips - needed));
  place(lblTable, {left, 480, 1485, 240});
}

void FrmDatavane::applyFieldRowGeometry() {
  for (auto& r : fieldRows) {
    // The record boxes follow the page's width, narrower and wider again.
    r.txt.width = std::max(600, geo.pic1[2].width - r.txt.left - 300);
    place(r.lblField, r.lbl);
    place(r.txtField, r.txt);
    place(r.lblField2, r.lbl2);
    place(r.cboEval, r.eval);
    place(r.txtField2, r.txt2);
  }
}

void FrmDatavane::subResizeGrids(int width, int height) {
  if (height < 1000) return;
  resizeGrids(geo, width, height);
  intPaneWidth = geo.intPaneWidth;
  grdFields->setColWidth(0, geo.grdFieldsCol0);
  grdIndexes->setColWidth(0, geo.grdIndexesCol0);
  applyGeometry();
}

void FrmDatavane::resizeEvent(QResizeEvent* e) {
  QMainWindow::resizeEvent(e);
  QSize outer = frameGeometry().size();
  if (outer.width() < e->size().width() || outer.height() < e->size().height()) outer = e->size();
  subResizeGrids(pixelsToTwips(outer.width(), dpi()), pixelsToTwips(outer.height(), dpi()));
}

void FrmDatavane::closeEvent(QCloseEvent* e) {
  QMainWindow::closeEvent(e);
  // Closing the main window ends the program, whatever else is open.
  QCoreApplication::quit();
}

void FrmDatavane::formLoad(const QString& startFile) {
  setWindowTitle(program().strAppTitle);
  geo.tab1.left = 50;
  geo.tab1.top = 900;
  QRect screen = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen()->geometry()
                                                  : QRect(0, 0, 1280, 800);
  subResizeGrids(pixelsToTwips(screen.width(), dpi()), pixelsToTwips(screen.height(), dpi()));
  subReadSettings(*this);
  if (!startFile.isEmpty()) {
    txtMDBFile->setText(startFile);
    subOpenFile();
  } else {
    QString f = txtMDBFile->text();
    if (!f.isEmpty() && f != QLatin1String("NOT FOUND")) subOpenFile();
  }
  grdFiles->autoSize(0, grdFiles->cols() - 1, true);
  grdQueries->autoSize(0, grdQueries->cols() - 1, true);
  subInitScrollBar(scr1);
  subInitScrollBar(scr2);
  // The grids' headings and scroll bars Qt adds are named after their grid.
  nameUnnamedControls(this);
}

// ---------------------------------------------------------------- tab switch

void FrmDatavane::tab1_Switch(int T) {
  if (T < 0 || T > 3) return;
  if (T > 0 && grdFields->rows() == 1) {
    Timer1->start();
    modal().message(this, QStringLiteral("Please select a Table or Query first"),
                    QStringLiteral("Please select a Table or Query"), Buttons::Ok);
    return;
  }
  for (auto* p : pic1) p->hide();
  placeTabPage(geo, T);
  applyGeometry();
  if (T >= 1) {
    BusyCursor busy;
    if (blnRefillGrid) {
      subFillData();
      blnRefillGrid = false;
    }
    if (T == 2 || T == 3) {
      subLoadTextBoxRecord();
      placeScrollBars(geo, T);
      applyGeometry();
    }
  }
  pic1[T]->show();
}

void FrmDatavane::Timer1_Timer() {
  Timer1->stop();
  if (tab1->currentIndex() != 0)
    tab1->setCurrentIndex(0);
  else
    tab1_Switch(0);
}

QString FrmDatavane::currentObjectName() const {
  Grid* g = blnIsTable ? grdFiles : grdQueries;
  return g->row() >= 1 ? g->textMatrix(g->row(), 0) : QString();
}

void FrmDatavane::showError(const QString& text, const QString& title) {
  modal().message(this, text, title, Buttons::Ok, Icon::None);
}

bool FrmDatavane::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::FocusIn) {
    for (int i = 0; i < static_cast<int>(fieldRows.size()); ++i) {
      if (watched == fieldRows[i].txtField->editor()) {
        txtField_GotFocus(i);
        break;
      }
      if (watched == fieldRows[i].txtField2) {
        txtField2_GotFocus(i);
        break;
      }
    }
  }
  return QMainWindow::eventFilter(watched, e);
}

}  // namespace app
