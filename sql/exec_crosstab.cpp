// The crosstab operator: rows grouped by the row headings, one column per
// pivot value (fixed by PIVOT ... IN, or the values met, in order).
#include <map>
#include <unordered_map>

#include "sql/convert.h"
#include "sql/exec.h"
#include "sql/ops.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

std::string pivotHeading(const Value& v) {
  if (v.isNull()) return "<>";
  return toText(v);
}

}  // namespace

OpP makeCrosstab(OpP child, CrosstabSpec spec, std::vector<std::string>* columnNames, std::vector<DataType>* columnTypes,
                 const Collation& coll) {
  struct RowGroup {
    std::vector<Value> keys;
    std::vector<Aggregator> aggs;
    std::map<std::string, Aggregator> cells;  // by pivot group key
  };
  std::unordered_map<std::string, size_t> index;
  std::vector<RowGroup> groups;
  std::map<std::string, Value> pivots;  // group key -> value (first seen)
  DataType valueType = spec.value.arg ? spec.value.arg->type : DataType::Null;
  child->open(nullptr);
  Row r;
  while (child->next(r)) {
    Frame f{&r.v, nullptr};
    std::string k;
    std::vector<Value> keys;
    for (auto& g : spec.rowGroups) {
      Value v = g->eval(f);
      std::string gk = groupKey(v, coll);
      k += std::to_string(gk.size()) + ":" + gk;
      keys.push_back(std::move(v));
    }
    auto it = index.find(k);
    size_t gi;
    if (it == index.end()) {
      gi = groups.size();
      index.emplace(k, gi);
      RowGroup g;
      g.keys = std::move(keys);
      for (auto& a : spec.rowAggs) g.aggs.emplace_back(a.kind, a.arg ? a.arg->type : DataType::Null, coll);
      groups.push_back(std::move(g));
    } else {
      gi = it->second;
    }
    RowGroup& g = groups[gi];
    for (size_t i = 0; i < spec.rowAggs.size(); ++i) g.aggs[i].add(spec.rowAggs[i].arg ? spec.rowAggs[i].arg->eval(f) : Value());
    Value pv = spec.pivot->eval(f);
    std::string pk = groupKey(pv, coll);
    pivots.emplace(pk, pv);
    auto cit = g.cells.find(pk);
    if (cit == g.cells.end()) cit = g.cells.emplace(pk, Aggregator(spec.value.kind, valueType, coll)).first;
    cit->second.add(spec.value.arg ? spec.value.arg->eval(f) : Value());
  }
  std::stable_sort(groups.begin(), groups.end(), [&coll](const RowGroup& a, const RowGroup& b) {
    for (size_t i = 0; i < a.keys.size(); ++i) {
      int c = compareForSort(a.keys[i], b.keys[i], coll);
      if (c) return c < 0;
    }
    return false;
  });
  // Columns: the IN list in its order, else every pivot value in ascending order.
  std::vector<std::pair<std::string, Value>> cols;
  if (!spec.fixedColumns.empty()) {
    for (auto& v : spec.fixedColumns) cols.emplace_back(groupKey(v, coll), v);
  } else {
    for (auto& p : pivots) cols.emplace_back(p.first, p.second);
    std::stable_sort(cols.begin(), cols.end(), [&coll](const auto& a, const auto& b) { return compareForSort(a.second, b.second, coll) < 0; });
  }
  DataType cellType = aggResultType(spec.value.kind, valueType);
  for (auto& c : cols) {
    columnNames->push_back(pivotHeading(c.second));
    columnTypes->push_back(cellType);
  }
  std::vector<std::vector<Value>> out;
  for (auto& g : groups) {
    std::vector<Value> base = g.keys;
    for (auto& a : g.aggs) base.push_back(a.result());
    Frame f{&base, nullptr};
    if (spec.having && !isTrue(spec.having->eval(f))) continue;
    std::vector<Value> row;
    for (auto& h : spec.headings) row.push_back(h->eval(f));
    for (auto& c : cols) {
      auto it = g.cells.find(c.first);
      row.push_back(it == g.cells.end() ? Value() : it->second.result());
    }
    out.push_back(std::move(row));
  }
  size_t w = spec.headings.size() + cols.size();
  return makeRows(std::move(out), w);
}

}  // namespace sql
