// The main window frmDatavane: the path box and browse button above a
// four-tab control whose pages hold the files page (tables, queries,
// indexes, columns, query SQL), the data grid, the record panel and the
// filter panel. The window's own procedures (shell, layout, tabs, opening,
// structure, building and placing the controls) are in app/; it composes the
// data pages' parts from views/: the grid view, the per-field panels,
// navigation and filter, and record editing.
#pragma once

#include <QMainWindow>
#include <QString>
#include <vector>

#include "app/layout.h"
#include <memory>

#include "catalogue/data_control.h"
#include "views/error_text.h"
#include "views/field_panels.h"
#include "views/grid_view.h"
#include "views/navigation.h"
#include "views/record_editing.h"

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

using views::FieldRow;

class FrmDatavane : public QMainWindow {
  Q_OBJECT

 public:
  // --- the data control
  dao::DataControl dta1;

 private:
  views::FieldPanels panels_{dta1, this};

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

  // --- main window state
  bool blnIsTable = false;
  bool blnRefillGrid = false;
  int intLastField = 0;
  int intPaneWidth = 0;
  MainGeometry geo;
  std::vector<FieldRow>& fieldRows = panels_.rows();  // element i = field i; empty when none built

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
  RecordsetModel* dataModel() const { return gridView_->model(); }

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
  void applyFieldRowGeometry();
  void placeCaption();
  void showError(const QString& text, const QString& title);

  views::Navigation navigation_{dta1, this};
  std::unique_ptr<views::GridView> gridView_;
  std::unique_ptr<views::RecordEditing> editing_;
  int repositionKey_ = 0;
  int refreshKey_ = 0;
  bool layingOut_ = false;
};

// Scroll bar set-up: Min 1, Max 100, LargeChange 10, by member name.
void subInitScrollBar(QObject* bar);
// Filters of the file dialog: the .mdb filter first, then .accdb.
QStringList openFileFilters();

// The message forms (views/error_text.h).
using views::errorDash;
using views::errorSpaced;

}  // namespace app
