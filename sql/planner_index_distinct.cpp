// SELECT DISTINCT of one field answered from an index's distinct keys (see
// makeIndexDistinct): the one table of the FROM clause, the select list that
// field alone, every WHERE condition pushed to the table and reading no other
// field (each is then checked once per distinct value, which every row of
// the value's entries shares). DISTINCT's own steps (duplicates, order) stay
// as they are above it, so the result is the plain plan's: a group's value
// is the same in every row of an exact key, and the sort after DISTINCT
// orders the values as always, whatever the index's direction.
#include "jet/index_codes.h"
#include "jet/index_key.h"
#include "sql/planner_impl.h"

namespace sql::planning {

OpP Planner::indexDistinct(const SelectCore& c, const Scope& rowScope) {
  if (leaves_.size() != 1 || !leaves_[0].def || leaves_[0].hasRowId || !sh_.db || c.items.size() != 1) return nullptr;
  const Source& src = leaves_[0];
  const auto& def = *src.def;
  const Expr& e = *c.items[0].expr;
  if (e.kind != ExprKind::Name) return nullptr;
  auto r = lookupQuiet(e.parts, rowScope);
  if (!r || r->first != 0 || r->second >= def.columns.size()) return nullptr;
  const size_t slot = r->second;
  const jet::Column& col = def.columns[slot];
  const jet::Format& fmt = sh_.db->format();
  // Texts: keys in the statement's order of the later formats (no key
  // starts with another), never cut short, so that equal keys are exactly
  // equal texts.
  const jet::TextSortOrder order = jet::textSortOrderFor(fmt, col);
  const bool text = col.rawType == jet::coltype::kText && order == sh_.coll->order() &&
                    (order == jet::TextSortOrder::General || order == jet::TextSortOrder::GeneralLegacy) &&
                    col.length > 0 && col.length <= 2 * jet::kMaxIndexedTextChars;
  if (!text && !indexHoldsValuesExactly(col.rawType)) return nullptr;
  // the WHERE: all of it pushed to the table, reading this field only
  std::vector<ExprP> where;
  conjuncts(c.where, where);
  if (src.pushed.size() != where.size() || !src.used || src.used->size() != def.columns.size()) return nullptr;
  for (size_t i = 0; i < src.used->size(); ++i)
    if ((*src.used)[i] && i != slot) return nullptr;
  // the index: its first field this one, every row in it (Nulls too), the
  // fewest fields
  int best = -1;
  for (size_t ri = 0; ri < def.realIndexes.size(); ++ri) {
    const auto& rix = def.realIndexes[ri];
    if (rix.columns.empty() || rix.columns[0].column != static_cast<int>(slot) || rix.ignoreNulls() ||
        !jet::canEncodeKey(fmt, def, rix) || (text && (rix.columns.size() != 1 || !rix.columns[0].ascending)))
      continue;
    if (best < 0 || rix.columns.size() < def.realIndexes[static_cast<size_t>(best)].columns.size())
      best = static_cast<int>(ri);
  }
  if (best < 0) return nullptr;
  std::string name;
  for (const auto& ix : def.indexes)
    if (ix.realIndex == best) { name = ix.name; break; }
  sh_.notes.push_back("distinct keys of index " + name + " on " + def.name);
  // Date/Time: -0 and 0 have keys of their own but are one value
  distinctSorted_ = def.realIndexes[static_cast<size_t>(best)].columns[0].ascending &&
                    def.columns[slot].rawType != jet::coltype::kDateTime;
  OpP op = text ? makeIndexTextDistinct(*sh_.db, src.def, best, slot, src.cols.size())
                : makeIndexDistinct(*sh_.db, src.def, best, slot, src.cols.size());
  BExprP filter;
  for (const auto& p : src.pushed) filter = andBound(filter, p);
  if (filter) op = makeFilter(std::move(op), filter);
  return op;
}

}  // namespace sql::planning
