// The data grid's model: the rows of the data control's current recordset,
// fetched from it as the view asks for them. When the recordset knows its
// count (a table) the view gets every row at once and reads only the ones it
// shows; otherwise rows are announced in blocks as the user scrolls on.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QHash>
#include <functional>

namespace dao {
class Recordset;
}

namespace app {

class RecordsetModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit RecordsetModel(QObject* parent = nullptr);

  // Points the model at rs (not owned; nullptr empties it).
  void setRecordset(dao::Recordset* rs);
  dao::Recordset* recordset() const { return rs_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& ix, int role) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;
  bool canFetchMore(const QModelIndex& parent) const override;
  void fetchMore(const QModelIndex& parent) override;

  // Announces every row (reading to the end when the count is not known).
  void fetchAll();
  // Announces rows [0, n) when they exist.
  void fetchTo(int64_t n);
  // Re-reads the recordset (after moves that add rows, edits, ...).
  void reload();

  // In-place editing: cells of fields the recordset can change are editable
  // once an editor is set; it stores text typed into cell (row, col) and
  // returns whether it was stored (a refused edit keeps the stored value).
  using CellEditor = std::function<bool(int row, int col, const QString& text)>;
  void setCellEditor(CellEditor e) { editor_ = std::move(e); }
  Qt::ItemFlags flags(const QModelIndex& ix) const override;
  bool setData(const QModelIndex& ix, const QVariant& value, int role) override;

  static constexpr int kBlock = 256;

 private:
  dao::Recordset* rs_ = nullptr;
  int shown_ = 0;
  // The cells last read, painted while long work keeps the database busy.
  mutable QHash<quint64, QString> shownCells_;
  CellEditor editor_;
};

}  // namespace app
