#include "sql/exec.h"
#include "sql/errors.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <unordered_map>
#include <unordered_set>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/ops.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

class AppendRowIdOp : public Op {
 public:
  explicit AppendRowIdOp(OpP c) : child_(std::move(c)) { width = child_->width + 1; }
  void open(const Frame* outer) override { child_->open(outer); }
  bool next(Row& out) override {
    if (!child_->next(out)) return false;
    out.v.resize(child_->width);
    out.v.push_back(Value::bigInt(static_cast<int64_t>(out.rid.packed())));
    return true;
  }
  OpP child_;
};

class SingleRowOp : public Op {
 public:
  void open(const Frame*) override { done_ = false; }
  bool next(Row& out) override {
    if (done_) return false;
    done_ = true;
    out.v.clear();
    out.rid = {};
    return true;
  }
  bool done_ = false;
};

class FilterOp : public Op {
 public:
  FilterOp(OpP c, BExprP p) : child_(std::move(c)), pred_(std::move(p)) { width = child_->width; }
  void open(const Frame* outer) override { outer_ = outer; child_->open(outer); }
  bool next(Row& out) override {
    while (child_->next(out)) {
      Frame f{&out.v, outer_};
      if (isTrue(pred_->eval(f))) return true;
    }
    return false;
  }
  OpP child_;
  BExprP pred_;
  const Frame* outer_ = nullptr;
};

class ProjectOp : public Op {
 public:
  ProjectOp(OpP c, std::vector<BExprP> e, bool keepRid) : child_(std::move(c)), exprs_(std::move(e)), keepRid_(keepRid) {
    width = exprs_.size();
    // A plain column that nothing else in the list reads is moved out of
    // the child's row rather than copied (the child fills its row afresh
    // for each row). Not when any expression may read the row in ways not
    // known here (a subquery).
    moveFrom_.assign(exprs_.size(), -1);
    std::vector<size_t> others, plain;
    bool known = true;
    for (size_t i = 0; i < exprs_.size() && known; ++i) {
      auto ref = asColumnRef(*exprs_[i]);
      if (ref && ref->depth == 0) {
        moveFrom_[i] = static_cast<long>(ref->slot);
        plain.push_back(ref->slot);
      } else {
        known = rowSlotsRead(*exprs_[i], others);
      }
    }
    for (size_t i = 0; i < exprs_.size(); ++i) {
      if (moveFrom_[i] < 0) continue;
      const size_t slot = static_cast<size_t>(moveFrom_[i]);
      if (!known || std::count(plain.begin(), plain.end(), slot) > 1 ||
          std::find(others.begin(), others.end(), slot) != others.end())
        moveFrom_[i] = -1;
    }
  }
  void open(const Frame* outer) override { outer_ = outer; child_->open(outer); }
  bool next(Row& out) override {
    if (!child_->next(in_)) return false;
    Frame f{&in_.v, outer_};
    if (out.v.size() != exprs_.size()) out.v.resize(exprs_.size());
    for (size_t i = 0; i < exprs_.size(); ++i) {
      const long from = moveFrom_[i];
      if (from >= 0 && static_cast<size_t>(from) < in_.v.size()) out.v[i] = std::move(in_.v[static_cast<size_t>(from)]);
      else out.v[i] = exprs_[i]->eval(f);
    }
    out.rid = keepRid_ ? in_.rid : jet::RowId{};
    return true;
  }
  OpP child_;
  std::vector<BExprP> exprs_;
  std::vector<long> moveFrom_;  // per expression: the child's column moved out, or -1
  bool keepRid_;
  Row in_;
  const Frame* outer_ = nullptr;
};

// ---- joins ----
class NestedLoopJoinOp : public Op {
 public:
  NestedLoopJoinOp(OpP l, OpP r, BExprP on, JoinKind k) : left_(std::move(l)), right_(std::move(r)), on_(std::move(on)), kind_(k) {
    width = left_->width + right_->width;
  }
  void open(const Frame* outer) override {
    outer_ = outer;
    rights_.clear();
    right_->open(outer);
    Row r;
    while (right_->next(r)) rights_.push_back(r.v);
    matchedRight_.assign(rights_.size(), false);
    left_->open(outer);
    haveLeft_ = false;
    emitUnmatchedRight_ = false;
    ri_ = 0;
  }
  bool next(Row& out) override {
    for (;;) {
      if (emitUnmatchedRight_) {
        while (ri_ < rights_.size()) {
          size_t i = ri_++;
          if (matchedRight_[i]) continue;
          out.v.assign(left_->width, Value());
          out.v.insert(out.v.end(), rights_[i].begin(), rights_[i].end());
          out.rid = {};
          return true;
        }
        return false;
      }
      if (!haveLeft_) {
        if (!left_->next(cur_)) {
          if (kind_ == JoinKind::Right) {
            emitUnmatchedRight_ = true;
            ri_ = 0;
            continue;
          }
          return false;
        }
        haveLeft_ = true;
        matched_ = false;
        ri_ = 0;
      }
      while (ri_ < rights_.size()) {
        size_t i = ri_++;
        joined_ = cur_.v;
        joined_.insert(joined_.end(), rights_[i].begin(), rights_[i].end());
        if (on_) {
          Frame f{&joined_, outer_};
          if (!isTrue(on_->eval(f))) continue;
        }
        matched_ = true;
        matchedRight_[i] = true;
        out.v = joined_;
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
  OpP left_, right_;
  BExprP on_;
  JoinKind kind_;
  std::vector<std::vector<Value>> rights_;
  std::vector<bool> matchedRight_;
  Row cur_;
  std::vector<Value> joined_;
  bool haveLeft_ = false, matched_ = false, emitUnmatchedRight_ = false;
  size_t ri_ = 0;
  const Frame* outer_ = nullptr;
};

std::string keyOf(const std::vector<BExprP>& keys, const Frame& f, bool& hasNull, const Collation& coll) {
  std::string k;
  hasNull = false;
  for (const auto& e : keys) {
    Value v = e->eval(f);
    if (v.isNull()) { hasNull = true; return k; }
    // numbers and dates compare as numbers; text compared with a number is
    // converted, as in comparisons
    if (v.isText() && e->type != DataType::Text && e->type != DataType::Memo) {
      auto d = parseNumber(v.bytes());
      if (d) v = Value::dbl(*d);
    }
    std::string g = groupKey(v, coll);
    k += std::to_string(g.size());
    k.push_back(':');
    k += g;
  }
  return k;
}

class HashJoinOp : public Op {
 public:
  HashJoinOp(OpP l, OpP r, std::vector<BExprP> lk, std::vector<BExprP> rk, BExprP residual, JoinKind k, const Collation& coll)
      : left_(std::move(l)), right_(std::move(r)), lk_(std::move(lk)), rk_(std::move(rk)), residual_(std::move(residual)), kind_(k), coll_(coll) {
    width = left_->width + right_->width;
  }
  void open(const Frame* outer) override {
    outer_ = outer;
    // Build on the right side (the side whose rows may go unmatched for a
    // right join is the build side).
    build_.clear();
    table_.clear();
    right_->open(outer);
    Row r;
    while (right_->next(r)) {
      Frame f{&r.v, outer};
      bool hasNull;
      std::string k = keyOf(rk_, f, hasNull, coll_);
      build_.push_back(r.v);
      if (!hasNull) table_[k].push_back(build_.size() - 1);
    }
    matchedBuild_.assign(build_.size(), false);
    left_->open(outer);
    matches_ = nullptr;
    mi_ = 0;
    emitUnmatched_ = false;
    ui_ = 0;
  }
  bool next(Row& out) override {
    for (;;) {
      if (emitUnmatched_) {
        while (ui_ < build_.size()) {
          size_t i = ui_++;
          if (matchedBuild_[i]) continue;
          out.v.assign(left_->width, Value());
          out.v.insert(out.v.end(), build_[i].begin(), build_[i].end());
          out.rid = {};
          return true;
        }
        return false;
      }
      if (matches_) {
        while (mi_ < matches_->size()) {
          size_t bi = (*matches_)[mi_++];
          joined_ = cur_.v;
          joined_.insert(joined_.end(), build_[bi].begin(), build_[bi].end());
          if (residual_) {
            Frame f{&joined_, outer_};
            if (!isTrue(residual_->eval(f))) continue;
          }
          matched_ = true;
          matchedBuild_[bi] = true;
          out.v = joined_;
          out.rid = {};
          return true;
        }
        matches_ = nullptr;
        if (kind_ == JoinKind::Left && !matched_) {
          out.v = cur_.v;
          out.v.resize(width);
          out.rid = {};
          return true;
        }
      }
      if (!left_->next(cur_)) {
        if (kind_ == JoinKind::Right) {
          emitUnmatched_ = true;
          continue;
        }
        return false;
      }
      Frame f{&cur_.v, outer_};
      bool hasNull;
      std::string k = keyOf(lk_, f, hasNull, coll_);
      matched_ = false;
      mi_ = 0;
      auto it = hasNull ? table_.end() : table_.find(k);
      if (it != table_.end()) {
        matches_ = &it->second;
      } else {
        static const std::vector<size_t> none;
        matches_ = &none;
      }
    }
  }
  OpP left_, right_;
  std::vector<BExprP> lk_, rk_;
  BExprP residual_;
  JoinKind kind_;
  std::vector<std::vector<Value>> build_;
  std::unordered_map<std::string, std::vector<size_t>> table_;
  std::vector<bool> matchedBuild_;
  const Collation& coll_;
  const std::vector<size_t>* matches_ = nullptr;
  size_t mi_ = 0, ui_ = 0;
  bool matched_ = false, emitUnmatched_ = false;
  Row cur_;
  std::vector<Value> joined_;
  const Frame* outer_ = nullptr;
};

// ---- aggregation ----
struct Group {
  std::vector<Value> keys;
  std::vector<Aggregator> aggs;
};

class AggregateOp : public Op {
 public:
  AggregateOp(OpP c, std::vector<BExprP> g, std::vector<AggSpec> a, const Collation& coll)
      : child_(std::move(c)), groups_(std::move(g)), aggs_(std::move(a)), coll_(coll) {
    width = groups_.size() + aggs_.size();
  }
  void open(const Frame* outer) override {
    child_->open(outer);
    std::unordered_map<std::string, size_t> index;
    // The exact values met so far (type and bytes) and their group: the same
    // values always make the same group, so the collation key is worked out
    // once per distinct value rather than once per row.
    std::unordered_map<std::string, size_t> exact;
    std::vector<Group> all;
    Row r;
    std::vector<Value> keys;
    std::string raw;
    while (child_->next(r)) {
      Frame f{&r.v, outer};
      keys.clear();
      raw.clear();
      for (auto& g : groups_) {
        keys.push_back(g->eval(f));
        writeValue(raw, keys.back());
      }
      size_t gi;
      auto ex = exact.find(raw);
      if (ex != exact.end()) {
        gi = ex->second;
      } else {
        std::string k;
        for (const auto& v : keys) {
          std::string gk = groupKey(v, coll_);
          k += std::to_string(gk.size()) + ":" + gk;
        }
        auto it = index.find(k);
        if (it == index.end()) {
          gi = all.size();
          index.emplace(std::move(k), gi);
          Group grp;
          grp.keys = keys;
          for (auto& a : aggs_) grp.aggs.emplace_back(a.kind, a.arg ? a.arg->type : DataType::Null, coll_);
          all.push_back(std::move(grp));
        } else {
          gi = it->second;
        }
        // bounded: with very many distinct values the memo stops growing
        if (exact.size() < (size_t{1} << 20)) exact.emplace(raw, gi);
      }
      Group& grp = all[gi];
      for (size_t i = 0; i < aggs_.size(); ++i) {
        if (aggs_[i].arg) grp.aggs[i].add(aggs_[i].arg->eval(f));
        else grp.aggs[i].add(Value());
      }
    }
    if (groups_.empty() && all.empty()) {
      Group grp;
      for (auto& a : aggs_) grp.aggs.emplace_back(a.kind, a.arg ? a.arg->type : DataType::Null, coll_);
      all.push_back(std::move(grp));
    }
    std::stable_sort(all.begin(), all.end(), [this](const Group& a, const Group& b) {
      for (size_t i = 0; i < a.keys.size(); ++i) {
        int c = compareForSort(a.keys[i], b.keys[i], coll_);
        if (c) return c < 0;
      }
      return false;
    });
    rows_.clear();
    rows_.reserve(all.size());
    for (auto& g : all) {
      std::vector<Value> row = std::move(g.keys);
      for (auto& a : g.aggs) row.push_back(a.result());
      rows_.push_back(std::move(row));
    }
    pos_ = 0;
  }
  bool next(Row& out) override {
    if (pos_ >= rows_.size()) return false;
    out.v = rows_[pos_++];
    out.rid = {};
    return true;
  }
  OpP child_;
  std::vector<BExprP> groups_;
  std::vector<AggSpec> aggs_;
  const Collation& coll_;
  std::vector<std::vector<Value>> rows_;
  size_t pos_ = 0;
};

class DistinctOp : public Op {
 public:
  DistinctOp(OpP c, size_t n, const Collation& coll) : child_(std::move(c)), n_(n), coll_(coll) { width = child_->width; }
  void open(const Frame* outer) override {
    seen_.clear();
    exact_.clear();
    child_->open(outer);
  }
  bool next(Row& out) override {
    while (child_->next(out)) {
      // Values met before exactly as they are (same types, same bytes) are
      // repeats without working out their grouping keys.
      raw_.clear();
      for (size_t i = 0; i < n_ && i < out.v.size(); ++i) appendExact(raw_, out.v[i]);
      if (exact_.size() < kExactLimit) {
        if (!exact_.insert(raw_).second) continue;
      } else if (exact_.count(raw_)) {
        continue;
      }
      std::string k;
      for (size_t i = 0; i < n_ && i < out.v.size(); ++i) {
        std::string g = groupKey(out.v[i], coll_);
        // binary and text values are told apart exactly for DISTINCT
        k += std::to_string(g.size()) + ":" + g;
      }
      if (seen_.insert(k).second) return true;
    }
    return false;
  }
  static void appendExact(std::string& out, const Value& v) {
    out.push_back(static_cast<char>(v.type()));
    if (v.isNull()) return;
    if (v.isText() || v.isBinary() || v.type() == DataType::GUID) {
      out += std::to_string(v.bytes().size());
      out.push_back(':');
      out += v.bytes();
      return;
    }
    writeValue(out, v);
  }
  static constexpr size_t kExactLimit = 1u << 16;
  OpP child_;
  size_t n_;
  const Collation& coll_;
  std::unordered_set<std::string> seen_;
  std::unordered_set<std::string> exact_;
  std::string raw_;
};

class TopOp : public Op {
 public:
  TopOp(OpP c, double n, bool percent, std::vector<SortKey> keys, const Collation& coll)
      : child_(std::move(c)), n_(n), percent_(percent), keys_(std::move(keys)), coll_(coll) {
    width = child_->width;
  }
  void open(const Frame* outer) override {
    child_->open(outer);
    emitted_ = 0;
    buffered_.clear();
    bi_ = 0;
    limit_ = static_cast<size_t>(std::max(0.0, std::floor(n_)));
    if (percent_) {
      Row r;
      while (child_->next(r)) buffered_.push_back(r);
      double want = std::ceil(static_cast<double>(buffered_.size()) * n_ / 100.0);
      limit_ = static_cast<size_t>(std::max(0.0, std::min(want, static_cast<double>(buffered_.size()))));
    }
    ties_ = false;
  }
  bool pull(Row& out) {
    if (percent_) {
      if (bi_ >= buffered_.size()) return false;
      out = buffered_[bi_++];
      return true;
    }
    return child_->next(out);
  }
  bool next(Row& out) override {
    if (emitted_ < limit_) {
      if (!pull(out)) return false;
      ++emitted_;
      if (emitted_ == limit_) last_ = out;
      return true;
    }
    if (keys_.empty() || limit_ == 0) return false;
    // rows equal to the last one on every sort key come along
    if (!pull(out)) return false;
    for (const auto& k : keys_)
      if (compareForSort(out.v[k.slot], last_.v[k.slot], coll_) != 0) {
        limit_ = 0;
        return false;
      }
    return true;
  }
  OpP child_;
  double n_;
  bool percent_;
  std::vector<SortKey> keys_;
  const Collation& coll_;
  size_t limit_ = 0, emitted_ = 0, bi_ = 0;
  std::vector<Row> buffered_;
  Row last_;
  bool ties_ = false;
};

class ConcatOp : public Op {
 public:
  explicit ConcatOp(std::vector<OpP> c) : children_(std::move(c)) { width = children_.empty() ? 0 : children_[0]->width; }
  void open(const Frame* outer) override {
    outer_ = outer;
    idx_ = 0;
    if (!children_.empty()) children_[0]->open(outer);
  }
  bool next(Row& out) override {
    while (idx_ < children_.size()) {
      if (children_[idx_]->next(out)) {
        out.v.resize(width);
        out.rid = {};
        return true;
      }
      if (++idx_ < children_.size()) children_[idx_]->open(outer_);
    }
    return false;
  }
  std::vector<OpP> children_;
  size_t idx_ = 0;
  const Frame* outer_ = nullptr;
};

class TruncateOp : public Op {
 public:
  TruncateOp(OpP c, size_t n) : child_(std::move(c)) { width = n; }
  void open(const Frame* outer) override { child_->open(outer); }
  bool next(Row& out) override {
    if (!child_->next(out)) return false;
    out.v.resize(width);
    return true;
  }
  OpP child_;
};

// ---- crosstab ----
class MaterializedOp : public Op {
 public:
  explicit MaterializedOp(std::vector<std::vector<Value>> rows, size_t w) : rows_(std::move(rows)) { width = w; }
  void open(const Frame*) override { pos_ = 0; }
  bool next(Row& out) override {
    if (pos_ >= rows_.size()) return false;
    out.v = rows_[pos_++];
    out.rid = {};
    return true;
  }
  std::vector<std::vector<Value>> rows_;
  size_t pos_ = 0;
};


}  // namespace

OpP makeAppendRowId(OpP child) { return std::make_unique<AppendRowIdOp>(std::move(child)); }

OpP makeSingleRow() { return std::make_unique<SingleRowOp>(); }
OpP makeFilter(OpP child, BExprP pred) { return std::make_unique<FilterOp>(std::move(child), std::move(pred)); }
OpP makeProject(OpP child, std::vector<BExprP> exprs, bool keepRid) {
  return std::make_unique<ProjectOp>(std::move(child), std::move(exprs), keepRid);
}
OpP makeNestedLoopJoin(OpP left, OpP right, BExprP on, JoinKind kind) {
  return std::make_unique<NestedLoopJoinOp>(std::move(left), std::move(right), std::move(on), kind);
}
OpP makeHashJoin(OpP left, OpP right, std::vector<BExprP> lk, std::vector<BExprP> rk, BExprP residual, JoinKind kind,
                 const Collation& coll) {
  return std::make_unique<HashJoinOp>(std::move(left), std::move(right), std::move(lk), std::move(rk), std::move(residual), kind,
                                      coll);
}
OpP makeAggregate(OpP child, std::vector<BExprP> groups, std::vector<AggSpec> aggs, const Collation& coll) {
  return std::make_unique<AggregateOp>(std::move(child), std::move(groups), std::move(aggs), coll);
}
OpP makeDistinct(OpP child, size_t columns, const Collation& coll) {
  return std::make_unique<DistinctOp>(std::move(child), columns, coll);
}
OpP makeTop(OpP child, double n, bool percent, std::vector<SortKey> tieKeys, const Collation& coll) {
  return std::make_unique<TopOp>(std::move(child), n, percent, std::move(tieKeys), coll);
}
OpP makeConcat(std::vector<OpP> children) { return std::make_unique<ConcatOp>(std::move(children)); }
OpP makeRows(std::vector<std::vector<Value>> rows, size_t width) {
  return std::make_unique<MaterializedOp>(std::move(rows), width);
}
OpP makeTruncate(OpP child, size_t n) { return std::make_unique<TruncateOp>(std::move(child), n); }

}  // namespace sql
