#include "sql/engine.h"

#include "jet/dump.h"
#include "jet/error.h"
#include "jet/text.h"
#include "sql/parser.h"

namespace sql {

bool readsWholeTable(const Query& q, const Plan& p) {
  if (q.kind != StatementKind::Select || q.parts.size() != 1 || !q.orderBy.empty() || !q.params.empty()) return false;
  const SelectCore& c = q.parts[0];
  if (c.distinct || c.distinctRow || c.hasTop || !c.into.empty() || c.where || !c.groupBy.empty() || c.having)
    return false;
  if (c.from.size() != 1 || c.from[0]->kind != FromKind::Table || !c.from[0]->inDatabase.empty()) return false;
  for (const auto& item : c.items)
    if (!item.expr || (item.expr->kind != ExprKind::Name && item.expr->kind != ExprKind::Star)) return false;
  if (!p.updatable || !p.baseDef || p.columns.empty()) return false;
  // The name must be the table itself (not a saved query over it), read by
  // a plain scan.
  if (!jet::equalsNoCase(p.baseTable, c.from[0]->name) || !jet::equalsNoCase(p.baseDef->name, c.from[0]->name))
    return false;
  if (p.notes.size() != 1 || p.notes[0] != "scan " + p.baseDef->name) return false;
  for (const auto& col : p.columns)
    if (col.baseColumn < 0 || static_cast<size_t>(col.baseColumn) >= p.baseDef->columns.size()) return false;
  return true;
}

std::unique_ptr<Recordset> openRecordset(jet::Database& db, const std::string& statement, const Params& params,
                                         size_t keepBytes) {
  QueryP q = parseStatement(statement);
  Plan p = planQuery(db, *q, params);
  const bool walk = readsWholeTable(*q, p);
  return std::make_unique<Recordset>(db, std::move(p), keepBytes, walk);
}

std::vector<ResultColumn> describeColumns(jet::Database& db, const std::string& statement) {
  QueryP q = parseStatement(statement);
  if (q->kind == StatementKind::MakeTable) {
    Query select = *q;
    select.kind = StatementKind::Select;
    select.parts[0].into.clear();
    q = std::make_shared<Query>(std::move(select));
  }
  if (q->kind != StatementKind::Select && q->kind != StatementKind::Union && q->kind != StatementKind::Crosstab)
    return {};
  PlanOptions o;
  o.allowMissingParams = true;
  return planQuery(&db, *q, {}, o).columns;
}

std::string selectAllFrom(const std::string& objectName) { return "Select * from [" + objectName + "]"; }

std::string runToText(jet::Database& db, const std::string& statement, const Params& params) {
  auto rs = openRecordset(db, statement, params);
  std::string out;
  for (size_t i = 0; i < rs->columns().size(); ++i) {
    if (i) out.push_back('\t');
    out += rs->columns()[i].name;
  }
  out.push_back('\n');
  for (size_t r = 0; rs->fetchTo(r + 1); ++r) {
    const auto& row = rs->row(r);
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) out.push_back('\t');
      out += jet::dumpCell(row[i]);
    }
    out.push_back('\n');
  }
  return out;
}

jet::Value evaluate(const std::string& expression, const Params& params) {
  QueryP q = parseStatement("SELECT " + expression);
  Plan p = planQuery(nullptr, *q, params);
  p.root->open(nullptr);
  Row r;
  if (!p.root->next(r) || r.v.empty()) return jet::Value();
  return r.v[0];
}

jet::Value paramFromText(const std::string& text) { return jet::Value::text(text); }

}  // namespace sql
