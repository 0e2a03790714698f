// TOP n over ORDER BY without sorting every row: rows are gathered in a
// buffer that is sorted and cut back to the best n (and the rows tied with
// the n-th) whenever it holds a few times n rows, so memory and sorting stay
// in proportion to n. The order and the ties are those of a full stable
// sort followed by TOP.
#include <algorithm>

#include "sql/exec.h"
#include "sql/ops.h"

namespace sql {

namespace {

class TopSortOp : public Op {
 public:
  TopSortOp(OpP c, std::vector<SortKey> keys, size_t n, const Collation& coll)
      : child_(std::move(c)), keys_(std::move(keys)), coll_(coll), n_(n) {
    width = child_->width;
  }
  void open(const Frame* outer) override {
    rows_.clear();
    pos_ = 0;
    if (n_ == 0) return;
    child_->open(outer);
    const size_t limit = std::max<size_t>(n_ * 4, 256);
    Row r;
    bool bounded = false;  // rows_[n_ - 1] is the n-th best row so far
    while (child_->next(r)) {
      // A row after the n-th best of the rows before it can only fall
      // further back: it is dropped at once (its ties are kept).
      if (bounded && compare(r, rows_[n_ - 1]) > 0) continue;
      rows_.push_back(std::move(r));
      if (rows_.size() >= limit) {
        prune();
        bounded = rows_.size() >= n_;
      }
    }
    prune();
  }
  bool next(Row& out) override {
    if (pos_ >= rows_.size()) return false;
    out = std::move(rows_[pos_++]);
    return true;
  }

 private:
  int compare(const Row& a, const Row& b) const {
    for (const auto& k : keys_) {
      int c = compareForSort(a.v[k.slot], b.v[k.slot], coll_);
      if (c) return k.desc ? -c : c;
    }
    return 0;
  }
  // Sorts (stably: rows met earlier stay first among equals) and keeps the
  // first n rows and those equal to the n-th.
  void prune() {
    std::stable_sort(rows_.begin(), rows_.end(), [this](const Row& a, const Row& b) { return compare(a, b) < 0; });
    if (rows_.size() <= n_) return;
    size_t keep = n_;
    while (keep < rows_.size() && compare(rows_[keep], rows_[n_ - 1]) == 0) ++keep;
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(keep), rows_.end());
  }

  OpP child_;
  std::vector<SortKey> keys_;
  const Collation& coll_;
  size_t n_;
  std::vector<Row> rows_;
  size_t pos_ = 0;
};

// Reads each row of the child again through its RowId, decoding the
// columns used (the child decoded fewer).
class RefetchOp : public Op {
 public:
  RefetchOp(OpP c, jet::Database& db, std::shared_ptr<const jet::TableDef> def, std::shared_ptr<std::vector<bool>> used)
      : child_(std::move(c)), db_(db), def_(std::move(def)), decoder_(db, *def_), used_(std::move(used)) {
    width = def_->columns.size();
  }
  void open(const Frame* outer) override {
    cols_.clear();
    for (size_t i = 0; i < def_->columns.size(); ++i)
      if (!used_ || (i < used_->size() && (*used_)[i])) cols_.push_back(i);
    child_->open(outer);
  }
  bool next(Row& out) override {
    while (child_->next(in_)) {
      if (!jet::readRow(db_.pager(), *def_, in_.rid, holder_, bytes_)) continue;
      out.v.assign(def_->columns.size(), jet::Value());
      const jet::RowLayout row(db_.format(), *def_, bytes_);
      for (size_t i : cols_) out.v[i] = decoder_.decodeColumn(row, i);
      out.rid = in_.rid;
      return true;
    }
    return false;
  }

 private:
  OpP child_;
  jet::Database& db_;
  std::shared_ptr<const jet::TableDef> def_;
  jet::RowDecoder decoder_;
  std::shared_ptr<std::vector<bool>> used_;
  std::vector<size_t> cols_;
  Row in_;
  jet::PageRef holder_;
  jet::ByteView bytes_;
};

}  // namespace

OpP makeRefetch(OpP child, jet::Database& db, std::shared_ptr<const jet::TableDef> def,
                std::shared_ptr<std::vector<bool>> used) {
  return std::make_unique<RefetchOp>(std::move(child), db, std::move(def), std::move(used));
}

OpP makeTopSort(OpP child, std::vector<SortKey> keys, size_t n, const Collation& coll) {
  return std::make_unique<TopSortOp>(std::move(child), std::move(keys), n, coll);
}

}  // namespace sql
