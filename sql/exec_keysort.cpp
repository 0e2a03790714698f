// ORDER BY over the rows of one table holding only what the sort needs: for
// each row its RowId and a compact summary of each key (a number's ordered
// bits, a text's first sixteen collation weights with the text itself in
// one shared buffer), never the decoded rows. The order is exactly the stable sort of
// makeSort over the same rows: the same summaries decide where they differ,
// and every tie falls back to the same comparison of the values. The rows
// go out carrying their RowIds only (a refetch reads them whole), so the
// first rows are ready as soon as the sort is done.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "sql/collate.h"
#include "sql/exec.h"
#include "sql/ops.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

class KeySortOp : public Op {
 public:
  KeySortOp(OpP c, std::vector<SortKey> keys, const Collation& coll, size_t limit, size_t expectedRows)
      : child_(std::move(c)), keys_(std::move(keys)), coll_(coll), limit_(limit), expected_(expectedRows) {
    width = child_->width;
  }

  void open(const Frame* outer) override {
    if (fallback_) {
      fallback_->open(outer);
      return;
    }
    clear();
    child_->open(outer);
    Row r;
    const size_t nk = keys_.size();
    // Room for the rows the table holds, so the arrays are not copied as
    // they grow (room not used is never touched, and costs no memory).
    const size_t expect = std::min<size_t>(expected_, limit_ / (sizeof(jet::RowId) + nk * sizeof(Cell)));
    rids_.reserve(expect);
    cells_.reserve(expect * nk);
    while (child_->next(r)) {
      rids_.push_back(r.rid);
      for (size_t k = 0; k < nk; ++k) cells_.push_back(summarise(r.v[keys_[k].slot]));
      if (rids_.size() == 4096 && expect > 4096)
        text_.reserve(std::min(limit_, text_.size() / 4096 * expect + expect / 4 * nk));
      if ((rids_.size() & 0xFFF) == 0 && bytesHeld() > limit_) {
        // Too many rows to hold even this way: the general sort, which
        // spills to temporary files, reads the rows again.
        clear();
        fallback_ = makeSort(std::move(child_), keys_, coll_);
        fallback_->open(outer);
        return;
      }
    }
    sortOrder();
  }

  bool next(Row& out) override {
    if (fallback_) return fallback_->next(out);
    if (pos_ >= order_.size()) return false;
    out.v.assign(width, Value());
    out.rid = rids_[order_[pos_++]];
    return true;
  }

 private:
  enum Kind : uint8_t { kNone, kFast, kText, kBytes, kSlow };
  struct Cell {
    uint64_t bits = 0;  // number: ordered bits of the double; text: collation prefix
    uint64_t bits2 = 0;  // text: the next eight weights
    uint32_t ref = 0;   // text and bytes: offset in text_; slow: index in slow_
    uint32_t len = 0;
    uint8_t cls = 0;    // sortClass
    uint8_t kind = kNone;
    bool fast = false;  // bits decide when they differ
    bool fast2 = false;  // bits2 decide when they differ and bits are equal
    DataType type = DataType::Null;
  };

  // A double's bits as an unsigned number in the double's order (-0 as 0),
  // as makeSort orders them.
  static uint64_t orderedBits(double d) {
    if (d == 0) d = 0;
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return (u & (uint64_t{1} << 63)) ? ~u : u | (uint64_t{1} << 63);
  }

  Cell summarise(const Value& v) {
    Cell c;
    c.cls = static_cast<uint8_t>(sortClass(v));
    c.type = v.type();
    if (c.cls == 0) return c;
    if (c.cls == 2 || c.cls == 3) {
      const std::string& b = v.bytes();
      if (text_.size() + b.size() > UINT32_MAX) return slow(c, v);
      c.kind = c.cls == 2 ? kText : kBytes;
      c.ref = static_cast<uint32_t>(text_.size());
      c.len = static_cast<uint32_t>(b.size());
      text_ += b;
      if (c.cls == 2) {
        c.fast = c.fast2 = coll_.prefix16(b, c.bits, c.bits2);
        if (!c.fast) c.fast = coll_.prefix(b, c.bits);
      }
      return c;
    }
    switch (v.type()) {
      case DataType::Byte: case DataType::Integer: case DataType::Long:
        c.kind = kFast;
        c.fast = true;
        c.bits = orderedBits(static_cast<double>(v.asInt()));
        return c;
      case DataType::Double: case DataType::DateTime: case DataType::Single:
        if (!std::isnan(v.asDouble())) {
          c.kind = kFast;
          c.fast = true;
          c.bits = orderedBits(v.asDouble());
          return c;
        }
        return slow(c, v);
      default:
        return slow(c, v);
    }
  }

  Cell slow(Cell c, const Value& v) {
    c.kind = kSlow;
    c.fast = false;
    c.ref = static_cast<uint32_t>(slow_.size());
    slow_.push_back(v);
    return c;
  }

  // The value a cell summarises, for the comparisons its summary cannot
  // decide (numbers only: texts and bytes are compared where they are).
  Value valueOf(const Cell& c) const {
    if (c.kind == kSlow) return slow_[c.ref];
    uint64_t u = c.bits & (uint64_t{1} << 63) ? c.bits & ~(uint64_t{1} << 63) : ~c.bits;
    double d;
    std::memcpy(&d, &u, sizeof d);
    switch (c.type) {
      case DataType::Byte: return Value::byte(static_cast<uint8_t>(d));
      case DataType::Integer: return Value::integer(static_cast<int16_t>(d));
      case DataType::Long: return Value::longInt(static_cast<int32_t>(d));
      case DataType::Single: return Value::single(static_cast<float>(d));
      case DataType::DateTime: return Value::dateTime(d);
      default: return Value::dbl(d);
    }
  }

  std::string_view bytesOf(const Cell& c) const {
    if (c.kind == kSlow) return slow_[c.ref].bytes();
    return std::string_view(text_).substr(c.ref, c.len);
  }

  // compareForSort of the two values the cells summarise.
  int compareCells(const Cell& a, const Cell& b) const {
    if (a.cls != b.cls) return a.cls < b.cls ? -1 : 1;
    switch (a.cls) {
      case 0: return 0;
      case 1:
        if (a.kind == kFast && b.kind == kFast) return a.bits == b.bits ? 0 : a.bits < b.bits ? -1 : 1;
        return compareForSort(valueOf(a), valueOf(b), coll_);
      case 2: return coll_.compare(bytesOf(a), bytesOf(b));
      default: {
        int c = bytesOf(a).compare(bytesOf(b));
        return c < 0 ? -1 : c > 0 ? 1 : 0;
      }
    }
  }

  void sortOrder() {
    const size_t n = rids_.size(), nk = keys_.size();
    order_.resize(n);
    for (size_t i = 0; i < n; ++i) order_[i] = static_cast<uint32_t>(i);
    if (n < 2 || nk == 0) return;
    auto cmp = [&](uint32_t a, uint32_t b) {
      const Cell* ca = &cells_[size_t(a) * nk];
      const Cell* cb = &cells_[size_t(b) * nk];
      for (size_t k = 0; k < nk; ++k) {
        int c;
        if (ca[k].cls != cb[k].cls) c = ca[k].cls < cb[k].cls ? -1 : 1;
        else if (ca[k].cls == 0) c = 0;
        else if (ca[k].fast && cb[k].fast && ca[k].bits != cb[k].bits) c = ca[k].bits < cb[k].bits ? -1 : 1;
        else if (ca[k].fast2 && cb[k].fast2 && ca[k].bits2 != cb[k].bits2) c = ca[k].bits2 < cb[k].bits2 ? -1 : 1;
        else c = compareCells(ca[k], cb[k]);
        if (c) return keys_[k].desc ? c > 0 : c < 0;
      }
      return false;
    };
    std::stable_sort(order_.begin(), order_.end(), cmp);
    // The summaries are no longer needed, only the order and the RowIds.
    std::vector<Cell>().swap(cells_);
    std::string().swap(text_);
    std::vector<Value>().swap(slow_);
  }

  size_t bytesHeld() const {
    return rids_.capacity() * sizeof(jet::RowId) + cells_.capacity() * sizeof(Cell) + text_.capacity() +
           slow_.capacity() * sizeof(Value);
  }

  void clear() {
    rids_.clear();
    cells_.clear();
    text_.clear();
    slow_.clear();
    order_.clear();
    pos_ = 0;
  }

  OpP child_;
  std::vector<SortKey> keys_;
  const Collation& coll_;
  size_t limit_;
  size_t expected_;
  OpP fallback_;
  std::vector<jet::RowId> rids_;
  std::vector<Cell> cells_;  // keys_.size() per row
  std::string text_;
  std::vector<Value> slow_;
  std::vector<uint32_t> order_;
  size_t pos_ = 0;
};

}  // namespace

OpP makeKeySort(OpP child, std::vector<SortKey> keys, const Collation& coll, size_t expectedRows, size_t memoryLimit) {
  return std::make_unique<KeySortOp>(std::move(child), std::move(keys), coll, memoryLimit, expectedRows);
}

}  // namespace sql
