// The main window frmDatavane: the path box and browse button above a
// four-tab control whose pages hold the files page (tables, queries,
// indexes, columns, query SQL), the data grid, the record panel and the
// filter panel. Its procedures are spread over app/ (shell, layout, tabs,
// opening, structure) and views/ (grid view, per-field panels).
#pragma once

#include <QMainWindow>
#include <QString>
#include <vector>

#include "app/layout.h"
#include "catalogue/data_control.h"
#include "views/navigation.h"

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QScrollBar;
class QTabBar;
class QTimer;
class QToolButton;

namespace app {

class Grid;
class RecordsetModel;

// One generated row of the record panel and the filter panel: field i.
struct FieldRow {
  QLabel* lblField = nullptr;
  QLineEdit* txtField = nullptr;
  QLabel* lblField2 = nullptr;
  QComboBox* cboEval = nullptr;
  QLineEdit* txtField2 = nullptr;
  QString dataField;  // txtField's binding: the field name
  // Positions in twips inside the panels.
  Twips lbl, txt, lbl2, eval, txt2;
};

class FrmDatavane : public QMainWindow {
  Q_OBJECT

 public:
  explicit FrmDatavane(QWidget* parent = nullptr);
  ~FrmDatavane() override;

  // The load sequence: caption, layout for the screen, settings, opening the
  // remembered database (or startFile when given), column fitting, scroll bars.
  void formLoad(const QString& startFile = {});

  // --- controls above the tabs
  QLabel* Label1 = nullptr;
  QToolButton* cmdFindFile = nullptr;
  QLineEdit* txtMDBFile = nullptr;
  QLabel* lblTable = nullptr;
  // --- tab control and pages
  QTabBar* tab1 = nullptr;
  QFrame* tabBody = nullptr;
  QWidget* pic1[4] = {};
  QTimer* Timer1 = nullptr;
  // --- files page
  Grid* grdFiles = nullptr;
  Grid* grdQueries = nullptr;
  Grid* grdIndexes = nullptr;
  Grid* grdFields = nullptr;
  Grid* grdFieldsSelectedx = nullptr;
  QPlainTextEdit* txtQuery = nullptr;
  QLabel* Label3[6] = {};
  QToolButton* cmd[2] = {};
  // --- grid page
  Grid* grdData = nullptr;
  // --- record and filter pages
  QWidget* picContainer[2] = {};
  QScrollBar* scr1 = nullptr;
  QScrollBar* scr2 = nullptr;
  QFrame* fraOrderBy = nullptr;
  QLabel* lblOrderBy = nullptr;
  QComboBox* cboSearch[3] = {};
  QPushButton* cmdAddNew = nullptr;  // enabled by the per-object reset
  QPushButton* cmdSaveNew = nullptr;
  QPushButton* cmdUpdate = nullptr;
  QPushButton* cmdDelete = nullptr;
  // Moves (0..3, record page) and the filter buttons (4 Clear, 5 Apply, filter page).
  QToolButton* cmdRecord[6] = {};
  QLineEdit* txtValueToSearch = nullptr;  // the statement last applied (read-only)

  // --- the data control
  dao::DataControl dta1;

  // --- main window state
  bool blnIsTable = false;
  bool blnRefillGrid = false;
  int intLastField = 0;
  int intPaneWidth = 0;
  MainGeometry geo;
  std::vector<FieldRow> fieldRows;  // element i = field i; empty when none built

  // --- procedures
  void subResizeGrids(int width, int height);
  void tab1_Switch(int T);
  void Timer1_Timer();
  void cmdFindFile_Click();
  void subOpenFile();
  void grdFiles_Click();
  void grdQueries_Click();
  void subResetForNewTable();
  void subFillData();
  void grdFields_DblClick();
  void cmd_Click(int index);
  void subLoadTextBoxRecord();
  void scr1_Change();
  void scr2_Change();
  void txtField_GotFocus(int index);
  void txtField2_GotFocus(int index);
  void cmdRecord_Click(int index);
  // A click on a heading of the data grid: sorted by that column, a second
  // click on the same heading sorts it descending, a third ascending again.
  void grdData_HeadingClick(int column);
  void cmdAddNew_Click();
  void cmdSaveNew_Click();
  void cmdUpdate_Click();
  void cmdDelete_Click();
  // Stores text typed into cell (row, col) of the data grid.
  bool editCell(int row, int col, const QString& text);
  // True between a successful Add New and the next Save New that stores.
  bool addState() const;

  // Applies the twips geometry to the widgets.
  void applyGeometry();
  // Places a widget at a twips rectangle inside its parent.
  void place(QWidget* w, const Twips& t) const;
  double dpi() const;
  // Name of the current object from the list of its kind ("" when none).
  QString currentObjectName() const;
  // The recordset model the data grid is bound to.
  RecordsetModel* dataModel() const { return dataModel_; }

 protected:
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void buildControls();
  void buildFilesPage();
  void nameControls();
  void buildRecordPages();
  void buildRecordButtons();
  void placeRecordButtons();
  void buildEditButtons();
  void placeEditButtons();
  void setAddState(bool add);
  void showEditedRecord();
  void applyFieldRowGeometry();
  void placeCaption();
  void refreshBoundBoxes();
  void followCurrentRecord();
  void showError(const QString& text, const QString& title);

  RecordsetModel* dataModel_ = nullptr;
  views::Navigation navigation_{dta1, this};
  int sortColumn_ = -1;
  bool sortDescending_ = false;
  int repositionKey_ = 0;
  int refreshKey_ = 0;
  bool layingOut_ = false;
};

// Scroll bar set-up: Min 1, Max 100, LargeChange 10, by member name.
void subInitScrollBar(QObject* bar);
// Filters of the file dialog: the .mdb filter first, then .accdb.
QStringList openFileFilters();

// "Error " + number + " - " + description (the opening's form).
QString errorDash(int number, const QString& description);
// "Error " + number with a leading blank when non-negative + " " + description.
QString errorSpaced(int number, const QString& description);

}  // namespace app
