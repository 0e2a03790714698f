// The table scan: a base table's rows in physical order or through an
// index range, tested on their stored bytes, then decoded and filtered.
#include "sql/exec.h"
#include "sql/errors.h"

#include <algorithm>
#include <array>

#include "jet/error.h"
#include "jet/index_key.h"
#include "sql/ops.h"
#include "sql/raw_predicate.h"

namespace sql {

using jet::Value;

namespace {

class TableScanOp : public Op {
 public:
  TableScanOp(jet::Database& db, std::shared_ptr<const jet::TableDef> def, BExprP filter, std::optional<IndexRange> range,
              std::shared_ptr<std::vector<bool>> used)
      : db_(db), def_(std::move(def)), filter_(std::move(filter)), range_(std::move(range)), decoder_(db, *def_),
        used_(std::move(used)) {
    width = def_->columns.size();
    raw_ = RawFilter::make(db.format(), *def_, filter_.get());
    if (filter_) filterSlotsKnown_ = rowSlotsRead(*filter_, filterSlots_);
  }
  void open(const Frame* outer) override {
    outer_ = outer;
    done_ = false;
    holder_.reset();  // rows are read afresh on each run
    if (range_) {
      const auto& ri = def_->realIndexes.at(static_cast<size_t>(range_->realIndex));
      cursor_ = std::make_unique<jet::IndexCursor>(db_, ri);
      seekKeys_.clear();
      seekIdx_ = 0;
      if (!range_->seeks.empty()) {
        // ascending and without repeats: rows come in index order, once
        for (const auto& vals : range_->seeks) seekKeys_.push_back(jet::encodeIndexKeyValues(db_.format(), *def_, ri, vals));
        std::sort(seekKeys_.begin(), seekKeys_.end(),
                  [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) { return jet::compareKeys(a, b) < 0; });
        seekKeys_.erase(std::unique(seekKeys_.begin(), seekKeys_.end()), seekKeys_.end());
      }
      std::vector<Value> keyVals = range_->equal;
      prefix_ = keyVals.empty() ? std::vector<uint8_t>{}
                                : jet::encodeIndexKeyValues(db_.format(), *def_, ri, keyVals);
      highKey_.clear();
      if (range_->high) {
        auto hv = keyVals;
        hv.push_back(*range_->high);
        highKey_ = jet::encodeIndexKeyValues(db_.format(), *def_, ri, hv);
      }
      if (!seekKeys_.empty()) {
        prefix_ = seekKeys_[0];
        cursor_->seek(prefix_);
      } else if (range_->low) {
        auto lv = keyVals;
        lv.push_back(*range_->low);
        cursor_->seek(jet::encodeIndexKeyValues(db_.format(), *def_, ri, lv));
      } else if (!prefix_.empty()) {
        cursor_->seek(prefix_);
      } else {
        cursor_->beforeFirst();
        // Nulls sort first; a range with only an upper bound skips them
        if (range_->high) {
          std::vector<uint8_t> nullKey{jet::keyflag::kAscNull};
          cursor_->seekPast(nullKey);
        }
      }
    } else {
      if (!scan_) scan_ = std::make_unique<jet::TableScan>(db_, def_);
      scan_->reset();
    }
    cols_.clear();
    skip_.clear();
    for (size_t c = 0; c < def_->columns.size(); ++c) {
      if (!used_ || (c < used_->size() && (*used_)[c])) cols_.push_back(c);
      else skip_.push_back(c);
    }
    // With the filter's columns known, those are decoded first and the
    // others only for rows that pass.
    lateCols_.clear();
    if (filterSlotsKnown_) {
      std::vector<size_t> first;
      for (size_t c : cols_) {
        if (std::find(filterSlots_.begin(), filterSlots_.end(), c) != filterSlots_.end()) first.push_back(c);
        else lateCols_.push_back(c);
      }
      cols_ = std::move(first);
    }
    keysOnly_ = range_ && !filter_ && cols_.empty() && lateCols_.empty();
    // Rows may be looked at in the cache without holding their page when
    // nothing done with them asks the pager for another page.
    peek_ = rowsMayBePeeked(*def_, used_.get(), !filter_ || filterSlotsKnown_);
    aheadHead_ = aheadCount_ = 0;
    entriesDone_ = false;
  }
  bool next(Row& out) override {
    if (done_) return false;
    if (range_) {
      jet::RowId id;
      if (keysOnly_) {
        if (pullEntry(id)) {
          // nothing to decode or test: the entry stands for its row
          out.v.assign(def_->columns.size(), Value());
          out.rid = id;
          return true;
        }
      } else {
        // The rows' addresses are read well ahead of the row at hand and
        // their bytes asked for in steps (see jet::prefetchRow*), so that
        // the reads of rows on scattered pages overlap; rows still come in
        // index order.
        const jet::Pager& pager = db_.pager();
        if (aheadCount_ == 0 && !entriesDone_) {
          while (aheadCount_ < kAhead && pushEntry(pager)) {
          }
          for (size_t k = 0; k < std::min(aheadCount_, kPageAt); ++k) jet::prefetchRowPage(pager, ahead_[k], peek_);
          for (size_t k = 0; k < std::min(aheadCount_, kBytesAt); ++k) jet::prefetchRowBytes(pager, ahead_[k]);
        }
        while (aheadCount_ > 0) {
          id = ahead_[aheadHead_];
          aheadHead_ = (aheadHead_ + 1) % kAhead;
          --aheadCount_;
          if (aheadCount_ >= kPageAt) jet::prefetchRowPage(pager, ahead_[(aheadHead_ + kPageAt - 1) % kAhead], peek_);
          if (aheadCount_ >= kBytesAt) jet::prefetchRowBytes(pager, ahead_[(aheadHead_ + kBytesAt - 1) % kAhead]);
          pushEntry(pager);
          if (!(peek_ && jet::peekRow(pager, *def_, id, bytes_)) &&
              !jet::readRow(db_.pager(), *def_, id, holder_, heldPage_, bytes_))
            continue;
          if (!take(bytes_, id, out)) continue;
          return true;
        }
      }
      done_ = true;
      holder_.reset();
      return false;
    }
    while (scan_->next())
      if (take(scan_->rawRow(), scan_->rowId(), out)) return true;
    done_ = true;
    return false;
  }

 private:
  // The next index entry within the range (its row's address); false at the
  // end of the range.
  bool pullEntry(jet::RowId& id) {
    while (cursor_->next()) {
      const auto& key = cursor_->key();
      if (!seekKeys_.empty() && !jet::keyStartsWith(key, prefix_)) {
        // on to the next value's entries
        if (++seekIdx_ >= seekKeys_.size()) return false;
        prefix_ = seekKeys_[seekIdx_];
        cursor_->seek(prefix_);
        continue;
      }
      if (!prefix_.empty() && !jet::keyStartsWith(key, prefix_)) return false;
      if (!highKey_.empty() && jet::compareKeys(key, highKey_) > 0 && !jet::keyStartsWith(key, highKey_)) return false;
      id = cursor_->rowId();
      return true;
    }
    return false;
  }

  // Reads the next entry's row address into the ring of addresses ahead
  // (first step of its prefetch); false at the end of the range.
  bool pushEntry(const jet::Pager& pager) {
    jet::RowId id;
    if (entriesDone_ || aheadCount_ >= kAhead) return false;
    if (!pullEntry(id)) {
      entriesDone_ = true;
      return false;
    }
    ahead_[(aheadHead_ + aheadCount_++) % kAhead] = id;
    jet::prefetchRowEntry(pager, id, peek_);
    return true;
  }

  // Decodes the row straight into out (only the columns something reads;
  // the others stay Null) and checks the filter.
  bool take(jet::ByteView bytes, jet::RowId id, Row& out) {
    // rows the stored bytes already rule out are not decoded
    if (raw_ && !raw_->mayPass(bytes)) return false;
    if (out.v.size() != def_->columns.size()) out.v.resize(def_->columns.size());
    for (size_t c : skip_)
      if (!out.v[c].isNull()) out.v[c] = Value();
    const jet::RowLayout row(db_.format(), *def_, bytes);
    for (size_t c : cols_) out.v[c] = decoder_.decodeColumn(row, c);
    if (filter_) {
      Frame f{&out.v, outer_};
      if (!isTrue(filter_->eval(f))) return false;  // the late columns are left as they were
    }
    for (size_t c : lateCols_) out.v[c] = decoder_.decodeColumn(row, c);
    out.rid = id;
    return true;
  }

  jet::Database& db_;
  std::shared_ptr<const jet::TableDef> def_;
  BExprP filter_;
  std::shared_ptr<const RawFilter> raw_;  // tests on the stored bytes, before filter_
  std::optional<IndexRange> range_;
  jet::RowDecoder decoder_;
  std::unique_ptr<jet::TableScan> scan_;
  std::unique_ptr<jet::IndexCursor> cursor_;
  std::vector<uint8_t> prefix_, highKey_;
  std::vector<std::vector<uint8_t>> seekKeys_;
  size_t seekIdx_ = 0;
  jet::PageRef holder_;
  uint32_t heldPage_ = 0;  // the page holder_ holds
  jet::ByteView bytes_;
  const Frame* outer_ = nullptr;
  bool done_ = false;
  std::shared_ptr<std::vector<bool>> used_;
  std::vector<size_t> cols_, skip_;
  std::vector<size_t> lateCols_;      // used columns the filter does not read: decoded after it passes
  std::vector<size_t> filterSlots_;   // the columns the filter reads
  bool filterSlotsKnown_ = false;
  bool keysOnly_ = false;
  bool peek_ = false;  // rows are read with jet::peekRow where it can
  // Addresses read ahead, and how far ahead of the row being read the
  // second and third prefetch steps are taken.
  static constexpr size_t kAhead = 64, kPageAt = 24, kBytesAt = 8;
  std::array<jet::RowId, kAhead> ahead_{};
  size_t aheadHead_ = 0, aheadCount_ = 0;
  bool entriesDone_ = false;
};

}  // namespace

bool rowsMayBePeeked(const jet::TableDef& def, const std::vector<bool>* used, bool filterKnown) {
  if (!filterKnown) return false;
  for (size_t c = 0; c < def.columns.size(); ++c)
    if ((!used || (c < used->size() && (*used)[c])) && !jet::RowDecoder::readsOnlyRow(def.columns[c])) return false;
  return true;
}

OpP makeTableScan(jet::Database& db, std::shared_ptr<const jet::TableDef> def, BExprP filter, std::optional<IndexRange> range,
                  std::shared_ptr<std::vector<bool>> used) {
  return std::make_unique<TableScanOp>(db, std::move(def), std::move(filter), std::move(range), std::move(used));
}

}  // namespace sql
