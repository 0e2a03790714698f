// Index nested-loop join: for each row of the left input, the rows of a base
// table whose indexed column equals the row's key are found through the
// index (a seek and a short walk), so the table is never read whole. Used
// when the left input is small beside the table.
#include "jet/index.h"
#include "jet/index_key.h"
#include "sql/exec.h"
#include "sql/ops.h"

namespace sql {

using jet::Value;

namespace {

class IndexLookupJoinOp : public Op {
 public:
  IndexLookupJoinOp(OpP left, jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex,
                    BExprP leftKey, BExprP rightFilter, std::shared_ptr<std::vector<bool>> used, bool rowIdColumn,
                    BExprP residual, JoinKind kind)
      : left_(std::move(left)), db_(db), def_(std::move(def)), real_(realIndex), leftKey_(std::move(leftKey)),
        rightFilter_(std::move(rightFilter)), residual_(std::move(residual)), kind_(kind), decoder_(db, *def_),
        rowIdColumn_(rowIdColumn), used_(std::move(used)) {
    rightWidth_ = def_->columns.size() + (rowIdColumn_ ? 1 : 0);
    width = left_->width + rightWidth_;
  }
  void open(const Frame* outer) override {
    // which columns are read is known once the whole statement is bound
    cols_.clear();
    for (size_t c = 0; c < def_->columns.size(); ++c)
      if (!used_ || (c < used_->size() && (*used_)[c])) cols_.push_back(c);
    outer_ = outer;
    holder_.reset();  // rows are read afresh on each run
    left_->open(outer);
    haveLeft_ = false;
  }
  bool next(Row& out) override {
    for (;;) {
      if (!haveLeft_) {
        if (!left_->next(cur_)) return false;
        haveLeft_ = true;
        matched_ = false;
        active_ = false;
        Frame f{&cur_.v, outer_};
        Value k = leftKey_->eval(f);
        if (!k.isNull() && k.isNumeric()) {
          const auto& ri = def_->realIndexes.at(static_cast<size_t>(real_));
          prefix_ = jet::encodeIndexKeyValues(db_.format(), *def_, ri, {k});
          if (!cursor_) cursor_ = std::make_unique<jet::IndexCursor>(db_, ri);
          cursor_->seek(prefix_);
          active_ = true;
        }
      }
      while (active_ && cursor_->next()) {
        if (!jet::keyStartsWith(cursor_->key(), prefix_)) {
          active_ = false;
          break;
        }
        jet::RowId id = cursor_->rowId();
        if (!jet::readRow(db_.pager(), *def_, id, holder_, heldPage_, bytes_)) continue;
        right_.assign(rightWidth_, Value());
        for (size_t c : cols_) right_[c] = decoder_.decodeColumn(bytes_, c);
        if (rowIdColumn_) right_.back() = Value::bigInt(static_cast<int64_t>(id.packed()));
        if (rightFilter_) {
          Frame rf{&right_, outer_};
          if (!isTrue(rightFilter_->eval(rf))) continue;
        }
        out.v = cur_.v;
        out.v.resize(left_->width);
        out.v.insert(out.v.end(), right_.begin(), right_.end());
        if (residual_) {
          Frame jf{&out.v, outer_};
          if (!isTrue(residual_->eval(jf))) continue;
        }
        matched_ = true;
        out.rid = {};
        return true;
      }
      haveLeft_ = false;
      if (kind_ == JoinKind::Left && !matched_) {
        out.v = cur_.v;
        out.v.resize(width);
        out.rid = {};
        return true;
      }
    }
  }

 private:
  OpP left_;
  jet::Database& db_;
  std::shared_ptr<const jet::TableDef> def_;
  int real_;
  BExprP leftKey_, rightFilter_, residual_;
  JoinKind kind_;
  jet::RowDecoder decoder_;
  bool rowIdColumn_;
  std::shared_ptr<std::vector<bool>> used_;
  size_t rightWidth_ = 0;
  std::vector<size_t> cols_;
  std::unique_ptr<jet::IndexCursor> cursor_;
  std::vector<uint8_t> prefix_;
  jet::PageRef holder_;
  uint32_t heldPage_ = 0;  // the page holder_ holds
  jet::ByteView bytes_;
  Row cur_;
  std::vector<Value> right_;
  bool haveLeft_ = false, matched_ = false, active_ = false;
  const Frame* outer_ = nullptr;
};

}  // namespace

OpP makeIndexLookupJoin(OpP left, jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex,
                        BExprP leftKey, BExprP rightFilter, std::shared_ptr<std::vector<bool>> used, bool rowIdColumn,
                        BExprP residual, JoinKind kind) {
  return std::make_unique<IndexLookupJoinOp>(std::move(left), db, std::move(def), realIndex, std::move(leftKey),
                                             std::move(rightFilter), std::move(used), rowIdColumn, std::move(residual),
                                             kind);
}

}  // namespace sql
