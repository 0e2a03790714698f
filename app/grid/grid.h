// The grid control every list of the main window uses: rows by columns of
// text cells over a Qt item view. Row 0 is the heading row (shown as the
// view's header); rows 1.. are the data rows. A grid either owns its cells
// (the lists of the files page) or is bound to a data model (the data grid,
// which reads the current recordset).
#pragma once

#include <QString>
#include <QTableView>
#include <QVector>

class QAbstractItemModel;

namespace app {

class TextGridModel;

class Grid : public QTableView {
  Q_OBJECT

 public:
  explicit Grid(QWidget* parent = nullptr);
  ~Grid() override;

  // Headings as one string: entries separated by "|", a leading "<" or ">"
  // aligns the column left or right. Sets the column count.
  void setFormatString(const QString& format);

  int rows() const;
  // Writing 1 keeps only the heading row; more rows are added empty.
  void setRows(int n);
  int cols() const;
  void setCols(int n);

  // Current row and column (the cell last clicked). Before any click the
  // first data row is current; row 0 when the grid has no data rows.
  int row() const;
  void setRow(int r);
  int col() const { return col_; }
  void setCol(int c);

  QString textMatrix(int r, int c) const;
  void setTextMatrix(int r, int c, const QString& text);
  // Text of the current cell.
  QString text() const;
  // Appends a row; cells separated by one tab character each.
  void addItem(const QString& tabSeparated);

  // Column widths in twips, converted with the screen's logical dpi.
  void setColWidth(int c, int twips);
  int colWidth(int c) const;
  // Fits columns first..last to their text (heading included, the first
  // 2000 rows measured), each column to its own widest text, so that every
  // column of a list stays readable side by side. equal is accepted for the
  // callers' sake; every fitted column is measured the same way.
  // maxTwips > 0 caps each width.
  void autoSize(int first, int last, bool equal, int maxTwips = 0);

  // Sets the font of the cells and headings; row heights follow it, and
  // columns are scaled with it and widened where their text (the first 2000
  // rows) would be cut.
  void setFontSize(double points);
  double fontSize() const;
  // Whether the text of data cell (r, c) (r >= 1) is wider than its cell, so
  // that it shows cut; such a cell's tooltip shows its whole text.
  bool cellIsCut(int r, int c) const;

  // Redraws; a bound grid re-reads its data.
  void refresh();
  // The selected cells (or the current one) as tab-separated lines under a
  // heading line of their columns; Ctrl+C puts this on the clipboard.
  QString selectionText() const;
  // Widens (never narrows) every column to fit rows firstRow..lastRow
  // (1-based), none wider than maxTwips (0: no limit).
  void widenToRows(int firstRow, int lastRow, int maxTwips = 0);
  void copySelection();

  // Mode 3: comma-separated text, one line per row; fixedCells puts the
  // heading row first. False when the file cannot be written.
  bool saveGrid(const QString& file, int mode, bool fixedCells) const;

  // Binds the grid to a data model (not owned); nullptr goes back to the
  // grid's own cells (emptied to the heading row).
  void bindModel(QAbstractItemModel* model);
  bool isBound() const { return bound_ != nullptr; }

  // The Boolean display option the table list switches on after filling:
  // the last column stretches to the grid's right edge.
  void setExtendLastCol(bool on);
  // The integer display option of the data grid: 1 scrolls back to the top
  // and selects whole rows.
  void setDisplayMode(int mode);

  // Simulates a user's click / double click on a cell (row >= 1).
  void clickCell(int r, int c);
  void doubleClickCell(int r, int c);

 signals:
  void cellClicked();
  // Ctrl+End on a bound grid whose model fetches lazily: the owner reads the
  // remaining rows (the grid then moves to the last one).
  void lastRowWanted();
  void cellDoubleClicked();

 protected:
  void keyMove(QKeyEvent* e);
  void keyPressEvent(QKeyEvent* e) override;
  bool viewportEvent(QEvent* e) override;

 private:
  void onClicked(const QModelIndex& ix);
  void onDoubleClicked(const QModelIndex& ix);
  QAbstractItemModel* current() const;
  double dpi() const;
  int textPad() const;

  TextGridModel* own_;
  QAbstractItemModel* bound_ = nullptr;
  int row_ = 0;
  int col_ = 0;
};

// Plain text cells with headings, as the lists use them.
class TextGridModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  using QAbstractTableModel::QAbstractTableModel;
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& ix, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

  void setHeadings(const QStringList& headings, const QVector<Qt::Alignment>& align);
  void setColumnCount(int n);
  void setDataRows(int n);
  QString cell(int dataRow, int c) const;
  void setCell(int dataRow, int c, const QString& text);
  QString heading(int c) const;
  void setHeading(int c, const QString& text);
  void appendRow(const QStringList& cells);

 private:
  QStringList headings_;
  QVector<Qt::Alignment> align_;
  QVector<QStringList> rows_;
  int cols_ = 0;
};

}  // namespace app
