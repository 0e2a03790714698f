#include "sql/ast.h"

#include <cctype>
#include <cstdio>

#include "jet/text.h"
#include "sql/convert.h"

namespace sql {

namespace {

bool bareOk(const std::string& n) {
  if (n.empty()) return false;
  if (!(std::isalpha(static_cast<unsigned char>(n[0])) || n[0] == '_')) return false;
  for (unsigned char c : n)
    if (!(std::isalnum(c) || c == '_')) return false;
  static const char* words[] = {
      "SELECT", "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "INNER", "LEFT", "RIGHT",
      "OUTER", "JOIN", "ON", "AS", "IN", "PIVOT", "INTO", "BY", "AND", "OR", "NOT", "XOR", "EQV",
      "IMP", "LIKE", "BETWEEN", "IS", "MOD", "TRANSFORM", "PARAMETERS", "DISTINCT", "DISTINCTROW",
      "TOP", "ALL", "ASC", "DESC", "EXISTS", "NULL", "TRUE", "FALSE", "YES", "NO", "WITH",
      "TABLE", "PERCENT", "DESCENDING", "ASCENDING", "ON", "OFF", "FULL", "CROSS", "OWNERACCESS"};
  std::string u = jet::upperName(n);
  for (const char* w : words)
    if (u == w) return false;
  return true;
}

int precedence(const Expr& e) {
  switch (e.kind) {
    case ExprKind::Binary:
      if (e.op == "IMP") return 1;
      if (e.op == "EQV") return 2;
      if (e.op == "XOR") return 3;
      if (e.op == "OR") return 4;
      if (e.op == "AND") return 5;
      if (e.op == "=" || e.op == "<>" || e.op == "<" || e.op == ">" || e.op == "<=" || e.op == ">=" ||
          e.op == "LIKE")
        return 7;
      if (e.op == "&") return 8;
      if (e.op == "+" || e.op == "-") return 9;
      if (e.op == "MOD") return 10;
      if (e.op == "\\") return 11;
      if (e.op == "*" || e.op == "/") return 12;
      if (e.op == "^") return 14;
      return 0;
    case ExprKind::Unary:
      return e.op == "NOT" ? 6 : 13;
    case ExprKind::Between: case ExprKind::InList: case ExprKind::InQuery: case ExprKind::IsNull:
      return 7;
    default:
      return 20;
  }
}

void exprSql(const Expr& e, std::string& out);

void childSql(const Expr& parent, const Expr& child, bool right, std::string& out) {
  bool need = !child.paren && (precedence(child) < precedence(parent) ||
                               (right && precedence(child) == precedence(parent) && parent.kind == ExprKind::Binary));
  // A negative literal or unary minus after ^ is written as is; anything else
  // that binds looser than its parent needs parentheses.
  if (need) out += "(";
  exprSql(child, out);
  if (need) out += ")";
}

std::string nameSql(const std::vector<std::string>& parts) {
  std::string s;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) s += ".";
    s += quoteName(parts[i]);
  }
  return s;
}

void queryBody(const Query& q, std::string& out);

void exprSql(const Expr& e, std::string& out) {
  if (e.paren) out += "(";
  switch (e.kind) {
    case ExprKind::Literal: out += jet::literalText(e.value); break;
    case ExprKind::Name: out += nameSql(e.parts); break;
    case ExprKind::Star:
      out += e.parts.empty() ? "*" : nameSql(e.parts) + ".*";
      break;
    case ExprKind::Unary:
      out += e.op == "NOT" ? "Not " : e.op;
      childSql(e, *e.args[0], true, out);
      break;
    case ExprKind::Binary: {
      childSql(e, *e.args[0], false, out);
      std::string op = e.op;
      if (op == "AND") op = "And";
      else if (op == "OR") op = "Or";
      else if (op == "XOR") op = "Xor";
      else if (op == "EQV") op = "Eqv";
      else if (op == "IMP") op = "Imp";
      else if (op == "MOD") op = "Mod";
      else if (op == "LIKE") op = e.negated ? "Not Like" : "Like";
      out += " " + op + " ";
      childSql(e, *e.args[1], true, out);
      break;
    }
    case ExprKind::Between:
      childSql(e, *e.args[0], false, out);
      out += e.negated ? " Not Between " : " Between ";
      childSql(e, *e.args[1], true, out);
      out += " And ";
      childSql(e, *e.args[2], true, out);
      break;
    case ExprKind::InList:
      childSql(e, *e.args[0], false, out);
      out += e.negated ? " Not In (" : " In (";
      for (size_t i = 1; i < e.args.size(); ++i) {
        if (i > 1) out += ",";
        exprSql(*e.args[i], out);
      }
      out += ")";
      break;
    case ExprKind::InQuery:
      childSql(e, *e.args[0], false, out);
      out += e.negated ? " Not In (" : " In (";
      queryBody(*e.query, out);
      out += ")";
      break;
    case ExprKind::Exists:
      out += e.negated ? "Not Exists (" : "Exists (";
      queryBody(*e.query, out);
      out += ")";
      break;
    case ExprKind::IsNull:
      childSql(e, *e.args[0], false, out);
      out += e.negated ? " Is Not Null" : " Is Null";
      break;
    case ExprKind::Call:
      out += e.parts[0] + "(";
      for (size_t i = 0; i < e.args.size(); ++i) {
        if (i) out += ", ";
        exprSql(*e.args[i], out);
      }
      out += ")";
      break;
    case ExprKind::Subquery:
      out += "(";
      queryBody(*e.query, out);
      out += ")";
      break;
  }
  if (e.paren) out += ")";
}

void fromSql(const FromItem& f, std::string& out, bool nested) {
  switch (f.kind) {
    case FromKind::Table:
      out += quoteName(f.name);
      if (!f.inDatabase.empty()) out += " IN " + jet::literalText(jet::Value::text(f.inDatabase));
      if (!f.alias.empty()) out += " AS " + quoteName(f.alias);
      break;
    case FromKind::Derived:
      out += "(";
      queryBody(*f.query, out);
      out += ")";
      if (!f.alias.empty()) out += " AS " + quoteName(f.alias);
      break;
    case FromKind::Join:
      if (nested) out += "(";
      fromSql(*f.left, out, true);
      out += f.join == JoinType::Left ? " LEFT JOIN " : f.join == JoinType::Right ? " RIGHT JOIN " : " INNER JOIN ";
      fromSql(*f.right, out, true);
      out += " ON ";
      exprSql(*f.on, out);
      if (nested) out += ")";
      break;
  }
}

void coreSql(const SelectCore& c, std::string& out) {
  out += "SELECT ";
  if (c.distinct) out += "DISTINCT ";
  if (c.distinctRow) out += "DISTINCTROW ";
  if (c.hasTop) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", c.top);
    out += "TOP " + std::string(buf) + (c.topPercent ? " PERCENT " : " ");
  }
  for (size_t i = 0; i < c.items.size(); ++i) {
    if (i) out += ", ";
    exprSql(*c.items[i].expr, out);
    if (!c.items[i].alias.empty()) out += " AS " + quoteName(c.items[i].alias);
  }
  if (!c.into.empty()) out += " INTO " + quoteName(c.into);
  if (!c.from.empty()) {
    out += "\nFROM ";
    for (size_t i = 0; i < c.from.size(); ++i) {
      if (i) out += ", ";
      fromSql(*c.from[i], out, false);
    }
  }
  if (c.where) { out += "\nWHERE "; exprSql(*c.where, out); }
  if (!c.groupBy.empty()) {
    out += "\nGROUP BY ";
    for (size_t i = 0; i < c.groupBy.size(); ++i) {
      if (i) out += ", ";
      exprSql(*c.groupBy[i], out);
    }
  }
  if (c.having) { out += "\nHAVING "; exprSql(*c.having, out); }
}

void orderSql(const Query& q, std::string& out) {
  if (q.orderBy.empty()) return;
  out += "\nORDER BY ";
  for (size_t i = 0; i < q.orderBy.size(); ++i) {
    if (i) out += ", ";
    exprSql(*q.orderBy[i].expr, out);
    if (q.orderBy[i].desc) out += " DESC";
  }
}

void queryBody(const Query& q, std::string& out) {
  for (size_t i = 0; i < q.parts.size(); ++i) {
    if (i) out += q.unionAll[i - 1] ? "\nUNION ALL " : "\nUNION ";
    coreSql(q.parts[i], out);
  }
  orderSql(q, out);
}

}  // namespace

std::string quoteName(const std::string& name) {
  if (bareOk(name)) return name;
  return "[" + name + "]";
}

std::string toSql(const Expr& e) {
  std::string out;
  exprSql(e, out);
  return out;
}

std::string toSql(const Query& q) {
  if (q.kind == StatementKind::Update || q.kind == StatementKind::Delete || q.kind == StatementKind::Insert ||
      q.kind == StatementKind::DataDefinition)
    return q.text;
  std::string out;
  if (!q.params.empty()) {
    out += "PARAMETERS ";
    for (size_t i = 0; i < q.params.size(); ++i) {
      if (i) out += ", ";
      out += "[" + q.params[i].name + "] " + q.params[i].typeName;
    }
    out += ";\n";
  }
  if (q.kind == StatementKind::Crosstab) {
    out += "TRANSFORM ";
    exprSql(*q.transform, out);
    if (!q.transformAlias.empty()) out += " AS " + quoteName(q.transformAlias);
    out += "\n";
    coreSql(q.parts[0], out);
    orderSql(q, out);
    out += "\nPIVOT ";
    exprSql(*q.pivot, out);
    if (!q.pivotIn.empty()) {
      out += " IN (";
      for (size_t i = 0; i < q.pivotIn.size(); ++i) {
        if (i) out += ",";
        exprSql(*q.pivotIn[i], out);
      }
      out += ")";
    }
  } else {
    queryBody(q, out);
  }
  return out + ";";
}

bool sameExpr(const Expr& a, const Expr& b) {
  if (a.kind != b.kind || a.op != b.op || a.negated != b.negated || a.args.size() != b.args.size() ||
      a.parts.size() != b.parts.size())
    return false;
  for (size_t i = 0; i < a.parts.size(); ++i)
    if (!jet::equalsNoCase(a.parts[i], b.parts[i])) return false;
  if (a.kind == ExprKind::Literal) {
    if (a.value.type() != b.value.type()) return false;
    if (a.value.isText()) return a.value.bytes() == b.value.bytes();
    if (!(a.value == b.value)) return false;
  }
  for (size_t i = 0; i < a.args.size(); ++i)
    if (!sameExpr(*a.args[i], *b.args[i])) return false;
  if (a.query || b.query) {
    if (!a.query || !b.query) return false;
    return toSql(*a.query) == toSql(*b.query);
  }
  return true;
}

}  // namespace sql
