// Min and Max of an indexed field over a whole table, answered from the
// index: Min is the first entry after the Nulls, Max the last entry (the
// walk reads keys only); one row is read for each value.
#include "jet/index.h"
#include "jet/index_key.h"
#include "sql/exec.h"

namespace sql {

using jet::Value;

namespace {

class IndexMinMaxOp : public Op {
 public:
  IndexMinMaxOp(jet::Database& db, std::shared_ptr<const jet::TableDef> def, std::vector<IndexAggregate> aggs)
      : db_(db), def_(std::move(def)), aggs_(std::move(aggs)), decoder_(db, *def_) {
    width = aggs_.size();
  }
  void open(const Frame*) override {
    done_ = false;
    values_.assign(aggs_.size(), Value());
    for (size_t i = 0; i < aggs_.size(); ++i) {
      const auto& a = aggs_[i];
      jet::IndexCursor c(db_, def_->realIndexes.at(static_cast<size_t>(a.realIndex)));
      c.beforeFirst();
      c.seekPast(std::vector<uint8_t>{jet::keyflag::kAscNull});
      jet::RowId found;
      bool any = false;
      while (c.next()) {
        found = c.rowId();
        any = true;
        if (!a.max) break;
      }
      if (!any) continue;
      jet::PageRef holder;
      jet::ByteView bytes;
      if (jet::readRow(db_.pager(), *def_, found, holder, bytes)) values_[i] = decoder_.decodeColumn(bytes, a.column);
    }
  }
  bool next(Row& out) override {
    if (done_) return false;
    done_ = true;
    out.v = values_;
    out.rid = {};
    return true;
  }

 private:
  jet::Database& db_;
  std::shared_ptr<const jet::TableDef> def_;
  std::vector<IndexAggregate> aggs_;
  jet::RowDecoder decoder_;
  std::vector<Value> values_;
  bool done_ = false;
};

}  // namespace

OpP makeIndexMinMax(jet::Database& db, std::shared_ptr<const jet::TableDef> def, std::vector<IndexAggregate> aggs) {
  return std::make_unique<IndexMinMaxOp>(db, std::move(def), std::move(aggs));
}

}  // namespace sql
