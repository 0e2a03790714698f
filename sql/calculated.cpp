#include "sql/calculated.h"

#include <map>
#include <string>

#include "sql/parser.h"
#include "sql/planner.h"

namespace sql {

namespace {

class QueryEvaluator : public jet::ExpressionEvaluator {
 public:
  jet::Value evaluate(const jet::TableDef& table, const jet::Column& column,
                      const std::vector<jet::Value>& row) override {
    auto& q = parsed_[column.calcExpression];
    if (!q) q = parseStatement("SELECT " + column.calcExpression);
    Params params;
    for (size_t i = 0; i < table.columns.size() && i < row.size(); ++i) {
      if (table.columns[i].type == jet::DataType::Complex) continue;
      params[table.columns[i].name] = row[i];
    }
    Plan p = planQuery(nullptr, *q, params);
    p.root->open(nullptr);
    Row r;
    if (!p.root->next(r) || r.v.empty()) return jet::Value();
    return r.v[0];
  }

 private:
  std::map<std::string, QueryP> parsed_;
};

}  // namespace

std::shared_ptr<jet::ExpressionEvaluator> makeExpressionEvaluator() { return std::make_shared<QueryEvaluator>(); }

void provideExpressionEvaluator(jet::Database& db) {
  if (!db.expressionEvaluator()) db.setExpressionEvaluator(makeExpressionEvaluator());
}

}  // namespace sql
