// The parser's working parts, shared by parser.cpp (queries and
// expressions) and parse_action.cpp (action and data-definition
// statements). Not for use outside the parser.
#pragma once

#include <algorithm>
#include <array>
#include <cstring>
#include "sql/errors.h"
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "jet/error.h"
#include "sql/ast.h"
#include "sql/convert.h"
#include "sql/lexer.h"

namespace sql::detail {

inline std::string upper(const std::string& s) {
  std::string r = s;
  for (auto& c : r) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return r;
}

// True when a word equals an upper-case keyword, ignoring ASCII case
// (keywords are ASCII; no other byte folds onto an ASCII letter).
inline bool wordIs(const std::string& text, const char* w) {
  size_t i = 0;
  for (; w[i]; ++i) {
    if (i >= text.size()) return false;
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != w[i]) return false;
  }
  return i == text.size();
}

// Words that end an expression or a name list and so can never be an alias
// (given as written, in any case).
inline bool reserved(const std::string& word) {
  static const char* words[] = {
      "SELECT", "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "INNER", "LEFT", "RIGHT",
      "OUTER", "JOIN", "ON", "AS", "IN", "PIVOT", "INTO", "BY", "AND", "OR", "NOT", "XOR", "EQV",
      "IMP", "LIKE", "BETWEEN", "IS", "MOD", "TRANSFORM", "PARAMETERS", "DISTINCT", "DISTINCTROW", "SET", "VALUES",
      "TOP", "ALL", "ASC", "DESC", "EXISTS", "NULL", "WITH", "OWNERACCESS", "FULL", "CROSS"};
  // The words by length, each length's in their own list.
  static const auto byLength = [] {
    std::array<std::vector<const char*>, 12> b;
    for (const char* w : words) b[std::strlen(w)].push_back(w);
    return b;
  }();
  if (word.size() >= byLength.size()) return false;
  for (const char* w : byLength[word.size()])
    if (wordIs(word, w)) return true;
  return false;
}

inline jet::DataType paramType(const std::string& u, int& size) {
  size = 0;
  if (u == "TEXT" || u == "CHAR" || u == "VARCHAR" || u == "STRING" || u == "CHARACTER") { size = 255; return jet::DataType::Text; }
  if (u == "MEMO" || u == "LONGTEXT" || u == "NOTE") return jet::DataType::Memo;
  if (u == "BIT" || u == "YESNO" || u == "LOGICAL" || u == "BOOLEAN") return jet::DataType::Boolean;
  if (u == "BYTE" || u == "TINYINT") return jet::DataType::Byte;
  if (u == "SHORT" || u == "SMALLINT" || u == "INTEGER2" || u == "INTEGER") return jet::DataType::Integer;
  if (u == "LONG" || u == "INT" || u == "INTEGER4" || u == "COUNTER" || u == "AUTOINCREMENT") return jet::DataType::Long;
  if (u == "CURRENCY" || u == "MONEY") return jet::DataType::Currency;
  if (u == "SINGLE" || u == "REAL" || u == "FLOAT4" || u == "IEEESINGLE") return jet::DataType::Single;
  if (u == "DOUBLE" || u == "FLOAT" || u == "FLOAT8" || u == "IEEEDOUBLE" || u == "NUMBER" || u == "NUMERIC") return jet::DataType::Double;
  if (u == "DATETIME" || u == "DATE" || u == "TIME" || u == "TIMESTAMP") return jet::DataType::DateTime;
  if (u == "BINARY" || u == "VARBINARY") return jet::DataType::Binary;
  if (u == "LONGBINARY" || u == "OLEOBJECT" || u == "GENERAL" || u == "IMAGE") return jet::DataType::OLE;
  if (u == "GUID" || u == "UNIQUEIDENTIFIER") return jet::DataType::GUID;
  if (u == "VALUE" || u == "VARIANT") return jet::DataType::Null;
  if (u == "DECIMAL") return jet::DataType::Decimal;
  return jet::DataType::Null;
}

class Parser {
 public:
  // text must outlive the parser.
  explicit Parser(const std::string& text) : text_(text), toks_(tokenize(text)) {}

  QueryP statement() {
    auto q = std::make_shared<Query>();
    q->text = text_;
    if (isWord("PARAMETERS")) parameters(*q);
    if (isWord("TRANSFORM")) {
      crosstab(*q);
    } else if (isWord("SELECT") || isOp("(") || isWord("TABLE")) {
      selectQuery(*q);
    } else if (isWord("UPDATE") || isWord("DELETE") || isWord("INSERT") || isWord("CREATE") ||
               isWord("ALTER") || isWord("DROP")) {
      q->verb = upper(cur().text);
      action(*q);
    } else {
      throw jet::Error(err::kInvalidStatement,
                       "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.");
    }
    while (isOp(";")) advance();
    if (cur().kind != Tok::End) syntaxAt("unexpected '" + cur().text + "' after the end of the statement");
    return q;
  }

  ExprP lone() {
    ExprP e = expr();
    if (cur().kind != Tok::End) syntaxAt("unexpected '" + cur().text + "'");
    return e;
  }

  // UPDATE, DELETE, INSERT and the data-definition statements (the verb is
  // the current token); defined in parse_action.cpp.
  void action(Query& q);

  QueryP subquery() {
    Nesting n(*this);
    // After '(' SELECT: a full query up to the matching ')'.
    auto q = std::make_shared<Query>();
    selectQuery(*q);
    return q;
  }

 private:
  void update(Query& q);
  void remove(Query& q);
  void insert(Query& q);
  void create(Query& q);
  void drop(Query& q);
  void alter(Query& q);
  ColumnDef columnDef();
  void columnType(ColumnDef& c);
  IndexDef constraint(const std::string& name);
  // After FOREIGN KEY (or, for a field, with its column given): REFERENCES ...
  ForeignKeyDef foreignKey(const std::string& name, std::vector<std::string> columns);
  bool atForeignKey() const { return isWord("FOREIGN") || isWord("REFERENCES"); }
  std::vector<std::pair<std::string, bool>> indexColumns(bool directions);

  const Token& cur() const { return toks_[pos_]; }
  const Token& peek(size_t k = 1) const { return toks_[std::min(pos_ + k, toks_.size() - 1)]; }
  void advance() { if (pos_ + 1 < toks_.size()) ++pos_; }
  bool isWord(const char* w) const { return cur().kind == Tok::Name && wordIs(cur().text, w); }
  bool isWordAt(size_t k, const char* w) const { return peek(k).kind == Tok::Name && wordIs(peek(k).text, w); }
  bool isOp(const char* o) const { return cur().kind == Tok::Op && cur().text == o; }
  bool acceptWord(const char* w) { if (isWord(w)) { advance(); return true; } return false; }
  bool acceptOp(const char* o) { if (isOp(o)) { advance(); return true; } return false; }

  [[noreturn]] void syntaxAt(const std::string& what) const {
    size_t p = cur().pos;
    std::string near = text_.substr(std::min(p, text_.size()), 40);
    throw jet::Error(jet::err::kSyntax, "Syntax error: " + what + (near.empty() ? "" : " near '" + near + "'") +
                                             " in query expression.");
  }
  // After a clause's expression: another word or value straight after it
  // means an operator is missing (a field name with a blank written without
  // brackets, a quote inside a value). The product quotes the clause.
  void clauseDone(size_t start) const {
    const Token& t = cur();
    bool stray = t.kind == Tok::String || t.kind == Tok::Number || t.kind == Tok::Date || t.kind == Tok::Bracketed ||
                 (t.kind == Tok::Name && !reserved(t.text));
    if (!stray) return;
    size_t end = text_.size();
    for (size_t k = pos_; k < toks_.size(); ++k) {
      const Token& x = toks_[k];
      std::string u = x.kind == Tok::Name ? upper(x.text) : std::string();
      if (x.kind == Tok::End || (x.kind == Tok::Op && x.text == ";") || u == "GROUP" || u == "HAVING" ||
          u == "ORDER" || u == "UNION" || u == "PIVOT") {
        end = x.pos;
        break;
      }
    }
    std::string text = text_.substr(std::min(start, text_.size()), end > start ? end - start : 0);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
    throw jet::Error(jet::err::kSyntax, "Syntax error (missing operator) in query expression '" + text + "'.");
  }
  void expectWord(const char* w) { if (!acceptWord(w)) syntaxAt(std::string("expected ") + w); }
  void expectOp(const char* o) { if (!acceptOp(o)) syntaxAt(std::string("expected '") + o + "'"); }

  // A name: bare word or bracketed.
  bool isNameTok() const { return cur().kind == Tok::Bracketed || cur().kind == Tok::Name; }
  std::string name() {
    if (!isNameTok()) syntaxAt("expected a name");
    std::string s = cur().text;
    advance();
    return s;
  }

  void parameters(Query& q) {
    advance();
    for (;;) {
      // name words (possibly unbracketed with blanks), then a type word and an optional (size)
      std::vector<std::string> words;
      while (cur().kind == Tok::Name || cur().kind == Tok::Bracketed) {
        // [Forms]![Sales Dialog]![Beginning Date]: one name of several parts
        std::string w = cur().text;
        advance();
        while ((isOp("!") || isOp(".")) && (peek().kind == Tok::Name || peek().kind == Tok::Bracketed)) {
          w += cur().text;
          advance();
          w += cur().text;
          advance();
        }
        words.push_back(w);
        if (isOp(",") || isOp(";") || isOp("(") || cur().kind == Tok::End) break;
      }
      if (words.empty()) syntaxAt("expected a parameter name");
      ParamDecl d;
      if (words.size() == 1) {
        d.name = words[0];
        d.typeName = "Value";
      } else {
        d.typeName = words.back();
        words.pop_back();
        for (size_t i = 0; i < words.size(); ++i) d.name += (i ? " " : "") + words[i];
      }
      d.type = paramType(upper(d.typeName), d.size);
      if (acceptOp("(")) {
        if (cur().kind == Tok::Number) { d.size = std::atoi(cur().text.c_str()); advance(); }
        while (acceptOp(",")) advance();
        expectOp(")");
      }
      q.params.push_back(d);
      if (acceptOp(",")) continue;
      expectOp(";");
      break;
    }
  }

  void crosstab(Query& q) {
    advance();
    q.kind = StatementKind::Crosstab;
    q.transform = expr();
    if (acceptWord("AS")) q.transformAlias = name();
    if (!isWord("SELECT")) syntaxAt("expected SELECT after TRANSFORM");
    q.parts.push_back(core());
    if (acceptWord("ORDER")) orderBy(q);
    expectWord("PIVOT");
    q.pivot = expr();
    // "PIVOT x IN (...)" reads as one In expression; the list names the columns
    if (q.pivot->kind == ExprKind::InList && !q.pivot->paren && !q.pivot->negated) {
      auto e = q.pivot;
      q.pivot = e->args[0];
      q.pivotIn.assign(e->args.begin() + 1, e->args.end());
    } else if (acceptWord("IN")) {
      expectOp("(");
      if (!isOp(")")) {
        do q.pivotIn.push_back(expr()); while (acceptOp(","));
      }
      expectOp(")");
    }
  }

  void selectQuery(Query& q) {
    q.parts.push_back(unionPart());
    while (isWord("UNION")) {
      advance();
      bool all = acceptWord("ALL");
      q.unionAll.push_back(all);
      q.parts.push_back(unionPart());
    }
    if (q.parts.size() > 1) q.kind = StatementKind::Union;
    if (acceptWord("ORDER")) orderBy(q);
    if (q.parts.size() == 1 && !q.parts[0].into.empty()) q.kind = StatementKind::MakeTable;
    if (acceptWord("WITH")) {  // WITH OWNERACCESS OPTION
      expectWord("OWNERACCESS");
      expectWord("OPTION");
    }
  }

  SelectCore unionPart() {
    Nesting n(*this);
    if (isOp("(")) {
      // ( SELECT ... ) as a union member
      advance();
      SelectCore c = unionPart();
      expectOp(")");
      return c;
    }
    if (isWord("TABLE")) {
      advance();
      SelectCore c;
      c.items.push_back({starExpr(), ""});
      auto f = std::make_shared<FromItem>();
      f->name = name();
      c.from.push_back(f);
      return c;
    }
    if (!isWord("SELECT")) syntaxAt("expected SELECT");
    return core();
  }

  SelectCore core() {
    expectWord("SELECT");
    SelectCore c;
    c.items.reserve(4);
    for (;;) {
      if (acceptWord("DISTINCT")) c.distinct = true;
      else if (acceptWord("DISTINCTROW")) c.distinctRow = true;
      else if (acceptWord("ALL")) {}
      else if (isWord("TOP") && peek().kind == Tok::Number) {
        advance();
        c.hasTop = true;
        c.top = std::atof(cur().text.c_str());
        advance();
        if (acceptWord("PERCENT")) c.topPercent = true;
      } else break;
    }
    do {
      SelectItem it;
      if (isOp("*")) {
        advance();
        it.expr = starExpr();
      } else {
        it.expr = expr();
        if (acceptWord("AS")) {
          if (cur().kind == Tok::String) { it.alias = cur().text; advance(); }
          else it.alias = name();
        }
      }
      c.items.push_back(it);
    } while (acceptOp(","));
    if (acceptWord("INTO")) {
      c.into = name();
      if (acceptWord("IN")) { if (cur().kind == Tok::String) advance(); }
    }
    if (acceptWord("FROM")) {
      do c.from.push_back(joined()); while (acceptOp(","));
    }
    if (acceptWord("WHERE")) {
      size_t start = cur().pos;
      c.where = expr();
      clauseDone(start);
    }
    if (isWord("GROUP")) {
      advance();
      expectWord("BY");
      do {
        size_t start = cur().pos;
        c.groupBy.push_back(expr());
        clauseDone(start);
      } while (acceptOp(","));
    }
    if (acceptWord("HAVING")) {
      size_t start = cur().pos;
      c.having = expr();
      clauseDone(start);
    }
    return c;
  }

  void orderBy(Query& q) {
    expectWord("BY");
    do {
      OrderItem o;
      size_t start = cur().pos;
      o.expr = expr();
      if (acceptWord("DESC") || acceptWord("DESCENDING")) o.desc = true;
      else if (acceptWord("ASC") || acceptWord("ASCENDING")) o.desc = false;
      clauseDone(start);
      q.orderBy.push_back(o);
    } while (acceptOp(","));
  }

  FromP joined() {
    Nesting n(*this);
    FromP left = fromPrimary();
    for (;;) {
      JoinType jt;
      if (isWord("INNER") && isWordAt(1, "JOIN")) { advance(); jt = JoinType::Inner; }
      else if (isWord("JOIN")) { jt = JoinType::Inner; }
      else if (isWord("LEFT")) { advance(); acceptWord("OUTER"); jt = JoinType::Left; if (!isWord("JOIN")) syntaxAt("expected JOIN"); }
      else if (isWord("RIGHT")) { advance(); acceptWord("OUTER"); jt = JoinType::Right; if (!isWord("JOIN")) syntaxAt("expected JOIN"); }
      else break;
      expectWord("JOIN");
      auto j = std::make_shared<FromItem>();
      j->kind = FromKind::Join;
      j->join = jt;
      j->left = left;
      j->right = fromPrimary();
      if (!acceptWord("ON")) throw jet::Error(err::kJoinSyntax, "Syntax error in JOIN operation.");
      j->on = expr();
      left = j;
    }
    return left;
  }

  void alias(FromItem& f) {
    if (acceptWord("AS")) { f.alias = name(); return; }
    if (cur().kind == Tok::Bracketed || (cur().kind == Tok::Name && !reserved(cur().text)))
      f.alias = name();
  }

  FromP fromPrimary() {
    if (isOp("(")) {
      if (isWordAt(1, "SELECT") || (peek().kind == Tok::Op && peek().text == "(")) {
        // a derived table or a parenthesised join
        size_t save = pos_;
        if (isWordAt(1, "SELECT")) {
          advance();
          auto f = std::make_shared<FromItem>();
          f->kind = FromKind::Derived;
          f->query = subquery();
          expectOp(")");
          alias(*f);
          return f;
        }
        pos_ = save;
      }
      advance();
      FromP inner = joined();
      expectOp(")");
      return inner;
    }
    // [SELECT ...]. AS alias: the product's older spelling of a derived table
    if (cur().kind == Tok::Bracketed && wordIs(cur().text.substr(0, 6), "SELECT") && peek().kind == Tok::Op &&
        peek().text == ".") {
      std::string inner = cur().text;
      advance();
      advance();
      auto f = std::make_shared<FromItem>();
      f->kind = FromKind::Derived;
      Parser sub(inner);
      f->query = std::make_shared<Query>();
      sub.selectQuery(*f->query);
      alias(*f);
      return f;
    }
    auto f = std::make_shared<FromItem>();
    f->name = name();
    // owner.table spelling: keep the last part
    while (isOp(".") && (peek().kind == Tok::Name || peek().kind == Tok::Bracketed)) {
      advance();
      f->name = name();
    }
    if (isWord("IN") && peek().kind == Tok::String) {
      advance();
      f->inDatabase = cur().text;
      advance();
    }
    alias(*f);
    return f;
  }

  // ---- expressions, lowest precedence first ----
  static ExprP bin(const std::string& op, ExprP a, ExprP b) {
    auto e = std::make_shared<Expr>();
    e->kind = ExprKind::Binary;
    e->op = op;
    e->args = {std::move(a), std::move(b)};
    return e;
  }

 public:
  ExprP expr() {
    Nesting n(*this);
    return impExpr();
  }

 private:
  ExprP impExpr() {
    ExprP l = eqvExpr();
    while (acceptWord("IMP")) l = bin("IMP", l, eqvExpr());
    return l;
  }
  ExprP eqvExpr() {
    ExprP l = xorExpr();
    while (acceptWord("EQV")) l = bin("EQV", l, xorExpr());
    return l;
  }
  ExprP xorExpr() {
    ExprP l = orExpr();
    while (acceptWord("XOR")) l = bin("XOR", l, orExpr());
    return l;
  }
  ExprP orExpr() {
    ExprP l = andExpr();
    while (acceptWord("OR")) l = bin("OR", l, andExpr());
    return l;
  }
  ExprP andExpr() {
    ExprP l = notExpr();
    while (acceptWord("AND")) l = bin("AND", l, notExpr());
    return l;
  }
  ExprP notExpr() {
    if (isWord("NOT") && !isWordAt(1, "IN") && !isWordAt(1, "LIKE") && !isWordAt(1, "BETWEEN")) {
      advance();
      auto e = std::make_shared<Expr>();
      e->kind = ExprKind::Unary;
      e->op = "NOT";
      e->args = {notExpr()};
      return e;
    }
    return compare();
  }
  ExprP compare() {
    ExprP l = concat();
    for (;;) {
      if (cur().kind == Tok::Op &&
          (cur().text == "=" || cur().text == "<>" || cur().text == "<" || cur().text == ">" ||
           cur().text == "<=" || cur().text == ">=")) {
        std::string op = cur().text;
        advance();
        l = bin(op, l, concat());
        continue;
      }
      bool neg = false;
      size_t save = pos_;
      if (isWord("NOT")) { neg = true; advance(); }
      if (acceptWord("LIKE")) {
        auto e = bin("LIKE", l, concat());
        e->negated = neg;
        l = e;
        continue;
      }
      if (acceptWord("BETWEEN")) {
        auto e = std::make_shared<Expr>();
        e->kind = ExprKind::Between;
        e->negated = neg;
        ExprP lo = concat();
        expectWord("AND");
        ExprP hi = concat();
        e->args = {l, lo, hi};
        l = e;
        continue;
      }
      if (acceptWord("IN")) {
        expectOp("(");
        auto e = std::make_shared<Expr>();
        e->negated = neg;
        if (isWord("SELECT")) {
          e->kind = ExprKind::InQuery;
          e->args = {l};
          e->query = subquery();
        } else {
          e->kind = ExprKind::InList;
          e->args = {l};
          if (!isOp(")")) {
            do e->args.push_back(expr()); while (acceptOp(","));
          }
        }
        expectOp(")");
        l = e;
        continue;
      }
      if (neg) { pos_ = save; break; }
      if (acceptWord("IS")) {
        auto e = std::make_shared<Expr>();
        e->kind = ExprKind::IsNull;
        e->negated = acceptWord("NOT");
        expectWord("NULL");
        e->args = {l};
        l = e;
        continue;
      }
      break;
    }
    return l;
  }
  ExprP concat() {
    ExprP l = additive();
    while (acceptOp("&")) l = bin("&", l, additive());
    return l;
  }
  ExprP additive() {
    ExprP l = modExpr();
    for (;;) {
      if (acceptOp("+")) l = bin("+", l, modExpr());
      else if (acceptOp("-")) l = bin("-", l, modExpr());
      else break;
    }
    return l;
  }
  ExprP modExpr() {
    ExprP l = intDiv();
    while (acceptWord("MOD")) l = bin("MOD", l, intDiv());
    return l;
  }
  ExprP intDiv() {
    ExprP l = mult();
    while (acceptOp("\\")) l = bin("\\", l, mult());
    return l;
  }
  ExprP mult() {
    ExprP l = unary();
    for (;;) {
      if (acceptOp("*")) l = bin("*", l, unary());
      else if (acceptOp("/")) l = bin("/", l, unary());
      else break;
    }
    return l;
  }
  ExprP unary() {
    Nesting n(*this);
    if (isOp("-") || isOp("+")) {
      std::string op = cur().text;
      advance();
      auto e = std::make_shared<Expr>();
      e->kind = ExprKind::Unary;
      e->op = op;
      e->args = {unary()};
      return e;
    }
    return power();
  }
  ExprP power() {
    ExprP l = primary();
    while (acceptOp("^")) {
      // -x inside an exponent binds to the exponent: 2^-1
      ExprP r;
      if (isOp("-") || isOp("+")) {
        std::string op = cur().text;
        advance();
        r = std::make_shared<Expr>();
        r->kind = ExprKind::Unary;
        r->op = op;
        r->args = {primary()};
      } else {
        r = primary();
      }
      l = bin("^", l, r);
    }
    return l;
  }

  static ExprP literal(jet::Value v) {
    auto e = std::make_shared<Expr>();
    e->kind = ExprKind::Literal;
    e->value = std::move(v);
    return e;
  }

  ExprP primary() {
    const Token& t = cur();
    switch (t.kind) {
      case Tok::String: {
        auto e = literal(jet::Value::text(t.text));
        advance();
        return e;
      }
      case Tok::Number: {
        std::string s = t.text;
        advance();
        if (s.size() > 2 && s[0] == '&') {
          int64_t v = std::strtoll(s.c_str() + 2, nullptr, 16);
          if (v <= 0x7FFF) return literal(jet::Value::integer(static_cast<int16_t>(v)));
          if (v <= 0xFFFF) return literal(jet::Value::integer(static_cast<int16_t>(v - 0x10000)));
          return literal(jet::Value::longInt(static_cast<int32_t>(static_cast<uint32_t>(v))));
        }
        if (s.find_first_of(".eE") == std::string::npos) {
          double d = std::atof(s.c_str());
          if (d <= 2147483647.0) return literal(jet::Value::longInt(static_cast<int32_t>(d)));
          return literal(jet::Value::dbl(d));
        }
        return literal(jet::Value::dbl(std::atof(s.c_str())));
      }
      case Tok::Date: {
        auto d = parseDate(t.text);
        if (!d) syntaxAt("invalid date #" + t.text + "#");
        advance();
        return literal(jet::Value::dateTime(*d));
      }
      case Tok::Op:
        if (t.text == "(") {
          advance();
          if (isWord("SELECT")) {
            auto e = std::make_shared<Expr>();
            e->kind = ExprKind::Subquery;
            e->query = subquery();
            expectOp(")");
            return e;
          }
          ExprP e = expr();
          expectOp(")");
          e->paren = true;
          return e;
        }
        if (t.text == "*") syntaxAt("unexpected '*'");
        syntaxAt("missing operand");
      case Tok::Name: {
        const std::string& u = t.text;
        if (wordIs(u, "NULL")) { advance(); return literal(jet::Value()); }
        if (wordIs(u, "TRUE") || wordIs(u, "YES") || wordIs(u, "ON")) { advance(); return literal(jet::Value::boolean(true)); }
        if (wordIs(u, "FALSE") || wordIs(u, "NO") || wordIs(u, "OFF")) { advance(); return literal(jet::Value::boolean(false)); }
        if (wordIs(u, "EXISTS") && peek().kind == Tok::Op && peek().text == "(") {
          advance();
          advance();
          auto e = std::make_shared<Expr>();
          e->kind = ExprKind::Exists;
          e->query = subquery();
          expectOp(")");
          return e;
        }
        if (peek().kind == Tok::Op && peek().text == "(") {
          if (reserved(u) && !wordIs(u, "LEFT") && !wordIs(u, "RIGHT") && !wordIs(u, "ASC")) syntaxAt("unexpected '" + t.text + "'");
          auto e = std::make_shared<Expr>();
          e->kind = ExprKind::Call;
          e->parts = {t.text};
          advance();
          advance();
          if (isOp("*")) {
            advance();
            e->args.push_back(starExpr());
          } else if (!isOp(")")) {
            do e->args.push_back(expr()); while (acceptOp(","));
          }
          expectOp(")");
          return e;
        }
        if (reserved(u)) syntaxAt("unexpected '" + t.text + "'");
        return qualifiedName();
      }
      case Tok::Bracketed:
        return qualifiedName();
      case Tok::End:
        syntaxAt("missing operand at the end");
    }
    syntaxAt("unexpected token");
  }

  // A bare "*" (all columns, or Count(*)).
  static ExprP starExpr() {
    auto e = std::make_shared<Expr>();
    e->kind = ExprKind::Star;
    return e;
  }

  ExprP qualifiedName() {
    auto e = std::make_shared<Expr>();
    e->kind = ExprKind::Name;
    e->parts.push_back(name());
    while ((isOp(".") || isOp("!"))) {
      if (peek().kind == Tok::Op && peek().text == "*") {
        advance();
        advance();
        e->kind = ExprKind::Star;
        return e;
      }
      if (peek().kind != Tok::Name && peek().kind != Tok::Bracketed) break;
      advance();
      e->parts.push_back(name());
    }
    return e;
  }

  // Deeply nested text ((((... or - - - ...) is refused before the
  // recursion could exhaust the stack.
  struct Nesting {
    explicit Nesting(Parser& p) : p_(p) {
      if (++p_.depth_ > kMaxDepth) {
        --p_.depth_;
        throw jet::Error(jet::err::kSyntax, "Query is too complex: expressions nest too deeply.");
      }
    }
    ~Nesting() { --p_.depth_; }
    Parser& p_;
  };
  static constexpr int kMaxDepth = 200;

  const std::string& text_;
  std::vector<Token> toks_;
  size_t pos_ = 0;
  int depth_ = 0;
};

}  // namespace sql::detail
