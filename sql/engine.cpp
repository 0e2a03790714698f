#include "sql/engine.h"

#include "jet/dump.h"
#include "jet/error.h"
#include "sql/parser.h"

namespace sql {

std::unique_ptr<Recordset> openRecordset(jet::Database& db, const std::string& statement, const Params& params) {
  QueryP q = parseStatement(statement);
  Plan p = planQuery(db, *q, params);
  return std::make_unique<Recordset>(db, std::move(p));
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
