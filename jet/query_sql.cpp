// Rebuilding saved-query SQL from MSysQueries rows. See query_sql.h.
//
// Layout of a query's rows (Attribute column, then what the other columns
// hold):
//   0   start marker                     255  end marker
//   1   type: Flag = query kind (1 select, 2 make-table, 3 append, 4 update,
//       5 delete, 6 crosstab, 7 data-definition, 8 pass-through, 9 union);
//       Name1 = target table (append, make-table) or connect string
//       (pass-through); Name2 = target database; Expression = target
//       database type, or the whole statement (pass-through, DDL)
//   2   parameter: Name1 = name, Flag = data type code
//   3   select flags: Flag bits (see below), Name1 = TOP value
//   4   source database of FROM: Name1 = path, Expression = type
//   5   table: Name1 = table, Name2 = alias (union: Name2 = part id,
//       Expression = that part's text)
//   6   output column: Expression, Name1 = alias, Name2 = target column
//       (append, update); Flag = crosstab role / append VALUES marker
//   7   join: Name1 = left, Name2 = right, Expression = ON, Flag = kind
//   8   WHERE expression        9   GROUP BY expression
//   10  HAVING expression       11  ORDER BY expression, Name1 "D" = DESC
#include "jet/query_sql.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <utility>

namespace jet {
namespace {

constexpr int kAttrType = 1;
constexpr int kAttrParameter = 2;
constexpr int kAttrFlags = 3;
constexpr int kAttrRemoteDb = 4;
constexpr int kAttrTable = 5;
constexpr int kAttrColumn = 6;
constexpr int kAttrJoin = 7;
constexpr int kAttrWhere = 8;
constexpr int kAttrGroupBy = 9;
constexpr int kAttrHaving = 10;
constexpr int kAttrOrderBy = 11;

// Bits of the select-flags row.
constexpr int kSelectStar = 0x01;
constexpr int kDistinct = 0x02;
constexpr int kOwnerAccess = 0x04;
constexpr int kDistinctRow = 0x08;
constexpr int kTop = 0x10;
constexpr int kPercent = 0x20;
// In a union query the same row says whether duplicates are removed: bit set
// means plain UNION, clear means UNION ALL.
constexpr int kUnionDistinct = 0x02;

// Column-row flags.
constexpr int kAppendValue = 0x8000;      // an INSERT INTO ... VALUES item
constexpr int kCrossTabPivot = 0x01;      // the PIVOT column
constexpr int kCrossTabRowHeading = 0x02; // row headings (plain SELECT part)

constexpr const char* kUnionPart1 = "X7YZ_____1";
constexpr const char* kUnionPart2 = "X7YZ_____2";

constexpr const char* kNewline = "\n";

using RowList = std::vector<const QueryRow*>;

const std::string& textOf(const std::optional<std::string>& s) {
  static const std::string empty;
  return s ? *s : empty;
}

int flagOf(const QueryRow* row) { return (row && row->flag) ? *row->flag : 0; }

bool equalsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string joinList(const std::vector<std::string>& items, const char* sep) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i) out += sep;
    out += items[i];
  }
  return out;
}

// --- Names -----------------------------------------------------------------
// Names are written bare when they hold only ASCII letters, digits and '_';
// anything else is put in brackets, unless it already is.

bool isPlainNameChar(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '_';
}

std::string bracketed(const std::string& s) {
  if (s.size() >= 2 && s.front() == '[' && s.back() == ']') return s;
  return "[" + s + "]";
}

std::string quotedIfNeeded(const std::string& s) {
  for (char c : s) {
    if (!isPlainNameChar(static_cast<unsigned char>(c))) return bracketed(s);
  }
  return s;
}

// A possibly qualified name ("Table.Column", "[My Table].Col"): each dotted
// part is quoted on its own. Dots inside brackets do not split.
std::string qualifiedName(const std::string& s) {
  std::vector<std::string> parts(1);
  int depth = 0;
  for (char c : s) {
    if (c == '[') ++depth;
    if (c == ']' && depth > 0) --depth;
    if (c == '.' && depth == 0) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  while (!parts.empty() && parts.back().empty()) parts.pop_back();
  std::string out;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i) out += '.';
    out += quotedIfNeeded(parts[i]);
  }
  return out;
}

std::string aliasClause(const std::optional<std::string>& alias) {
  return alias ? " AS " + quotedIfNeeded(*alias) : std::string();
}

// " IN 'path' [type]" for a source or target in another database.
std::string remoteDbClause(const std::optional<std::string>& path,
                           const std::optional<std::string>& type) {
  if (!path && !type) return {};
  std::string out = " IN '" + textOf(path) + "'";
  if (type) out += " [" + *type + "]";
  return out;
}

// --- Row access --------------------------------------------------------------

class Parts {
 public:
  explicit Parts(const std::vector<QueryRow>& rows) : rows_(rows) {}

  RowList all(int attribute) const {
    RowList out;
    for (const QueryRow& r : rows_) {
      if (r.attribute == attribute) out.push_back(&r);
    }
    return out;
  }
  // The first row of an attribute that should occur at most once.
  const QueryRow* one(int attribute) const {
    for (const QueryRow& r : rows_) {
      if (r.attribute == attribute) return &r;
    }
    return nullptr;
  }
  std::optional<std::string> expressionOf(int attribute) const {
    const QueryRow* r = one(attribute);
    return r ? r->expression : std::nullopt;
  }
  int selectFlags() const { return flagOf(one(kAttrFlags)); }

 private:
  const std::vector<QueryRow>& rows_;
};

RowList keepIf(const RowList& rows, bool (*pred)(const QueryRow&)) {
  RowList out;
  for (const QueryRow* r : rows) {
    if (pred(*r)) out.push_back(r);
  }
  return out;
}

// --- FROM clause -------------------------------------------------------------
// Tables come from the table rows; each join row then merges the two sources
// holding its tables into one join (or, when both tables already sit in the
// same join of the same kind, adds its condition to that join).

struct Source {
  // A single table.
  std::string key;   // the name joins use: alias, else table name
  std::string text;  // as written in FROM
  // A join of two sources.
  std::unique_ptr<Source> left, right;
  int kind = 0;
  std::vector<std::string> conditions;  // combined with AND

  bool isJoin() const { return left != nullptr; }

  bool contains(const std::string& table) const {
    if (isJoin()) return left->contains(table) || right->contains(table);
    return !key.empty() && equalsNoCase(key, table);
  }

  void write(std::string& out, bool topLevel) const {
    if (!isJoin()) {
      out += text;
      return;
    }
    if (!topLevel) out += '(';
    left->write(out, false);
    switch (kind) {
      case 2: out += " LEFT JOIN "; break;
      case 3: out += " RIGHT JOIN "; break;
      default: out += " INNER JOIN "; break;  // 1, and anything unknown
    }
    right->write(out, false);
    out += " ON ";
    if (conditions.size() > 1) {
      out += '(' + joinList(conditions, ") AND (") + ')';
    } else if (!conditions.empty()) {
      out += conditions.front();
    }
    if (!topLevel) out += ')';
  }
};

std::unique_ptr<Source> tableSource(std::string key, std::string text) {
  auto s = std::make_unique<Source>();
  s->key = std::move(key);
  s->text = std::move(text);
  return s;
}

std::vector<std::string> fromTables(const Parts& parts) {
  std::vector<std::unique_ptr<Source>> sources;
  for (const QueryRow* t : parts.all(kAttrTable)) {
    std::string text;
    if (t->expression) text += bracketed(*t->expression) + ".";
    if (t->name1) text += qualifiedName(*t->name1);
    text += aliasClause(t->name2);
    sources.push_back(tableSource(textOf(t->name2 ? t->name2 : t->name1), text));
  }

  for (const QueryRow* j : parts.all(kAttrJoin)) {
    const std::string& from = textOf(j->name1);
    const std::string& to = textOf(j->name2);
    const int kind = flagOf(j);
    const std::string on = textOf(j->expression);

    auto find = [&](const std::string& name) -> std::ptrdiff_t {
      for (std::size_t i = 0; i < sources.size(); ++i) {
        if (sources[i]->contains(name)) return static_cast<std::ptrdiff_t>(i);
      }
      return -1;
    };
    std::ptrdiff_t fi = find(from);
    std::ptrdiff_t ti = find(to);

    std::unique_ptr<Source> left, right;
    if (fi >= 0 && fi == ti) {
      Source& both = *sources[static_cast<std::size_t>(fi)];
      if (both.isJoin()) {
        // Another condition between tables already joined. Conditions are
        // stored last-first. (A different join kind here cannot be shown
        // faithfully; the condition is still kept.)
        both.conditions.insert(both.conditions.begin(), on);
        continue;
      }
      // One table joined to itself under a single name.
      left = std::move(sources[static_cast<std::size_t>(fi)]);
      sources.erase(sources.begin() + fi);
      right = tableSource(to, qualifiedName(to));
    } else {
      // Take both out (higher index first so the other index stays valid).
      if (fi >= 0) left = std::move(sources[static_cast<std::size_t>(fi)]);
      if (ti >= 0) right = std::move(sources[static_cast<std::size_t>(ti)]);
      std::ptrdiff_t hi = std::max(fi, ti), lo = std::min(fi, ti);
      if (hi >= 0) sources.erase(sources.begin() + hi);
      if (lo >= 0) sources.erase(sources.begin() + lo);
      if (!left) left = tableSource(from, qualifiedName(from));
      if (!right) right = tableSource(to, qualifiedName(to));
    }
    auto join = std::make_unique<Source>();
    join->left = std::move(left);
    join->right = std::move(right);
    join->kind = kind;
    join->conditions.push_back(on);
    sources.push_back(std::move(join));
  }

  std::vector<std::string> out;
  for (const auto& s : sources) {
    std::string text;
    s->write(text, true);
    out.push_back(std::move(text));
  }
  return out;
}

// --- Clauses -----------------------------------------------------------------

const char* parameterTypeName(int code) {
  switch (code) {
    case 0: return "Value";
    case 1: return "Bit";
    case 2: return "Byte";
    case 3: return "Short";
    case 4: return "Long";
    case 5: return "Currency";
    case 6: return "IEEESingle";
    case 7: return "IEEEDouble";
    case 8: return "DateTime";
    case 9: return "Binary";
    case 10: return "Text";
    case 11: return "LongBinary";
    case 12: return "LongText";
    case 15: return "Guid";
    case 16: return "BigInt";
    case 20: return "Decimal";
    default: return "Value";
  }
}

std::string parametersLine(const Parts& parts) {
  std::vector<std::string> params;
  for (const QueryRow* p : parts.all(kAttrParameter)) {
    params.push_back(textOf(p->name1) + " " + parameterTypeName(flagOf(p)));
  }
  if (params.empty()) return {};
  return "PARAMETERS " + joinList(params, ", ") + ";" + kNewline;
}

// DISTINCT / DISTINCTROW and TOP n [PERCENT]; "" when none applies.
std::string selectPredicate(const Parts& parts) {
  const int flags = parts.selectFlags();
  std::string out;
  if (flags & kDistinct) {
    out = "DISTINCT";
  } else if (flags & kDistinctRow) {
    out = "DISTINCTROW";
  }
  if (flags & kTop) {
    const QueryRow* f = parts.one(kAttrFlags);
    const std::string& n = textOf(f->name1);
    if (!n.empty()) {
      if (!out.empty()) out += ' ';
      out += "TOP " + n;
      if (flags & kPercent) out += " PERCENT";
    }
  }
  return out;
}

std::vector<std::string> orderings(const Parts& parts) {
  std::vector<std::string> out;
  for (const QueryRow* o : parts.all(kAttrOrderBy)) {
    std::string item = textOf(o->expression);
    if (o->name1 && equalsNoCase(*o->name1, "D")) item += " DESC";
    out.push_back(std::move(item));
  }
  return out;
}

struct SelectShape {
  RowList columns;
  RowList groups;
  bool selectKeyword = true;  // false for DELETE, which has its own verb
  std::string into;           // " INTO target" of a make-table query
};

void appendSelect(std::string& out, const Parts& parts, const SelectShape& shape) {
  if (shape.selectKeyword) {
    out += "SELECT ";
    std::string predicate = selectPredicate(parts);
    if (!predicate.empty()) out += predicate + ' ';
  }
  std::vector<std::string> cols;
  for (const QueryRow* c : shape.columns) {
    cols.push_back(textOf(c->expression) + aliasClause(c->name1));
  }
  if (parts.selectFlags() & kSelectStar) cols.push_back("*");
  out += joinList(cols, ", ");
  out += shape.into;

  std::vector<std::string> tables = fromTables(parts);
  if (!tables.empty()) {
    out += kNewline;
    out += "FROM " + joinList(tables, ", ");
    const QueryRow* remote = parts.one(kAttrRemoteDb);
    if (remote) out += remoteDbClause(remote->name1, remote->expression);
  }
  if (auto where = parts.expressionOf(kAttrWhere)) {
    out += kNewline;
    out += "WHERE " + *where;
  }
  std::vector<std::string> groups;
  for (const QueryRow* g : shape.groups) groups.push_back(textOf(g->expression));
  if (!groups.empty()) {
    out += kNewline;
    out += "GROUP BY " + joinList(groups, ", ");
  }
  if (auto having = parts.expressionOf(kAttrHaving)) {
    out += kNewline;
    out += "HAVING " + *having;
  }
  std::vector<std::string> order = orderings(parts);
  if (!order.empty()) {
    out += kNewline;
    out += "ORDER BY " + joinList(order, ", ");
  }
}

SelectShape plainShape(const Parts& parts) {
  SelectShape shape;
  shape.columns = parts.all(kAttrColumn);
  shape.groups = parts.all(kAttrGroupBy);
  return shape;
}

// --- Query kinds -------------------------------------------------------------

void buildSelect(std::string& out, const Parts& parts) {
  appendSelect(out, parts, plainShape(parts));
}

void buildMakeTable(std::string& out, const Parts& parts) {
  SelectShape shape = plainShape(parts);
  const QueryRow* type = parts.one(kAttrType);
  shape.into = " INTO ";
  if (type) {
    shape.into += qualifiedName(textOf(type->name1));
    shape.into += remoteDbClause(type->name2, type->expression);
  }
  appendSelect(out, parts, shape);
}

bool isAppendValue(const QueryRow& r) { return (flagOf(&r) & kAppendValue) != 0; }
bool isNotAppendValue(const QueryRow& r) { return !isAppendValue(r); }
bool hasTargetColumn(const QueryRow& r) { return r.name2.has_value(); }

void buildAppend(std::string& out, const Parts& parts) {
  const QueryRow* type = parts.one(kAttrType);
  const RowList columns = parts.all(kAttrColumn);
  out += "INSERT INTO ";
  if (type) out += qualifiedName(textOf(type->name1));
  std::vector<std::string> targets;
  for (const QueryRow* c : keepIf(columns, hasTargetColumn)) {
    targets.push_back(qualifiedName(*c->name2));
  }
  if (!targets.empty()) out += " (" + joinList(targets, ", ") + ")";
  if (type) out += remoteDbClause(type->name2, type->expression);
  out += kNewline;

  std::vector<std::string> values;
  for (const QueryRow* c : keepIf(columns, isAppendValue)) {
    values.push_back(textOf(c->expression));
  }
  if (!values.empty()) {
    out += "VALUES (" + joinList(values, ", ") + ")";
    return;
  }
  SelectShape shape = plainShape(parts);
  shape.columns = keepIf(columns, isNotAppendValue);
  appendSelect(out, parts, shape);
}

void buildDelete(std::string& out, const Parts& parts) {
  out += "DELETE ";
  SelectShape shape = plainShape(parts);
  shape.selectKeyword = false;
  appendSelect(out, parts, shape);
}

void buildUpdate(std::string& out, const Parts& parts) {
  out += "UPDATE " + joinList(fromTables(parts), ", ");
  const QueryRow* remote = parts.one(kAttrRemoteDb);
  if (remote) out += remoteDbClause(remote->name1, remote->expression);
  std::vector<std::string> sets;
  for (const QueryRow* c : parts.all(kAttrColumn)) {
    sets.push_back(qualifiedName(textOf(c->name2)) + " = " + textOf(c->expression));
  }
  out += kNewline;
  out += "SET " + joinList(sets, ", ");
  if (auto where = parts.expressionOf(kAttrWhere)) {
    out += kNewline;
    out += "WHERE " + *where;
  }
}

bool isCrossTabValue(const QueryRow& r) {
  return (flagOf(&r) & (kCrossTabPivot | kCrossTabRowHeading)) == 0;
}
bool isCrossTabPivot(const QueryRow& r) { return (flagOf(&r) & kCrossTabPivot) != 0; }
bool isCrossTabRowHeading(const QueryRow& r) {
  return (flagOf(&r) & kCrossTabRowHeading) != 0;
}

void buildCrossTab(std::string& out, const Parts& parts) {
  const RowList columns = parts.all(kAttrColumn);
  const RowList value = keepIf(columns, isCrossTabValue);
  if (!value.empty() && value.front()->expression) {
    out += "TRANSFORM " + *value.front()->expression + aliasClause(value.front()->name1);
    out += kNewline;
  }
  SelectShape shape;
  shape.columns = keepIf(columns, isCrossTabRowHeading);
  shape.groups = keepIf(parts.all(kAttrGroupBy), isCrossTabRowHeading);
  appendSelect(out, parts, shape);
  const RowList pivot = keepIf(columns, isCrossTabPivot);
  out += kNewline;
  out += "PIVOT ";
  if (!pivot.empty()) out += textOf(pivot.front()->expression);
}

// A union part as stored, with surrounding blanks and control characters
// dropped and each run of line breaks made one "\n".
std::string cleanUnionPart(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  std::string out;
  bool inBreak = false;
  for (std::size_t i = b; i < e; ++i) {
    const char c = s[i];
    if (c == '\r' || c == '\n') {
      if (!inBreak) out += kNewline;
      inBreak = true;
    } else {
      out += c;
      inBreak = false;
    }
  }
  return out;
}

std::string unionPart(const Parts& parts, const char* id) {
  for (const QueryRow* t : parts.all(kAttrTable)) {
    if (t->name2 && *t->name2 == id) return cleanUnionPart(textOf(t->expression));
  }
  return {};
}

void buildUnion(std::string& out, const Parts& parts) {
  out += unionPart(parts, kUnionPart1);
  out += kNewline;
  out += "UNION ";
  if (!(parts.selectFlags() & kUnionDistinct)) out += "ALL ";
  out += unionPart(parts, kUnionPart2);
  std::vector<std::string> order = orderings(parts);
  if (!order.empty()) {
    out += kNewline;
    out += "ORDER BY " + joinList(order, ", ");
  }
}

// --- Types -------------------------------------------------------------------

QueryType typeFromTypeRow(const std::vector<QueryRow>& rows) {
  const QueryRow* type = Parts(rows).one(kAttrType);
  if (!type || !type->flag) return QueryType::Unknown;
  switch (*type->flag) {
    case 1: return QueryType::Select;
    case 2: return QueryType::MakeTable;
    case 3: return QueryType::Append;
    case 4: return QueryType::Update;
    case 5: return QueryType::Delete;
    case 6: return QueryType::CrossTab;
    case 7: return QueryType::DataDefinition;
    case 8: return QueryType::PassThrough;
    case 9: return QueryType::Union;
    default: return QueryType::Unknown;
  }
}

bool storedVerbatim(QueryType t) {
  return t == QueryType::PassThrough || t == QueryType::DataDefinition;
}

// Builds the text; *verbatim tells whether it is a stored statement (no ';'
// to be added).
std::string build(QueryType type, const std::vector<QueryRow>& rows, bool* verbatim) {
  const Parts parts(rows);
  if (type == QueryType::Unknown) type = typeFromTypeRow(rows);
  if (type == QueryType::Unknown) {
    // Nothing says what this is: a stored statement if there is one, else
    // whatever SELECT the parts make.
    const QueryRow* t = parts.one(kAttrType);
    if (t && t->expression) {
      *verbatim = true;
      return *t->expression;
    }
    type = QueryType::Select;
  }

  *verbatim = storedVerbatim(type);
  if (*verbatim) {
    const QueryRow* t = parts.one(kAttrType);
    return t ? textOf(t->expression) : std::string();
  }

  std::string out = parametersLine(parts);
  switch (type) {
    case QueryType::MakeTable: buildMakeTable(out, parts); break;
    case QueryType::Append: buildAppend(out, parts); break;
    case QueryType::Update: buildUpdate(out, parts); break;
    case QueryType::Delete: buildDelete(out, parts); break;
    case QueryType::CrossTab: buildCrossTab(out, parts); break;
    case QueryType::Union: buildUnion(out, parts); break;
    default: buildSelect(out, parts); break;
  }
  if (parts.selectFlags() & kOwnerAccess) {
    out += kNewline;
    out += "WITH OWNERACCESS OPTION";
  }
  return out;
}

}  // namespace

QueryType queryTypeFromFlags(int32_t msysObjectsFlags) {
  // Only bits 4..7 carry the kind; the rest are other object properties
  // (hidden, system, ...).
  switch (msysObjectsFlags & 0xF0) {
    case 0: return QueryType::Select;
    case 16: return QueryType::CrossTab;
    case 32: return QueryType::Delete;
    case 48: return QueryType::Update;
    case 64: return QueryType::Append;
    case 80: return QueryType::MakeTable;
    case 96: return QueryType::DataDefinition;
    case 112: return QueryType::PassThrough;
    case 128: return QueryType::Union;
    default: return QueryType::Unknown;
  }
}

const char* queryTypeName(QueryType t) {
  switch (t) {
    case QueryType::Select: return "SELECT";
    case QueryType::Union: return "UNION";
    case QueryType::CrossTab: return "CROSS_TAB";
    case QueryType::Update: return "UPDATE";
    case QueryType::Append: return "APPEND";
    case QueryType::Delete: return "DELETE";
    case QueryType::MakeTable: return "MAKE_TABLE";
    case QueryType::PassThrough: return "PASSTHROUGH";
    case QueryType::DataDefinition: return "DATA_DEFINITION";
    case QueryType::Unknown: break;
  }
  return "UNKNOWN";
}

QueryType resolveQueryType(int32_t msysObjectsFlags, const std::vector<QueryRow>& rows) {
  QueryType t = queryTypeFromFlags(msysObjectsFlags);
  if (t == QueryType::Select || t == QueryType::Unknown) {
    QueryType fromRow = typeFromTypeRow(rows);
    if (fromRow != QueryType::Unknown) t = fromRow;
  }
  return t;
}

std::string rebuildQuerySql(QueryType type, const std::vector<QueryRow>& rows) {
  bool verbatim = false;
  return build(type, rows, &verbatim);
}

std::string querySqlStatement(QueryType type, const std::vector<QueryRow>& rows) {
  bool verbatim = false;
  std::string text = build(type, rows, &verbatim);
  if (!verbatim) text += ';';
  return text;
}

}  // namespace jet
