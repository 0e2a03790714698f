// Count(*) over an index range from the index entries: the range is bounded
// exactly as a range scan bounds it (see TableScanOp), and whole leaves
// inside it are counted without decoding their entries. Text equality reads
// each candidate's row for the one column it checks.
#include "jet/index.h"
#include "jet/index_key.h"
#include "sql/collate.h"
#include "sql/exec.h"

#include <algorithm>

namespace sql {

using jet::Value;

namespace {

class IndexCountOp : public Op {
 public:
  IndexCountOp(jet::Database& db, std::shared_ptr<const jet::TableDef> def, IndexRange range,
               std::vector<TextCheck> checks, size_t w, const Collation& coll)
      : db_(db), def_(std::move(def)), range_(std::move(range)), checks_(std::move(checks)), coll_(coll), decoder_(db_, *def_) {
    width = w;
  }
  void open(const Frame*) override {
    done_ = false;
    count_ = countRange();
  }
  bool next(Row& out) override {
    if (done_) return false;
    done_ = true;
    out.v.assign(width, Value::longInt(static_cast<int32_t>(std::min<uint64_t>(count_, INT32_MAX))));
    out.rid = {};
    return true;
  }

 private:
  using Bound = jet::IndexCursor::Bound;
  std::vector<uint8_t> key(std::vector<Value> vals) const {
    const auto& ri = def_->realIndexes.at(static_cast<size_t>(range_.realIndex));
    return jet::encodeIndexKeyValues(db_.format(), *def_, ri, vals);
  }
  uint64_t countRange() {
    const auto& ri = def_->realIndexes.at(static_cast<size_t>(range_.realIndex));
    jet::IndexCursor c(db_, ri);
    if (!range_.seeks.empty()) {
      // each value once, in key order
      std::vector<std::vector<uint8_t>> keys;
      for (const auto& vals : range_.seeks) keys.push_back(key(vals));
      std::sort(keys.begin(), keys.end(),
                [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) { return jet::compareKeys(a, b) < 0; });
      keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
      uint64_t n = 0;
      for (const auto& k : keys) {
        c.seek(k);
        n += checks_.empty() ? c.countWhile(k, Bound::Through) : countChecked(c, k);
      }
      return n;
    }
    const std::vector<uint8_t> prefix = range_.equal.empty() ? std::vector<uint8_t>{} : key(range_.equal);
    if (!checks_.empty()) {
      c.seek(prefix);
      return countChecked(c, prefix);
    }
    std::vector<uint8_t> high;
    if (range_.high) {
      auto hv = range_.equal;
      hv.push_back(*range_.high);
      high = key(hv);
    }
    if (range_.low) {
      auto lv = range_.equal;
      lv.push_back(*range_.low);
      c.seek(key(lv));
    } else if (range_.high) {
      // Nulls sort first; a range with only an upper bound skips them (the
      // bounded column's, after the equal values)
      auto nullKey = prefix;
      nullKey.push_back(jet::keyflag::kAscNull);
      c.seekPast(nullKey);
    } else {
      c.seek(prefix);
    }
    // Keys between the low (or prefix) key and the high key, both starting
    // with the prefix, start with it too.
    if (!high.empty()) return c.countWhile(high, Bound::Through);
    if (!prefix.empty()) return c.countWhile(prefix, Bound::Through);
    return c.countWhile({}, Bound::All);
  }

  // Entries whose key is exactly k whose rows pass the text checks.
  uint64_t countChecked(jet::IndexCursor& c, const std::vector<uint8_t>& k) {
    uint64_t n = 0;
    while (c.next() && c.key() == k) {
      if (!jet::readRow(db_.pager(), *def_, c.rowId(), holder_, heldPage_, bytes_)) continue;
      bool ok = true;
      for (const auto& chk : checks_) {
        Value v = decoder_.decodeColumn(bytes_, chk.column);
        bool any = false;
        for (const auto& want : chk.values) any = any || (v.isText() && coll_.equals(v.bytes(), want.bytes()));
        ok = ok && any;
      }
      n += ok;
    }
    holder_.reset();
    return n;
  }

  jet::Database& db_;
  std::shared_ptr<const jet::TableDef> def_;
  IndexRange range_;
  std::vector<TextCheck> checks_;
  const Collation& coll_;
  jet::RowDecoder decoder_;
  jet::PageRef holder_;
  uint32_t heldPage_ = 0;  // the page holder_ holds
  jet::ByteView bytes_;
  uint64_t count_ = 0;
  bool done_ = false;
};

}  // namespace

OpP makeIndexCount(jet::Database& db, std::shared_ptr<const jet::TableDef> def, IndexRange range,
                   std::vector<TextCheck> textChecks, size_t width, const Collation& coll) {
  return std::make_unique<IndexCountOp>(db, std::move(def), std::move(range), std::move(textChecks), width, coll);
}

}  // namespace sql
