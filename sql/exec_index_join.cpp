// Index nested-loop join: for each row of the left input, the rows of a base
// table whose indexed column equals the row's key are found through the
// index (a seek and a short walk), so the table is never read whole. Used
// when the left input is small beside the table.
//
// Left rows are taken in batches. A batch's keys are looked up in key order
// (each key once; a seek that lands on the leaf the last one ended on starts
// there), which visits the index's pages in order; then the batch's rows are
// joined in their own order, so the output is as if each left row were
// looked up in turn. Up to kKeptIds matching row addresses are kept per key;
// a key with more keeps its place in the index and walks on from there when
// its rows are joined. Rows are asked for a few matches ahead, so that reads
// of rows on scattered pages overlap.
#include <algorithm>
#include <cstring>

#include "jet/index.h"
#include "jet/index_key.h"
#include "sql/exec.h"
#include "sql/ops.h"

namespace sql {

using jet::Value;

namespace {

constexpr size_t kFirstBatch = 512;    // a batch grows from this ...
constexpr size_t kLastBatch = 4096;    // ... to this many left rows
constexpr size_t kKeptIds = 16;        // matches kept per key
constexpr size_t kPageAhead = 16, kBytesAhead = 8;  // how far ahead rows are asked for

class IndexLookupJoinOp : public Op {
 public:
  IndexLookupJoinOp(OpP left, jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex,
                    BExprP leftKey, BExprP rightFilter, std::shared_ptr<std::vector<bool>> used, bool rowIdColumn,
                    BExprP residual, JoinKind kind)
      : left_(std::move(left)), db_(db), def_(std::move(def)), real_(realIndex), leftKey_(std::move(leftKey)),
        rightFilter_(std::move(rightFilter)), residual_(std::move(residual)), kind_(kind), decoder_(db, *def_),
        rowIdColumn_(rowIdColumn), used_(std::move(used)) {
    std::vector<size_t> filterSlots;
    filterKnown_ = !rightFilter_ || rowSlotsRead(*rightFilter_, filterSlots);
    rightWidth_ = def_->columns.size() + (rowIdColumn_ ? 1 : 0);
    width = left_->width + rightWidth_;
  }
  void open(const Frame* outer) override {
    // which columns are read is known once the whole statement is bound
    cols_.clear();
    for (size_t c = 0; c < def_->columns.size(); ++c)
      if (!used_ || (c < used_->size() && (*used_)[c])) cols_.push_back(c);
    // Rows may be looked at in the cache without holding their page when
    // nothing done with their bytes asks the pager for another page.
    peek_ = rowsMayBePeeked(*def_, used_.get(), filterKnown_);
    const auto& ri = def_->realIndexes.at(static_cast<size_t>(real_));
    const auto& ic = ri.columns.at(0);
    if (ic.column < 0 || static_cast<size_t>(ic.column) >= def_->columns.size())
      throw jet::Error(jet::err::kCorrupt, "The database file is damaged: an index refers to a missing field.");
    keyColumn_ = &def_->columns[static_cast<size_t>(ic.column)];
    keyAscending_ = ic.ascending;
    outer_ = outer;
    holder_.reset();  // rows are read afresh on each run
    heldPage_ = 0;
    left_->open(outer);
    leftDone_ = false;
    batchSize_ = kFirstBatch;
    batchLen_ = 0;
    at_ = 0;
    inRow_ = false;
  }
  bool next(Row& out) override {
    for (;;) {
      if (!inRow_) {
        if (at_ >= batchLen_ && !fillBatch()) return false;
        const Probe& p = probes_[at_];
        seqPos_ = p.seqAt;
        seqEnd_ = p.seqAt + p.seqLen;
        overflow_ = p.result >= 0 && results_[static_cast<size_t>(p.result)].overflow;
        walking_ = false;
        matched_ = false;
        inRow_ = true;
      }
      jet::RowId id;
      while (nextMatch(id)) {
        if (!(peek_ && jet::peekRow(db_.pager(), *def_, id, bytes_)) &&
            !jet::readRow(db_.pager(), *def_, id, holder_, heldPage_, bytes_))
          continue;
        const std::vector<Value>& lv = batch_[at_].v;
        const size_t lw = left_->width;
        const jet::RowLayout row(db_.format(), *def_, bytes_);
        if (rightFilter_) {
          right_.assign(rightWidth_, Value());
          for (size_t c : cols_) right_[c] = decoder_.decodeColumn(row, c);
          if (rowIdColumn_) right_.back() = Value::bigInt(static_cast<int64_t>(id.packed()));
          Frame rf{&right_, outer_};
          if (!isTrue(rightFilter_->eval(rf))) continue;
          out.v.assign(lv.begin(), lv.begin() + static_cast<std::ptrdiff_t>(std::min(lv.size(), lw)));
          out.v.resize(lw);
          out.v.insert(out.v.end(), std::make_move_iterator(right_.begin()), std::make_move_iterator(right_.end()));
        } else {
          // The values go straight to their places in a row of the join's
          // width: the left row's over the last, the right side's read
          // columns decoded into theirs. The columns not read stay Null from
          // when the row was made that wide.
          if (out.v.size() != width) out.v.assign(width, Value());
          const size_t n = std::min(lv.size(), lw);
          std::copy(lv.begin(), lv.begin() + static_cast<std::ptrdiff_t>(n), out.v.begin());
          std::fill(out.v.begin() + static_cast<std::ptrdiff_t>(n), out.v.begin() + static_cast<std::ptrdiff_t>(lw),
                    Value());
          for (size_t c : cols_) out.v[lw + c] = decoder_.decodeColumn(row, c);
          if (rowIdColumn_) out.v.back() = Value::bigInt(static_cast<int64_t>(id.packed()));
        }
        if (residual_) {
          Frame jf{&out.v, outer_};
          if (!isTrue(residual_->eval(jf))) continue;
        }
        matched_ = true;
        out.rid = {};
        return true;
      }
      inRow_ = false;
      const size_t row = at_++;
      if (kind_ == JoinKind::Left && !matched_) {
        out.v = std::move(batch_[row].v);
        out.v.resize(width);
        out.rid = {};
        return true;
      }
    }
  }

 private:
  struct Probe {
    size_t keyAt = 0, keyLen = 0;  // in keys_
    long result = -1;              // in results_; -1: no key (never matches)
    size_t seqAt = 0, seqLen = 0;  // the kept matches, in seq_
  };
  struct Result {
    size_t idsAt = 0, idsLen = 0;  // in ids_
    bool overflow = false;         // more matches follow mark
    jet::IndexCursor::Mark mark;
  };

  // Reads the next batch of left rows and looks their keys up; false when
  // the left input is exhausted.
  bool fillBatch() {
    batchLen_ = 0;  // the rows' vectors are kept for the next batch
    probes_.clear();
    results_.clear();
    keys_.clear();
    ids_.clear();
    seq_.clear();
    at_ = 0;
    if (leftDone_) return false;
    while (batchLen_ < batchSize_) {
      if (batchLen_ == batch_.size()) batch_.emplace_back();
      Row& row = batch_[batchLen_];
      if (!left_->next(row)) {
        leftDone_ = true;
        break;
      }
      ++batchLen_;
      Probe p;
      Frame f{&row.v, outer_};
      Value k = leftKey_->eval(f);
      if (!k.isNull() && k.isNumeric()) {
        p.keyAt = keys_.size();
        jet::appendKeyColumn(db_.format(), *keyColumn_, keyAscending_, k, keys_);
        p.keyLen = keys_.size() - p.keyAt;
        p.result = 0;
      }
      probes_.push_back(p);
    }
    batchSize_ = std::min(batchSize_ * 2, kLastBatch);
    if (batchLen_ == 0) return false;

    // the keys in order, each looked up once
    order_.clear();
    for (size_t i = 0; i < probes_.size(); ++i)
      if (probes_[i].result >= 0) order_.push_back(i);
    auto keyLess = [&](size_t a, size_t b) {
      const Probe& x = probes_[a];
      const Probe& y = probes_[b];
      const int c = std::memcmp(keys_.data() + x.keyAt, keys_.data() + y.keyAt, std::min(x.keyLen, y.keyLen));
      return c != 0 ? c < 0 : x.keyLen < y.keyLen;
    };
    sortKeys(keyLess);
    if (!cursor_ && !order_.empty())
      cursor_ = std::make_unique<jet::IndexCursor>(db_, def_->realIndexes.at(static_cast<size_t>(real_)));
    bool first = true;
    for (size_t n = 0; n < order_.size(); ++n) {
      Probe& p = probes_[order_[n]];
      if (n > 0 && !keyLess(order_[n - 1], order_[n])) {
        p.result = probes_[order_[n - 1]].result;
        continue;
      }
      prefix_.assign(keys_.begin() + static_cast<std::ptrdiff_t>(p.keyAt),
                     keys_.begin() + static_cast<std::ptrdiff_t>(p.keyAt + p.keyLen));
      // the index may have changed since the last batch: the first seek starts from the root
      if (first) cursor_->seek(prefix_);
      else cursor_->seekNear(prefix_);
      first = false;
      Result r;
      r.idsAt = ids_.size();
      while (cursor_->next() && jet::keyStartsWith(cursor_->key(), prefix_)) {
        if (ids_.size() - r.idsAt == kKeptIds) {
          r.overflow = true;
          r.mark = cursor_->mark();
          break;
        }
        ids_.push_back(cursor_->rowId());
      }
      r.idsLen = ids_.size() - r.idsAt;
      p.result = static_cast<long>(results_.size());
      results_.push_back(std::move(r));
    }
    // the kept matches in the order the rows are joined
    for (Probe& p : probes_) {
      p.seqAt = seq_.size();
      if (p.result >= 0) {
        const Result& r = results_[static_cast<size_t>(p.result)];
        seq_.insert(seq_.end(), ids_.begin() + static_cast<std::ptrdiff_t>(r.idsAt),
                    ids_.begin() + static_cast<std::ptrdiff_t>(r.idsAt + r.idsLen));
      }
      p.seqLen = seq_.size() - p.seqAt;
    }
    const jet::Pager& pager = db_.pager();
    for (size_t i = 0; i < seq_.size() && i < kPageAhead; ++i) jet::prefetchRowPage(pager, seq_[i], peek_);
    return true;
  }

  // Orders order_ by key. Keys of up to 7 bytes (the integral types but Big
  // Integer) are sorted as numbers: their bytes from the top, zero-padded,
  // then their length, which orders them as their bytes do.
  template <class Less>
  void sortKeys(const Less& keyLess) {
    bool small = true;
    for (size_t i : order_) small = small && probes_[i].keyLen <= 7;
    if (!small) {
      std::sort(order_.begin(), order_.end(), keyLess);
      return;
    }
    packed_.clear();
    for (size_t i : order_) {
      const Probe& p = probes_[i];
      uint64_t v = 0;
      for (size_t b = 0; b < p.keyLen; ++b) v |= uint64_t{keys_[p.keyAt + b]} << (56 - 8 * b);
      packed_.push_back({v | p.keyLen, i});
    }
    std::sort(packed_.begin(), packed_.end());
    for (size_t n = 0; n < packed_.size(); ++n) order_[n] = packed_[n].second;
  }

  // The next match of the current left row: a kept one, then (for a key
  // with more) the rest walked from the index.
  bool nextMatch(jet::RowId& id) {
    if (seqPos_ < seqEnd_) {
      const jet::Pager& pager = db_.pager();
      if (seqPos_ + kPageAhead < seq_.size()) jet::prefetchRowPage(pager, seq_[seqPos_ + kPageAhead], peek_);
      if (seqPos_ + kBytesAhead < seq_.size()) jet::prefetchRowBytes(pager, seq_[seqPos_ + kBytesAhead]);
      id = seq_[seqPos_++];
      return true;
    }
    if (overflow_) {
      overflow_ = false;
      const Probe& p = probes_[at_];
      cursor_->restore(results_[static_cast<size_t>(p.result)].mark);
      prefix_.assign(keys_.begin() + static_cast<std::ptrdiff_t>(p.keyAt),
                     keys_.begin() + static_cast<std::ptrdiff_t>(p.keyAt + p.keyLen));
      walking_ = true;
    }
    if (walking_) {
      if (cursor_->next() && jet::keyStartsWith(cursor_->key(), prefix_)) {
        id = cursor_->rowId();
        return true;
      }
      walking_ = false;
    }
    return false;
  }

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
  const jet::Column* keyColumn_ = nullptr;
  bool keyAscending_ = true;
  std::unique_ptr<jet::IndexCursor> cursor_;
  std::vector<uint8_t> prefix_;
  jet::PageRef holder_;
  uint32_t heldPage_ = 0;  // the page holder_ holds
  bool filterKnown_ = true;  // the right filter's row reads are all known
  bool peek_ = false;        // rows are read with jet::peekRow where it can
  jet::ByteView bytes_;
  std::vector<Value> right_;
  const Frame* outer_ = nullptr;

  // the current batch
  std::vector<Row> batch_;  // the left rows of the batch: the first batchLen_
  size_t batchLen_ = 0;
  std::vector<Probe> probes_;
  std::vector<Result> results_;
  std::vector<uint8_t> keys_;
  std::vector<jet::RowId> ids_, seq_;
  std::vector<size_t> order_;
  std::vector<std::pair<uint64_t, size_t>> packed_;
  size_t batchSize_ = kFirstBatch;
  bool leftDone_ = false;
  size_t at_ = 0;  // the batch row being joined
  bool inRow_ = false, matched_ = false, overflow_ = false, walking_ = false;
  size_t seqPos_ = 0, seqEnd_ = 0;
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
