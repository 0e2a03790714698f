#include "migrate/translate.h"

#include <cstdio>
#include <functional>
#include <map>

#include "jet/error.h"
#include "jet/text.h"
#include "jet/value.h"
#include "migrate/target.h"
#include "sql/ast.h"
#include "sql/parser.h"

namespace migrate {

namespace {

using sql::Expr;
using sql::ExprKind;

[[noreturn]] void refuse(const std::string& why) { throw jet::Error(jet::err::kNotSupported, why); }

class Printer {
 public:
  Printer(Dialect d, const SourceColumns* known) : d_(d), known_(known) {}
  std::vector<std::string> sources;
  // The columns of the last query printed, true for exact decimal text.
  std::vector<std::pair<std::string, bool>> outputs;

  std::string query(const sql::Query& q) {
    if (q.kind != sql::StatementKind::Select && q.kind != sql::StatementKind::Union)
      refuse("only SELECT and UNION queries become views");
    if (!q.params.empty()) refuse("it asks for parameters, which a view cannot take");
    std::string out;
    const sql::SelectCore* topOf = nullptr;
    std::vector<std::pair<std::string, bool>> columns;
    for (size_t i = 0; i < q.parts.size(); ++i) {
      if (i) out += q.unionAll[i - 1] ? " UNION ALL " : " UNION ";
      out += core(q.parts[i]);
      if (i == 0) columns = outputs;
      // A union's parts see nothing of each other; a single part's FROM
      // stays in scope for the ORDER BY.
      if (q.parts.size() > 1) scopes_.pop_back();
      if (q.parts[i].hasTop) {
        if (q.parts.size() > 1) refuse("TOP inside a UNION has no equivalent");
        topOf = &q.parts[i];
      }
    }
    if (q.parts.size() > 1) scopes_.emplace_back();
    // ORDER BY may name the output columns (first, as SQLite resolves them).
    Source outs;
    for (const auto& c : columns) outs.columns[jet::upperName(c.first)] = c.second;
    scopes_.back().insert(scopes_.back().begin(), std::move(outs));
    if (!q.orderBy.empty()) {
      std::string order;
      bool numeric = false;
      for (size_t i = 0; i < q.orderBy.size(); ++i) {
        if (i) order += ", ";
        std::string term = expr(*q.orderBy[i].expr);
        if (exactName(*q.orderBy[i].expr)) numeric = true;
        order += term;
        if (q.orderBy[i].desc) order += " DESC";
      }
      // A union's ORDER BY may only name its columns: one sorted by such a
      // column as a number is sorted from outside.
      if (numeric && q.parts.size() > 1) out = "SELECT * FROM (" + out + ")";
      out += " ORDER BY " + order;
    }
    scopes_.pop_back();
    outputs = std::move(columns);
    if (topOf) {
      if (topOf->topPercent) refuse("TOP ... PERCENT has no equivalent");
      char buf[40];
      std::snprintf(buf, sizeof buf, " LIMIT %.0f", topOf->top);
      out += buf;
    }
    return out;
  }

 private:
  std::string core(const sql::SelectCore& c) {
    if (!c.into.empty()) refuse("SELECT ... INTO makes a table, not a view");
    std::string out = "SELECT ";
    if (c.distinct) out += "DISTINCT ";
    if (c.distinctRow) {
      bool oneTable = c.from.size() == 1 && c.from[0]->kind == sql::FromKind::Table;
      if (!oneTable) refuse("DISTINCTROW over several tables has no equivalent");
    }
    // The FROM clause first: the items' names are resolved against it.
    scopes_.emplace_back();
    std::string fromSql;
    for (size_t i = 0; i < c.from.size(); ++i) {
      if (i) fromSql += ", ";
      fromSql += from(*c.from[i]);
    }
    std::vector<std::pair<std::string, bool>> columns;
    for (size_t i = 0; i < c.items.size(); ++i) {
      if (i) out += ", ";
      const Expr& e = *c.items[i].expr;
      out += bare(e);
      std::string name = c.items[i].alias;
      if (!name.empty()) out += " AS " + quoteIdent(name);
      else if (e.kind != ExprKind::Name && e.kind != ExprKind::Star) {
        name = "Expr" + std::to_string(999 + ++exprN_);
        out += " AS " + quoteIdent(name);
      }
      if (e.kind == ExprKind::Star) starColumns(e, columns);
      else columns.emplace_back(name.empty() ? e.parts.back() : name, exactName(e));
    }
    if (!c.from.empty()) out += " FROM " + fromSql;
    if (c.where) out += " WHERE " + cond(*c.where);
    if (!c.groupBy.empty()) {
      out += " GROUP BY ";
      for (size_t i = 0; i < c.groupBy.size(); ++i) out += (i ? ", " : "") + bare(*c.groupBy[i]);
    }
    if (c.having) out += " HAVING " + cond(*c.having);
    outputs = std::move(columns);
    return out;
  }

  // Where the names of a SELECT resolve: for each FROM item (its alias or
  // table name, upper-cased) the columns it gives.
  struct Source {
    std::string name;
    std::map<std::string, bool> columns;  // upper-cased; true: exact decimal text
  };

  void addSource(const std::string& name, std::map<std::string, bool> columns) {
    scopes_.back().push_back({jet::upperName(name), std::move(columns)});
  }

  // True when e names a column held as exact decimal text in the SQLite
  // target: the innermost scope with a source that has the column decides.
  bool exactName(const Expr& e) const {
    if (d_ != Dialect::SQLite || e.kind != ExprKind::Name || e.parts.empty() || e.parts.size() > 2) return false;
    std::string col = jet::upperName(e.parts.back());
    std::string qual = e.parts.size() == 2 ? jet::upperName(e.parts[0]) : "";
    for (auto s = scopes_.rbegin(); s != scopes_.rend(); ++s)
      for (const auto& src : *s) {
        if (!qual.empty() && (src.name.empty() || src.name != qual)) continue;
        auto it = src.columns.find(col);
        if (it != src.columns.end()) return it->second;
      }
    return false;
  }

  // The columns * or T.* gives, from the current scope.
  void starColumns(const Expr& e, std::vector<std::pair<std::string, bool>>& out) const {
    std::string qual = e.parts.empty() ? "" : jet::upperName(e.parts.back());
    for (const auto& src : scopes_.back()) {
      if (src.name.empty() || (!qual.empty() && src.name != qual)) continue;
      for (const auto& c : src.columns) out.emplace_back(c.first, c.second);
    }
  }

  // An expression whose value is only passed on (selected, grouped by):
  // a column stays exact.
  std::string bare(const Expr& e) {
    if (e.kind == ExprKind::Name) return nameSql(e);
    return expr(e);
  }

  static std::string nameSql(const Expr& e) {
    std::string out;
    for (size_t i = 0; i < e.parts.size(); ++i) out += (i ? "." : "") + quoteIdent(e.parts[i]);
    return out;
  }

  std::string from(const sql::FromItem& f) {
    switch (f.kind) {
      case sql::FromKind::Table: {
        if (!f.inDatabase.empty()) refuse("it reads a table in another database file");
        sources.push_back(f.name);
        std::map<std::string, bool> cols;
        if (known_) {
          auto it = known_->find(jet::upperName(f.name));
          if (it != known_->end()) cols = it->second;
        }
        addSource(f.alias.empty() ? f.name : f.alias, std::move(cols));
        std::string out = quoteIdent(f.name);
        if (!f.alias.empty()) out += " AS " + quoteIdent(f.alias);
        return out;
      }
      case sql::FromKind::Derived: {
        std::string out = "(" + query(*f.query) + ")" + (f.alias.empty() ? "" : " AS " + quoteIdent(f.alias));
        std::map<std::string, bool> cols;
        for (const auto& c : outputs) cols[jet::upperName(c.first)] = c.second;
        addSource(f.alias, std::move(cols));
        return out;
      }
      case sql::FromKind::Join: {
        const char* j = f.join == sql::JoinType::Left    ? " LEFT JOIN "
                        : f.join == sql::JoinType::Right ? " RIGHT JOIN "
                        : f.join == sql::JoinType::Cross ? " CROSS JOIN "
                                                         : " INNER JOIN ";
        std::string out = "(" + from(*f.left) + j + from(*f.right);
        if (f.on) out += " ON " + cond(*f.on);
        return out + ")";
      }
    }
    return "";
  }

  // An expression used as a condition (PostgreSQL wants a boolean there).
  std::string cond(const Expr& e) { return expr(e); }

  std::string literal(const jet::Value& v) {
    using jet::DataType;
    switch (v.type()) {
      case DataType::Null: return "NULL";
      case DataType::Boolean:
        if (d_ == Dialect::SQLite) return v.asBool() ? "1" : "0";
        return v.asBool() ? "TRUE" : "FALSE";
      case DataType::Text: case DataType::Memo: return text(v.bytes());
      case DataType::DateTime: {
        std::string iso;
        if (!isoDateTime(v.asDouble(), iso)) refuse("a date literal is outside years 1 to 9999");
        return d_ == Dialect::SQLite ? text(iso) : "TIMESTAMP " + text(iso);
      }
      case DataType::Currency: return jet::formatScaled(v.asInt(), 4);
      case DataType::Single: case DataType::Double: {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.17g", v.toDouble());
        std::string s = buf;
        if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
        if (s.find("inf") != std::string::npos || s.find("nan") != std::string::npos)
          refuse("a number literal is not finite");
        return s;
      }
      default:
        if (v.isIntegral()) return std::to_string(v.asInt());
        refuse(std::string("a literal of type ") + jet::dataTypeName(v.type()) + " has no equivalent");
    }
  }

  static std::string text(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
  }

  // Like patterns: * ? become % _; the target's own wildcards are escaped.
  std::string likePattern(const Expr& e) {
    if (e.kind != ExprKind::Literal || !e.value.isText()) refuse("Like with a pattern that is not a plain text");
    std::string out;
    for (char c : e.value.bytes()) {
      if (c == '*') out += '%';
      else if (c == '?') out += '_';
      else if (c == '#' || c == '[') refuse("Like patterns with # or [ ] have no equivalent");
      else if (c == '%' || c == '_' || c == '\\') { out += '\\'; out += c; }
      else out += c;
    }
    return text(out) + " ESCAPE '\\'";
  }

  // An operand: every compound form prints its own parentheses; only a
  // negative number needs them added.
  std::string sub(const Expr& e) {
    std::string s = expr(e);
    return !s.empty() && s[0] == '-' ? "(" + s + ")" : s;
  }

  std::string expr(const Expr& e) {
    switch (e.kind) {
      case ExprKind::Literal: return literal(e.value);
      case ExprKind::Name:
        // Exact decimal text is compared and computed with as a number.
        return exactName(e) ? "CAST(" + nameSql(e) + " AS REAL)" : nameSql(e);
      case ExprKind::Star: {
        std::string out;
        for (const auto& p : e.parts) out += quoteIdent(p) + ".";
        return out + "*";
      }
      case ExprKind::Unary:
        if (e.op == "NOT") return "(NOT " + sub(*e.args[0]) + ")";
        return "(" + e.op + sub(*e.args[0]) + ")";
      case ExprKind::Binary: return binary(e);
      case ExprKind::Between:
        return "(" + sub(*e.args[0]) + (e.negated ? " NOT BETWEEN " : " BETWEEN ") + sub(*e.args[1]) + " AND " +
               sub(*e.args[2]) + ")";
      case ExprKind::InList: {
        std::string out = "(" + sub(*e.args[0]) + (e.negated ? " NOT IN (" : " IN (");
        for (size_t i = 1; i < e.args.size(); ++i) out += (i > 1 ? ", " : "") + expr(*e.args[i]);
        return out + "))";
      }
      case ExprKind::InQuery:
        return "(" + sub(*e.args[0]) + (e.negated ? " NOT IN (" : " IN (") + query(*e.query) + "))";
      case ExprKind::Exists: return std::string(e.negated ? "(NOT EXISTS (" : "(EXISTS (") + query(*e.query) + "))";
      case ExprKind::IsNull: return "(" + sub(*e.args[0]) + (e.negated ? " IS NOT NULL)" : " IS NULL)");
      case ExprKind::Call: return call(e);
      case ExprKind::Subquery: return "(" + query(*e.query) + ")";
    }
    refuse("an expression of unknown kind");
  }

  std::string binary(const Expr& e) {
    const std::string& op = e.op;
    std::string a = sub(*e.args[0]), b = sub(*e.args[1]);
    bool pg = d_ == Dialect::PostgreSQL;
    if (op == "&") {
      if (pg) return "concat(" + a + ", " + b + ")";
      return "(COALESCE(" + a + ", '') || COALESCE(" + b + ", ''))";
    }
    if (op == "LIKE") {
      std::string pat = likePattern(*e.args[1]);
      if (pg) return "(" + a + (e.negated ? " NOT ILIKE " : " ILIKE ") + pat + ")";
      return "(" + a + (e.negated ? " NOT LIKE " : " LIKE ") + pat + ")";
    }
    // Division is always of real numbers.
    if (op == "/") return pg ? "(CAST(" + a + " AS double precision) / " + b + ")" : "(CAST(" + a + " AS REAL) / " + b + ")";
    if (op == "MOD") return "(" + a + " % " + b + ")";
    if (op == "^") return pg ? "power(" + a + ", " + b + ")" : "pow(" + a + ", " + b + ")";
    if (op == "+" || op == "-" || op == "*" || op == "=" || op == "<>" || op == "<" || op == ">" || op == "<=" ||
        op == ">=" || op == "AND" || op == "OR")
      return "(" + a + " " + op + " " + b + ")";
    refuse("the operator " + op + " has no equivalent");
  }

  std::string args(const Expr& e, size_t from = 0) {
    std::string out;
    for (size_t i = from; i < e.args.size(); ++i) out += (i > from ? ", " : "") + expr(*e.args[i]);
    return out;
  }

  std::string datePart(const char* sqliteFmt, const char* pgField, const Expr& e) {
    if (e.args.size() != 1) refuse(e.parts[0] + " takes one argument");
    if (d_ == Dialect::SQLite) return std::string("CAST(strftime('") + sqliteFmt + "', " + expr(*e.args[0]) + ") AS INTEGER)";
    return std::string("CAST(EXTRACT(") + pgField + " FROM " + expr(*e.args[0]) + ") AS integer)";
  }

  std::string call(const Expr& e) {
    std::string f = jet::upperName(e.parts[0]);
    bool pg = d_ == Dialect::PostgreSQL;
    size_t n = e.args.size();
    auto need = [&](size_t lo, size_t hi) {
      if (n < lo || n > hi) refuse(e.parts[0] + " with " + std::to_string(n) + " arguments has no equivalent");
    };
    static const std::map<std::string, std::string> same = {
        {"COUNT", "COUNT"}, {"SUM", "SUM"},     {"AVG", "AVG"},     {"MIN", "MIN"},     {"MAX", "MAX"},
        {"UCASE", "UPPER"}, {"LCASE", "LOWER"}, {"TRIM", "TRIM"},   {"LTRIM", "LTRIM"}, {"RTRIM", "RTRIM"},
        {"ABS", "ABS"},     {"SGN", "SIGN"},    {"SQR", "SQRT"},    {"LEN", "LENGTH"},
    };
    if (f == "NZ") {
      need(2, 2);
      return "COALESCE(" + args(e) + ")";
    }
    if (f == "IIF") {
      need(3, 3);
      return "(CASE WHEN " + cond(*e.args[0]) + " THEN " + expr(*e.args[1]) + " ELSE " + expr(*e.args[2]) + " END)";
    }
    if (f == "LEFT") {
      need(2, 2);
      return pg ? "left(" + args(e) + ")" : "substr(" + expr(*e.args[0]) + ", 1, " + expr(*e.args[1]) + ")";
    }
    if (f == "RIGHT") {
      need(2, 2);
      if (pg) return "right(" + args(e) + ")";
      std::string s = expr(*e.args[0]), k = expr(*e.args[1]);
      return "(CASE WHEN " + k + " <= 0 THEN '' ELSE substr(" + s + ", -(" + k + ")) END)";
    }
    if (f == "MID") {
      need(2, 3);
      return "substr(" + args(e) + ")";
    }
    if (f == "INSTR") {
      need(2, 2);
      return (pg ? "strpos(" : "instr(") + args(e) + ")";
    }
    if (f == "INT") { need(1, 1); return "floor(" + args(e) + ")"; }
    if (f == "FIX") { need(1, 1); return "trunc(" + args(e) + ")"; }
    if (f == "YEAR") return datePart("%Y", "YEAR", e);
    if (f == "MONTH") return datePart("%m", "MONTH", e);
    if (f == "DAY") return datePart("%d", "DAY", e);
    if (f == "HOUR") return datePart("%H", "HOUR", e);
    if (f == "MINUTE") return datePart("%M", "MINUTE", e);
    if (f == "SECOND") return datePart("%S", "SECOND", e);
    if (f == "DATE" || f == "NOW") {
      need(0, 0);
      if (pg) return f == "DATE" ? "CAST(CURRENT_DATE AS timestamp)" : "LOCALTIMESTAMP(0)";
      return f == "DATE" ? "datetime('now', 'localtime', 'start of day')" : "datetime('now', 'localtime')";
    }
    if (f == "CSTR") { need(1, 1); return "CAST(" + args(e) + (pg ? " AS text)" : " AS TEXT)"); }
    auto it = same.find(f);
    if (it != same.end()) {
      if (f == "COUNT" && n == 1 && e.args[0]->kind == ExprKind::Star) return "COUNT(*)";
      if (f == "COUNT" && n == 1) return "COUNT(" + bare(*e.args[0]) + ")";
      if (f != "COUNT" && f != "SUM" && f != "AVG" && f != "MIN" && f != "MAX") need(1, 1);
      return it->second + "(" + args(e) + ")";
    }
    refuse("the function " + e.parts[0] + " has no equivalent in the target");
  }

  Dialect d_;
  const SourceColumns* known_;
  std::vector<std::vector<Source>> scopes_;  // innermost last
  int exprN_ = 0;
};

}  // namespace

TranslatedQuery translateQuery(const std::string& text, Dialect d, const SourceColumns* known) {
  sql::QueryP q = sql::parseStatement(text);
  Printer p(d, known);
  TranslatedQuery out;
  out.select = p.query(*q);
  out.sources = std::move(p.sources);
  out.columns = std::move(p.outputs);
  return out;
}

}  // namespace migrate
