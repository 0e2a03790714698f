#include "views/filter_statement.h"

namespace views {

QString bracketName(const QString& name) { return QLatin1Char('[') + name + QLatin1Char(']'); }

QString quoteValue(const QString& text) {
  QString inner = text;
  inner.replace(QLatin1Char('\''), QStringLiteral("''"));
  return QLatin1Char('\'') + inner + QLatin1Char('\'');
}

QString filterClause(const std::vector<FilterCondition>& conditions, const QString sort[3]) {
  QString clause;
  for (const auto& c : conditions) {
    if (c.value.isEmpty()) continue;
    clause += clause.isEmpty() ? QStringLiteral(" WHERE ") : QStringLiteral(" and ");
    clause += bracketName(c.field) + QLatin1Char(' ') + c.op + QLatin1Char(' ') + quoteValue(c.value);
  }
  if (!sort[0].isEmpty()) {
    clause += QStringLiteral(" ORDER BY ") + bracketName(sort[0]);
    for (int k = 1; k < 3; ++k)
      if (!sort[k].isEmpty()) clause += QStringLiteral(", ") + bracketName(sort[k]);
  }
  return clause;
}

QString plainStatement(const QString& objectName) {
  return QStringLiteral("Select * from ") + bracketName(objectName);
}

}  // namespace views
