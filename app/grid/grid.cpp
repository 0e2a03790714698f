#include "app/grid/grid.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QHelpEvent>
#include <QToolTip>
#include <algorithm>
#include <fstream>

#include "app/layout.h"
#include "jet/error.h"
#include "output/csv_writer.h"

namespace app {

// ---------------------------------------------------------------- TextGridModel

int TextGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TextGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : cols_;
}

QVariant TextGridModel::data(const QModelIndex& ix, int role) const {
  if (!ix.isValid() || ix.row() >= rows_.size() || ix.column() >= cols_) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole) return cell(ix.row(), ix.column());
  if (role == Qt::TextAlignmentRole && ix.column() < align_.size())
    return QVariant::fromValue(align_[ix.column()] | Qt::AlignVCenter);
  return {};
}

QVariant TextGridModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o == Qt::Vertical) return {};
  if (role == Qt::DisplayRole) return heading(section);
  if (role == Qt::TextAlignmentRole && section < align_.size())
    return QVariant::fromValue(align_[section] | Qt::AlignVCenter);
  return {};
}

void TextGridModel::setHeadings(const QStringList& headings, const QVector<Qt::Alignment>& align) {
  beginResetModel();
  headings_ = headings;
  align_ = align;
  cols_ = static_cast<int>(headings.size());
  for (auto& r : rows_) r.resize(cols_);
  endResetModel();
}

void TextGridModel::setColumnCount(int n) {
  n = std::max(0, n);
  if (n == cols_) return;
  beginResetModel();
  cols_ = n;
  headings_.resize(n);
  align_.resize(n, Qt::AlignLeft);
  for (auto& r : rows_) r.resize(n);
  endResetModel();
}

void TextGridModel::setDataRows(int n) {
  n = std::max(0, n);
  int have = static_cast<int>(rows_.size());
  if (n < have) {
    beginRemoveRows({}, n, have - 1);
    rows_.resize(n);
    endRemoveRows();
  } else if (n > have) {
    beginInsertRows({}, have, n - 1);
    for (int i = have; i < n; ++i) {
      QStringList r;
      r.resize(cols_);
      rows_.push_back(r);
    }
    endInsertRows();
  }
}

QString TextGridModel::cell(int r, int c) const {
  if (r < 0 || r >= rows_.size() || c < 0 || c >= rows_[r].size()) return {};
  return rows_[r][c];
}

void TextGridModel::setCell(int r, int c, const QString& text) {
  if (r < 0 || r >= rows_.size() || c < 0 || c >= cols_) return;
  rows_[r][c] = text;
  emit dataChanged(index(r, c), index(r, c));
}

QString TextGridModel::heading(int c) const {
  return c >= 0 && c < headings_.size() ? headings_[c] : QString();
}

void TextGridModel::setHeading(int c, const QString& text) {
  if (c < 0 || c >= cols_) return;
  headings_[c] = text;
  emit headerDataChanged(Qt::Horizontal, c, c);
}

void TextGridModel::appendRow(const QStringList& cells) {
  int r = static_cast<int>(rows_.size());
  beginInsertRows({}, r, r);
  QStringList row = cells;
  row.resize(cols_);
  rows_.push_back(row);
  endInsertRows();
}

// ---------------------------------------------------------------- Grid

Grid::Grid(QWidget* parent) : QTableView(parent), own_(new TextGridModel(this)) {
  setModel(own_);
  verticalHeader()->hide();
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  connect(this, &QTableView::clicked, this, &Grid::onClicked);
  connect(this, &QTableView::doubleClicked, this, &Grid::onDoubleClicked);
}

Grid::~Grid() = default;

QAbstractItemModel* Grid::current() const {
  return bound_ ? bound_ : static_cast<QAbstractItemModel*>(own_);
}

double Grid::dpi() const {
  int d = logicalDpiX();
  return d > 0 ? d : 96;
}

void Grid::setFormatString(const QString& format) {
  QStringList heads;
  QVector<Qt::Alignment> align;
  for (QString h : format.split(QLatin1Char('|'))) {
    Qt::Alignment a = Qt::AlignLeft;
    if (h.startsWith(QLatin1Char('>'))) {
      a = Qt::AlignRight;
      h.remove(0, 1);
    } else if (h.startsWith(QLatin1Char('<'))) {
      h.remove(0, 1);
    } else if (h.startsWith(QLatin1Char('^'))) {
      a = Qt::AlignHCenter;
      h.remove(0, 1);
    }
    heads << h;
    align << a;
  }
  own_->setHeadings(heads, align);
}

int Grid::rows() const { return current()->rowCount() + 1; }

void Grid::setRows(int n) {
  if (bound_) return;
  own_->setDataRows(n - 1);
  if (row_ >= rows()) row_ = 0;
}

int Grid::cols() const { return current()->columnCount(); }

void Grid::setCols(int n) {
  if (bound_) return;
  own_->setColumnCount(n);
  if (col_ >= n) col_ = 0;
}

void Grid::setRow(int r) {
  if (r < 0 || r >= rows()) return;
  row_ = r;
  if (r >= 1) setCurrentIndex(current()->index(r - 1, std::min(col_, std::max(0, cols() - 1))));
}

void Grid::setCol(int c) {
  if (c < 0 || c >= cols()) return;
  col_ = c;
  if (row_ >= 1) setCurrentIndex(current()->index(row_ - 1, c));
}

QString Grid::textMatrix(int r, int c) const {
  if (r < 0 || c < 0 || c >= cols() || r >= rows()) return {};
  if (r == 0) return current()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  return current()->data(current()->index(r - 1, c), Qt::DisplayRole).toString();
}

void Grid::setTextMatrix(int r, int c, const QString& text) {
  if (bound_) return;
  if (r == 0)
    own_->setHeading(c, text);
  else
    own_->setCell(r - 1, c, text);
}

int Grid::row() const {
  if (row_ >= 1 && row_ < rows()) return row_;
  return rows() > 1 ? 1 : 0;
}

QString Grid::text() const { return row() >= 1 ? textMatrix(row(), col_) : QString(); }

void Grid::addItem(const QString& tabSeparated) {
  if (bound_) return;
  own_->appendRow(tabSeparated.split(QLatin1Char('\t')));
}

void Grid::setColWidth(int c, int twips) {
  if (c < 0 || c >= cols()) return;
  setColumnWidth(c, std::max(0, twipsToPixels(twips, dpi())));
}

int Grid::colWidth(int c) const { return pixelsToTwips(columnWidth(c), dpi()); }

void Grid::autoSize(int first, int last, bool, int maxTwips) {
  first = std::max(0, first);
  last = std::min(last, cols() - 1);
  if (first > last) return;
  const QFontMetrics cellFm(font());
  const QFontMetrics headFm(horizontalHeader()->font());
  const int n = std::min(rows(), 2001);
  const int pad = textPad();
  for (int c = first; c <= last; ++c) {
    int w = headFm.horizontalAdvance(textMatrix(0, c));
    for (int r = 1; r < n; ++r) w = std::max(w, cellFm.horizontalAdvance(textMatrix(r, c)));
    w += pad;
    if (maxTwips > 0) w = std::min(w, twipsToPixels(maxTwips, dpi()));
    setColumnWidth(c, w);
  }
}

void Grid::widenToRows(int firstRow, int lastRow, int maxTwips) {
  firstRow = std::max(1, firstRow);
  lastRow = std::min(lastRow, rows() - 1);
  if (firstRow > lastRow) return;
  const QFontMetrics cellFm(font());
  const int pad = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 12;
  for (int c = 0; c < cols(); ++c) {
    int w = 0;
    for (int r = firstRow; r <= lastRow; ++r) w = std::max(w, cellFm.horizontalAdvance(textMatrix(r, c)));
    w += pad;
    if (maxTwips > 0) w = std::min(w, twipsToPixels(maxTwips, dpi()));
    if (w > columnWidth(c)) setColumnWidth(c, w);
  }
}

int Grid::textPad() const {
  return 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 12;
}

void Grid::setFontSize(double points) {
  if (points <= 0) return;
  const int oldHeight = QFontMetrics(font()).height();
  QFont f = font();
  f.setPointSizeF(points);
  setFont(f);
  horizontalHeader()->setFont(f);
  const QFontMetrics fm(f);
  verticalHeader()->setDefaultSectionSize(fm.height() + 6);
  // Columns follow the font: scaled with it, and never narrower than their
  // text (heading and the first rows) needs.
  const int n = std::min(rows(), 2001);
  for (int c = 0; c < cols(); ++c) {
    int w = oldHeight > 0 ? columnWidth(c) * fm.height() / oldHeight : columnWidth(c);
    int need = fm.horizontalAdvance(textMatrix(0, c));
    for (int r = 1; r < n; ++r) need = std::max(need, fm.horizontalAdvance(textMatrix(r, c)));
    if (cols() > 0 && rows() > 0) setColumnWidth(c, std::max(w, need + textPad()));
  }
}

bool Grid::cellIsCut(int r, int c) const {
  if (r < 1 || r >= rows() || c < 0 || c >= cols()) return false;
  const QRect cell = visualRect(current()->index(r - 1, c));
  const int margin = style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1;
  return QFontMetrics(font()).horizontalAdvance(textMatrix(r, c)) > cell.width() - 2 * margin;
}

bool Grid::viewportEvent(QEvent* e) {
  if (e->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(e);
    const QModelIndex ix = indexAt(help->pos());
    if (ix.isValid() && cellIsCut(ix.row() + 1, ix.column())) {
      QToolTip::showText(help->globalPos(), textMatrix(ix.row() + 1, ix.column()), viewport(),
                         visualRect(ix));
    } else {
      QToolTip::hideText();
      e->ignore();
    }
    return true;
  }
  return QTableView::viewportEvent(e);
}

double Grid::fontSize() const { return font().pointSizeF(); }

void Grid::refresh() {
  viewport()->update();
  horizontalHeader()->viewport()->update();
}

bool Grid::saveGrid(const QString& file, int mode, bool fixedCells) const {
  if (mode != 3) return false;
  std::ofstream f(QFile::encodeName(file).toStdString(), std::ios::binary | std::ios::trunc);
  if (!f) return false;
  try {
    output::CsvWriter csv(f);
    const int n = rows();
    for (int r = fixedCells ? 0 : 1; r < n; ++r) {
      for (int c = 0; c < cols(); ++c) csv.field(textMatrix(r, c).toStdString());
      csv.endRecord();
    }
    csv.flush();
  } catch (const jet::Error&) {
    return false;
  }
  f.close();
  return !f.fail();
}

void Grid::bindModel(QAbstractItemModel* model) {
  if (model == bound_) {
    refresh();
    return;
  }
  bound_ = model;
  if (model) {
    setModel(model);
  } else {
    own_->setDataRows(0);
    setModel(own_);
  }
  row_ = 0;
  col_ = 0;
}

void Grid::setExtendLastCol(bool on) { horizontalHeader()->setStretchLastSection(on); }

void Grid::setDisplayMode(int mode) {
  if (mode == 1) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    scrollToTop();
  }
}

void Grid::keyPressEvent(QKeyEvent* e) {
  if (e->matches(QKeySequence::Copy)) {
    copySelection();
    e->accept();
    return;
  }
  // A cell reached by the keyboard is chosen as a click chooses it, so the
  // highlight and the current record (or chosen object) are always one.
  const QModelIndex before = currentIndex();
  keyMove(e);
  const QModelIndex after = currentIndex();
  if (after.isValid() && after != before) onClicked(after);
}

QString Grid::selectionText() const {
  QModelIndexList cells = selectionModel() ? selectionModel()->selectedIndexes() : QModelIndexList();
  if (cells.isEmpty() && currentIndex().isValid()) cells << currentIndex();
  if (cells.isEmpty()) return {};
  int top = cells[0].row(), bottom = top, left = cells[0].column(), right = left;
  for (const auto& ix : cells) {
    top = std::min(top, ix.row());
    bottom = std::max(bottom, ix.row());
    left = std::min(left, ix.column());
    right = std::max(right, ix.column());
  }
  QAbstractItemModel* m = current();
  QStringList lines;
  QStringList heading;
  for (int c = left; c <= right; ++c) heading << m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
  lines << heading.join(QLatin1Char('\t'));
  for (int r = top; r <= bottom; ++r) {
    QStringList cellsOfRow;
    for (int c = left; c <= right; ++c) {
      QString t = m->data(m->index(r, c), Qt::DisplayRole).toString();
      // One cell stays one cell: tabs and line breaks inside become blanks.
      t.replace(QLatin1Char('\t'), QLatin1Char(' '));
      t.replace(QLatin1Char('\n'), QLatin1Char(' '));
      t.replace(QLatin1Char('\r'), QLatin1Char(' '));
      cellsOfRow << t;
    }
    lines << cellsOfRow.join(QLatin1Char('\t'));
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void Grid::copySelection() {
  const QString text = selectionText();
  if (!text.isEmpty()) QGuiApplication::clipboard()->setText(text);
}

void Grid::keyMove(QKeyEvent* e) {
  if (bound_ && e->key() == Qt::Key_End && (e->modifiers() & Qt::ControlModifier) &&
      bound_->canFetchMore(QModelIndex())) {
    emit lastRowWanted();
    int last = bound_->rowCount() - 1;
    if (last >= 0) {
      QModelIndex ix = bound_->index(last, std::max(0, currentIndex().column()));
      setCurrentIndex(ix);
      scrollTo(ix);
    }
    e->accept();
    return;
  }
  QTableView::keyPressEvent(e);
}

void Grid::onClicked(const QModelIndex& ix) {
  if (!ix.isValid()) return;
  row_ = ix.row() + 1;
  col_ = ix.column();
  emit cellClicked();
}

void Grid::onDoubleClicked(const QModelIndex& ix) {
  if (!ix.isValid()) return;
  row_ = ix.row() + 1;
  col_ = ix.column();
  emit cellDoubleClicked();
}

void Grid::clickCell(int r, int c) {
  if (r < 1 || r >= rows() || c < 0 || c >= cols()) return;
  QModelIndex ix = current()->index(r - 1, c);
  setCurrentIndex(ix);
  onClicked(ix);
}

void Grid::doubleClickCell(int r, int c) {
  if (r < 1 || r >= rows() || c < 0 || c >= cols()) return;
  QModelIndex ix = current()->index(r - 1, c);
  setCurrentIndex(ix);
  onClicked(ix);
  onDoubleClicked(ix);
}

}  // namespace app
