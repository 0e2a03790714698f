// Sorting with spill to disk: rows are gathered up to a memory budget,
// sorted and written out as runs to temporary files; the runs are then
// merged. Small inputs never touch the disk.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <queue>

#include "jet/error.h"
#include "sql/collate.h"
#include "sql/exec.h"
#include "sql/ops.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

template <typename T>
void put(std::string& out, T v) {
  char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  out.append(b, sizeof(T));
}

template <typename T>
bool get(const char*& p, const char* end, T& v) {
  if (static_cast<size_t>(end - p) < sizeof(T)) return false;
  std::memcpy(&v, p, sizeof(T));
  p += sizeof(T);
  return true;
}

size_t approxSize(const Row& r) {
  size_t n = sizeof(Row) + r.v.capacity() * sizeof(Value);
  for (const auto& v : r.v)
    if (v.isText() || v.isBinary() || v.type() == DataType::GUID) n += v.bytes().capacity();
  return n;
}

}  // namespace

void writeValue(std::string& out, const Value& v) {
  out.push_back(static_cast<char>(v.type()));
  switch (v.type()) {
    case DataType::Null: break;
    case DataType::Single: case DataType::Double: case DataType::DateTime: put(out, v.asDouble()); break;
    case DataType::Decimal: {
      auto d = v.asDecimal();
      put(out, d.mantissa);
      put(out, d.scale);
      put(out, d.precision);
      break;
    }
    case DataType::Text: case DataType::Memo: case DataType::Binary: case DataType::OLE: case DataType::GUID:
    case DataType::ExtDateTime:
      put(out, static_cast<uint32_t>(v.bytes().size()));
      out += v.bytes();
      break;
    default: put(out, v.asInt()); break;
  }
}

bool readValue(const char*& p, const char* end, Value& v) {
  if (p >= end) return false;
  auto t = static_cast<DataType>(static_cast<uint8_t>(*p++));
  switch (t) {
    case DataType::Null: v = Value(); return true;
    case DataType::Single: case DataType::Double: case DataType::DateTime: {
      double d;
      if (!get(p, end, d)) return false;
      v = t == DataType::Single ? Value::single(static_cast<float>(d)) : t == DataType::Double ? Value::dbl(d) : Value::dateTime(d);
      return true;
    }
    case DataType::Decimal: {
      jet::Decimal d;
      if (!get(p, end, d.mantissa) || !get(p, end, d.scale) || !get(p, end, d.precision)) return false;
      v = Value::decimal(d);
      return true;
    }
    case DataType::Text: case DataType::Memo: case DataType::Binary: case DataType::OLE: case DataType::GUID:
    case DataType::ExtDateTime: {
      uint32_t n;
      if (!get(p, end, n) || static_cast<size_t>(end - p) < n) return false;
      std::string s(p, n);
      p += n;
      if (t == DataType::Text || t == DataType::Memo || t == DataType::ExtDateTime) v = Value::text(std::move(s), t);
      else if (t == DataType::GUID) {
        std::array<uint8_t, 16> raw{};
        std::memcpy(raw.data(), s.data(), std::min<size_t>(16, s.size()));
        v = Value::guid(raw);
      } else v = Value::binary(std::move(s), t);
      return true;
    }
    default: {
      int64_t i;
      if (!get(p, end, i)) return false;
      switch (t) {
        case DataType::Boolean: v = Value::boolean(i != 0); break;
        case DataType::Byte: v = Value::byte(static_cast<uint8_t>(i)); break;
        case DataType::Integer: v = Value::integer(static_cast<int16_t>(i)); break;
        case DataType::Long: v = Value::longInt(static_cast<int32_t>(i)); break;
        case DataType::BigInt: v = Value::bigInt(i); break;
        case DataType::Currency: v = Value::currency(i); break;
        case DataType::Complex: v = Value::complex(static_cast<int32_t>(i)); break;
        default: return false;
      }
      return true;
    }
  }
}

namespace {

struct RunFile {
  std::FILE* f = nullptr;
  ~RunFile() {
    if (f) std::fclose(f);
  }
};

class SortOp : public Op {
 public:
  SortOp(OpP c, std::vector<SortKey> keys, const Collation& coll, size_t limit)
      : child_(std::move(c)), keys_(std::move(keys)), coll_(coll), limit_(limit) {
    width = child_->width;
  }

  bool less(const Row& a, const Row& b) const {
    for (const auto& k : keys_) {
      int c = compareForSort(a.v[k.slot], b.v[k.slot], coll_);
      if (c) return k.desc ? c > 0 : c < 0;
    }
    return false;
  }

  // Sorts rows_ (stable). The keys of every row are first summarised in one
  // contiguous array (class, and a number or the text's collation prefix)
  // so that most comparisons never touch the rows themselves; only ties of
  // the summaries fall back to the full comparison.
  void sortRows() {
    const size_t n = rows_.size(), nk = keys_.size();
    if (n < 2 || nk == 0) return;
    struct Cell {
      uint64_t bits = 0;  // text: collation prefix; number: the double's bits
      uint8_t cls = 0;
      bool fast = false;  // bits decide when they differ
    };
    std::vector<Cell> cells(n * nk);
    for (size_t i = 0; i < n; ++i)
      for (size_t k = 0; k < nk; ++k) {
        const Value& v = rows_[i].v[keys_[k].slot];
        Cell& c = cells[i * nk + k];
        c.cls = static_cast<uint8_t>(sortClass(v));
        if (c.cls == 2) {
          c.fast = coll_.prefix(v.bytes(), c.bits);
        } else if (c.cls == 1) {
          switch (v.type()) {
            case DataType::Byte: case DataType::Integer: case DataType::Long:
              c.fast = true;
              c.bits = orderedBits(static_cast<double>(v.asInt()));
              break;
            case DataType::Double: case DataType::DateTime: case DataType::Single:
              if (!std::isnan(v.asDouble())) {
                c.fast = true;
                c.bits = orderedBits(v.asDouble());
              }
              break;
            default: break;
          }
        }
      }
    std::vector<uint32_t> order(n);
    for (size_t i = 0; i < n; ++i) order[i] = static_cast<uint32_t>(i);
    auto cmp = [&](uint32_t a, uint32_t b) {
      const Cell* ca = &cells[size_t(a) * nk];
      const Cell* cb = &cells[size_t(b) * nk];
      for (size_t k = 0; k < nk; ++k) {
        int c;
        if (ca[k].cls != cb[k].cls) c = ca[k].cls < cb[k].cls ? -1 : 1;
        else if (ca[k].cls == 0) c = 0;
        else if (ca[k].fast && cb[k].fast && ca[k].bits != cb[k].bits) c = ca[k].bits < cb[k].bits ? -1 : 1;
        else c = compareForSort(rows_[a].v[keys_[k].slot], rows_[b].v[keys_[k].slot], coll_);
        if (c) return keys_[k].desc ? c > 0 : c < 0;
      }
      return false;
    };
    std::stable_sort(order.begin(), order.end(), cmp);
    std::vector<Row> sorted;
    sorted.reserve(n);
    for (uint32_t i : order) sorted.push_back(std::move(rows_[i]));
    rows_.swap(sorted);
  }

  // A double's bits as an unsigned number in the double's order (-0 as 0).
  static uint64_t orderedBits(double d) {
    if (d == 0) d = 0;
    uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return (u & (uint64_t{1} << 63)) ? ~u : u | (uint64_t{1} << 63);
  }

  void open(const Frame* outer) override {
    rows_.clear();
    runs_.clear();
    heads_.clear();
    pos_ = 0;
    child_->open(outer);
    Row r;
    size_t bytes = 0;
    while (child_->next(r)) {
      bytes += approxSize(r);
      rows_.push_back(std::move(r));
      r = Row();
      if (bytes > limit_) {
        spill();
        bytes = 0;
      }
    }
    sortRows();
    if (!runs_.empty()) {
      if (!rows_.empty()) spill();
      startMerge();
    }
  }

  bool next(Row& out) override {
    if (runs_.empty()) {
      if (pos_ >= rows_.size()) return false;
      out = std::move(rows_[pos_++]);
      return true;
    }
    // k-way merge; ties go to the earlier run, which keeps the sort stable
    int best = -1;
    for (size_t i = 0; i < heads_.size(); ++i) {
      if (!heads_[i].valid) continue;
      if (best < 0 || less(heads_[i].row, heads_[static_cast<size_t>(best)].row)) best = static_cast<int>(i);
    }
    if (best < 0) return false;
    out = std::move(heads_[static_cast<size_t>(best)].row);
    advance(static_cast<size_t>(best));
    return true;
  }

 private:
  struct Head {
    Row row;
    bool valid = false;
  };

  void spill() {
    sortRows();
    auto run = std::make_unique<RunFile>();
    run->f = std::tmpfile();
    if (!run->f) throw jet::Error(jet::err::kIoError, "Cannot create a temporary file for sorting.");
    std::string buf;
    for (const auto& r : rows_) {
      std::string rec;
      put(rec, static_cast<uint32_t>(r.v.size()));
      for (const auto& v : r.v) writeValue(rec, v);
      put(rec, r.rid.page);
      put(rec, r.rid.row);
      put(buf, static_cast<uint32_t>(rec.size()));
      buf += rec;
      if (buf.size() > (1u << 20)) {
        if (std::fwrite(buf.data(), 1, buf.size(), run->f) != buf.size())
          throw jet::Error(jet::err::kIoError, "Cannot write a temporary file for sorting.");
        buf.clear();
      }
    }
    if (!buf.empty() && std::fwrite(buf.data(), 1, buf.size(), run->f) != buf.size())
      throw jet::Error(jet::err::kIoError, "Cannot write a temporary file for sorting.");
    std::rewind(run->f);
    runs_.push_back(std::move(run));
    rows_.clear();
    rows_.shrink_to_fit();
  }

  void startMerge() {
    heads_.resize(runs_.size());
    for (size_t i = 0; i < runs_.size(); ++i) advance(i);
  }

  void advance(size_t i) {
    Head& h = heads_[i];
    h.valid = false;
    uint32_t len;
    if (std::fread(&len, sizeof len, 1, runs_[i]->f) != 1) return;
    std::string rec(len, '\0');
    if (std::fread(rec.data(), 1, len, runs_[i]->f) != len)
      throw jet::Error(jet::err::kIoError, "A temporary sort file was cut short.");
    const char* p = rec.data();
    const char* end = p + rec.size();
    uint32_t n;
    if (!get(p, end, n) || n > 100000) throw jet::Error(jet::err::kIoError, "A temporary sort file is damaged.");
    h.row.v.resize(n);
    for (uint32_t k = 0; k < n; ++k)
      if (!readValue(p, end, h.row.v[k])) throw jet::Error(jet::err::kIoError, "A temporary sort file is damaged.");
    if (!get(p, end, h.row.rid.page) || !get(p, end, h.row.rid.row))
      throw jet::Error(jet::err::kIoError, "A temporary sort file is damaged.");
    h.valid = true;
  }

  OpP child_;
  std::vector<SortKey> keys_;
  const Collation& coll_;
  size_t limit_;
  std::vector<Row> rows_;
  size_t pos_ = 0;
  std::vector<std::unique_ptr<RunFile>> runs_;
  std::vector<Head> heads_;
};

}  // namespace

OpP makeSort(OpP child, std::vector<SortKey> keys, const Collation& coll, size_t memoryLimit) {
  return std::make_unique<SortOp>(std::move(child), std::move(keys), coll, memoryLimit);
}

}  // namespace sql
