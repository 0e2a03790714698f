#include "app/grid/recordset_model.h"

#include <algorithm>
#include <climits>

#include "app/long_work.h"
#include "catalogue/recordset.h"

namespace app {

RecordsetModel::RecordsetModel(QObject* parent) : QAbstractTableModel(parent) {}

void RecordsetModel::setRecordset(dao::Recordset* rs) {
  beginResetModel();
  rs_ = rs;
  shown_ = 0;
  shownCells_.clear();
  if (rs_) {
    // The first block is read at once; the rest as the view scrolls on.
    if (!rs_->countKnown()) rs_->rowExists(kBlock - 1);
    shown_ = static_cast<int>(std::min<int64_t>(rs_->RecordCount(), rs_->countKnown() ? INT_MAX : kBlock));
  }
  endResetModel();
}

void RecordsetModel::reload() { setRecordset(rs_); }

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& ix) const {
  Qt::ItemFlags f = QAbstractTableModel::flags(ix);
  if (editor_ && rs_ && ix.isValid() && rs_->Updatable() && rs_->fieldUpdatable(ix.column()))
    f |= Qt::ItemIsEditable;
  return f;
}

bool RecordsetModel::setData(const QModelIndex& ix, const QVariant& value, int role) {
  if (role != Qt::EditRole || !editor_ || !ix.isValid()) return false;
  return editor_(ix.row(), ix.column(), value.toString());
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() || !rs_ ? 0 : shown_;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || !rs_ ? 0 : rs_->fieldCount();
}

QVariant RecordsetModel::data(const QModelIndex& ix, int role) const {
  if (!rs_ || !ix.isValid() || ix.row() >= shown_) return {};
  if (role == Qt::DisplayRole) {
    const quint64 key = (static_cast<quint64>(ix.row()) << 16) | static_cast<quint64>(ix.column() & 0xffff);
    if (engineBusy()) return shownCells_.value(key);
    QString text;
    try {
      text = QString::fromStdString(dao::displayText(rs_->valueAt(ix.row(), ix.column())));
    } catch (const std::exception&) {
      text = QStringLiteral("#Error");
    }
    if (shownCells_.size() > 20000) shownCells_.clear();
    shownCells_.insert(key, text);
    return text;
  }
  if (role == Qt::TextAlignmentRole) {
    int t = rs_->Fields()[ix.column()].Type;
    bool numeric = (t >= 2 && t <= 7) || t == 16 || t == 20;
    return QVariant::fromValue((numeric ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  }
  return {};
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation o, int role) const {
  if (!rs_ || o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section < 0 || section >= rs_->fieldCount()) return {};
  return QString::fromStdString(rs_->Fields()[section].Name);
}

bool RecordsetModel::canFetchMore(const QModelIndex& parent) const {
  if (parent.isValid() || !rs_ || engineBusy()) return false;
  if (rs_->countKnown()) return shown_ < std::min<int64_t>(rs_->RecordCount(), INT_MAX);
  return true;
}

void RecordsetModel::fetchMore(const QModelIndex& parent) {
  if (parent.isValid() || !rs_ || engineBusy()) return;
  int64_t target = static_cast<int64_t>(shown_) + kBlock;
  int64_t have = shown_;
  if (rs_->countKnown()) {
    have = std::min<int64_t>(rs_->RecordCount(), target);
  } else {
    // Ask for the last row of the block; the recordset reads up to it.
    rs_->rowExists(target - 1);
    have = std::min<int64_t>(rs_->RecordCount(), target);
  }
  have = std::min<int64_t>(have, INT_MAX);
  if (have <= shown_) return;
  beginInsertRows({}, shown_, static_cast<int>(have - 1));
  shown_ = static_cast<int>(have);
  endInsertRows();
}

void RecordsetModel::fetchTo(int64_t n) {
  if (!rs_ || n <= shown_) return;
  rs_->rowExists(n - 1);
  int64_t have = std::min<int64_t>({rs_->RecordCount(), n, INT_MAX});
  if (have <= shown_) return;
  if (have - shown_ > 100000) {
    // as in fetchAll: a new size costs the views less than so many rows
    beginResetModel();
    shown_ = static_cast<int>(have);
    endResetModel();
    return;
  }
  beginInsertRows({}, shown_, static_cast<int>(have - 1));
  shown_ = static_cast<int>(have);
  endInsertRows();
}

void RecordsetModel::fetchAll() {
  if (!rs_) return;
  int64_t n = std::min<int64_t>(rs_->countAll(), INT_MAX);
  if (n <= shown_) return;
  if (n - shown_ > 100000) {
    // Announcing a million inserted rows costs the views far more than
    // telling them the model has a new size.
    beginResetModel();
    shown_ = static_cast<int>(n);
    endResetModel();
    return;
  }
  beginInsertRows({}, shown_, static_cast<int>(n - 1));
  shown_ = static_cast<int>(n);
  endInsertRows();
}

}  // namespace app
