// Count(*) and Count(field) answered from an index alone: when every
// condition on the one table is matched exactly by an index range (equal
// values on the leading fields, a closed range or In list on the next), the
// entries of the range are the rows, and no row is read.
#include "jet/index_codes.h"
#include "jet/index_key.h"
#include "jet/text.h"
#include "sql/planner_impl.h"

namespace sql::planning {

namespace {

// Types whose index key holds the value exactly, with SQL comparison
// agreeing with key order.
bool exactKeyType(DataType t) {
  return t == DataType::Byte || t == DataType::Integer || t == DataType::Long || t == DataType::BigInt ||
         t == DataType::Currency || t == DataType::DateTime;
}

// The constant becomes the column's key without rounding.
bool exactKeyValue(DataType col, const Value& v) {
  if (v.isNull()) return false;
  if (col == DataType::DateTime) return v.type() == DataType::DateTime;
  if (col == DataType::Currency) return v.type() == DataType::Currency || v.isIntegral();
  return v.isIntegral() && v.type() != DataType::Currency && v.type() != DataType::Boolean;
}

// A text constant whose index key every text equal to it shares: printable
// ASCII (equal texts are then its case variants), short enough that the key
// holds all of it. Its key stands for the texts equal to it (case variants,
// trailing spaces), but also for texts that are not: a key leaves some
// characters out and codes others as letters (ß as SS, Æ as AE), so the
// rows are checked.
bool exactKeyText(const Value& v) {
  if (!v.isText() || v.bytes().size() > 200) return false;
  for (unsigned char ch : v.bytes())
    if (ch < 0x20 || ch > 0x7E) return false;
  return true;
}

bool textType(DataType t) { return t == DataType::Text; }

// Entries whose key is the constant's are exactly the rows whose text equals
// it: the index uses the statement's order (texts compare by its keys) and
// neither key can have been cut short (the constant, and every value the
// column can hold, within the characters a key keeps).
bool keyIsTheText(const jet::Format& fmt, const jet::Column& col, const Value& v, const Collation& coll) {
  if (jet::textSortOrderFor(fmt, col) != coll.order()) return false;
  if (col.length == 0 || col.length > 2 * jet::kMaxIndexedTextChars) return false;
  return jet::utf8ToUtf16(v.bytes()).size() <= jet::kMaxIndexedTextChars;
}

}  // namespace

OpP Planner::indexCount(std::vector<AggSpec>& aggs, size_t whereConjuncts) {
  if (leaves_.size() != 1 || !leaves_[0].def || leaves_[0].hasRowId || !sh_.db || aggs.empty()) return nullptr;
  Source& src = leaves_[0];
  const auto& def = *src.def;
  if (src.pushed.empty() || src.pushed.size() != whereConjuncts) return nullptr;
  std::vector<size_t> tested;  // columns the conditions test (never Null where they hold)
  std::vector<SimplePredicate> preds;
  std::optional<InListPredicate> list;
  for (auto& p : src.pushed) {
    if (auto sp = asSimplePredicate(*p)) {
      if (sp->op == BinOp::Gt || sp->op == BinOp::Lt) return nullptr;
      preds.push_back(*sp);
      tested.push_back(sp->slot);
    } else if (auto il = asInListPredicate(*p); il && !list) {
      list = std::move(*il);
      tested.push_back(list->slot);
    } else {
      return nullptr;
    }
  }
  for (const auto& a : aggs) {
    if (a.kind == AggKind::CountStar) continue;
    auto ref = a.kind == AggKind::Count && a.arg ? asColumnRef(*a.arg) : std::nullopt;
    if (!ref || ref->depth != 0 || std::find(tested.begin(), tested.end(), ref->slot) == tested.end()) return nullptr;
  }
  // Text: equality with a plain constant only, on every column of the index
  // (checked below), so that an entry counts when its key is exactly the
  // constant's.
  bool text = false;
  for (size_t s : tested) {
    if (s >= def.columns.size()) return nullptr;
    // another order's keys can differ for texts the statement's order finds equal
    if (textType(def.columns[s].type)) {
      if (jet::textSortOrderFor(sh_.db->format(), def.columns[s]) != sh_.coll->order()) return nullptr;
      text = true;
    }
    else if (!exactKeyType(def.columns[s].type)) return nullptr;
  }
  const jet::Format& fmt = sh_.db->format();
  // a text's key stands for it when the key is the text's own (any text),
  // or else holds all of a plain ASCII one (the rows are then checked)
  auto usableText = [&](const jet::Column& col, const Value& v) {
    return exactKeyText(v) || (v.isText() && keyIsTheText(fmt, col, v, *sh_.coll));
  };
  for (const auto& p : preds) {
    DataType t = def.columns[p.slot].type;
    if (textType(t)) {
      if (p.op != BinOp::Eq || p.high || !usableText(def.columns[p.slot], p.value)) return nullptr;
      continue;
    }
    if (!exactKeyValue(t, p.value) || (p.high && !exactKeyValue(t, *p.high))) return nullptr;
  }
  if (list)
    for (const auto& v : list->values)
      if (textType(def.columns[list->slot].type) ? !usableText(def.columns[list->slot], v)
                                                 : !exactKeyValue(def.columns[list->slot].type, v))
        return nullptr;
  size_t notesBefore = sh_.notes.size();
  std::optional<IndexRange> range;
  try {
    range = chooseIndex(src);
  } catch (const jet::Error&) {
    return nullptr;
  }
  sh_.notes.resize(notesBefore);
  if (!range) return nullptr;
  const auto& rix = def.realIndexes[static_cast<size_t>(range->realIndex)];
  if (text && (range->seeks.empty() ? range->equal.size() : size_t{1}) != rix.columns.size()) return nullptr;
  // Every condition must be one the range stands for, and nothing else.
  if (!range->seeks.empty()) {
    if (!list || !preds.empty() || rix.columns[0].column != static_cast<int>(list->slot)) return nullptr;
  } else {
    if (list) return nullptr;
    size_t k = range->equal.size();
    size_t bounds = (range->low ? 1 : 0) + (range->high ? 1 : 0);
    size_t want = k + bounds;
    size_t matched = 0;
    for (const auto& p : preds) {
      size_t pos = 0;
      while (pos < rix.columns.size() && rix.columns[pos].column != static_cast<int>(p.slot)) ++pos;
      if (pos < k && p.op == BinOp::Eq && !p.high) ++matched;
      else if (pos == k && bounds > 0 && p.high) matched += 2;
      else if (pos == k && bounds > 0 && (p.op == BinOp::Ge || p.op == BinOp::Le)) ++matched;
      else return nullptr;
    }
    // each condition used once (two conditions on one bound: only one is in the range)
    if (matched != want) return nullptr;
    if (bounds == 2) {
      bool between = false;
      for (const auto& p : preds) between = between || static_cast<bool>(p.high);
      size_t ge = 0, le = 0;
      for (const auto& p : preds) {
        if (p.high) continue;
        size_t pos = 0;
        while (pos < rix.columns.size() && rix.columns[pos].column != static_cast<int>(p.slot)) ++pos;
        if (pos != k) continue;
        ge += p.op == BinOp::Ge;
        le += p.op == BinOp::Le;
      }
      if (!between && (ge != 1 || le != 1)) return nullptr;
    }
  }
  std::string name;
  for (const auto& ix : def.indexes)
    if (ix.realIndex == range->realIndex) { name = ix.name; break; }
  sh_.notes.push_back("count from index " + name + " on " + def.name);
  // Count(field) of a tested field counts every entry, like Count(*).
  for (auto& a : aggs) {
    a.kind = AggKind::CountStar;
    a.arg = nullptr;
  }
  std::vector<TextCheck> checks;
  for (const auto& p : preds)
    if (textType(def.columns[p.slot].type) && !keyIsTheText(fmt, def.columns[p.slot], p.value, *sh_.coll))
      checks.push_back({p.slot, {p.value}});
  if (list && textType(def.columns[list->slot].type)) {
    bool exact = true;
    for (const auto& v : list->values) exact = exact && keyIsTheText(fmt, def.columns[list->slot], v, *sh_.coll);
    if (!exact) checks.push_back({list->slot, list->values});
  }
  if (!checks.empty()) sh_.notes.back() += " (rows checked)";
  return makeIndexCount(*sh_.db, src.def, *range, std::move(checks), aggs.size(), *sh_.coll);
}

}  // namespace sql::planning
