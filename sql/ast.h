// Syntax tree of a statement as parsed, before names are resolved.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/value.h"

namespace sql {

struct Query;
struct Expr;
using ExprP = std::shared_ptr<Expr>;
using QueryP = std::shared_ptr<Query>;

enum class ExprKind {
  Literal,     // value
  Name,        // parts: [qualifier...,] name
  Star,        // * or T.* (parts = qualifier, empty for *) — select lists and Count(*)
  Unary,       // op: "-", "+", "NOT"; args[0]
  Binary,      // op: + - * / \ MOD ^ & = <> < > <= >= AND OR XOR EQV IMP LIKE
  Between,     // args: value, low, high; negated
  InList,      // args[0] in (args[1..]); negated
  InQuery,     // args[0] in (subquery); negated
  Exists,      // subquery; negated
  IsNull,      // args[0] Is [Not] Null; negated
  Call,        // name(args); distinct for Count(DISTINCT x) is not supported by the product
  Subquery,    // scalar subquery
};

struct Expr {
  ExprKind kind = ExprKind::Literal;
  jet::Value value;                 // Literal
  std::vector<std::string> parts;   // Name / Star / Call (parts[0] = function name)
  std::string op;                   // upper case
  std::vector<ExprP> args;
  QueryP query;                     // InQuery / Exists / Subquery
  bool negated = false;
  bool paren = false;               // written in parentheses (kept for printing)
};

// FROM clause items.
enum class FromKind { Table, Join, Derived };
enum class JoinType { Inner, Left, Right, Cross };

struct FromItem;
using FromP = std::shared_ptr<FromItem>;
struct FromItem {
  FromKind kind = FromKind::Table;
  std::string name;    // Table: table or saved query name
  std::string alias;   // Table / Derived
  std::string inDatabase;  // Table: IN 'other.mdb' (not supported when run)
  JoinType join = JoinType::Inner;
  FromP left, right;   // Join
  ExprP on;            // Join condition
  QueryP query;        // Derived
};

struct SelectItem {
  ExprP expr;          // Star for * and T.*
  std::string alias;   // AS name ("" when none)
};

struct OrderItem {
  ExprP expr;
  bool desc = false;
};

struct ParamDecl {
  std::string name;
  std::string typeName;   // as written (Text, Long, DateTime, ...)
  jet::DataType type = jet::DataType::Text;
  int size = 0;
};

// One SELECT ... [FROM ...] [WHERE ...] [GROUP BY ...] [HAVING ...].
struct SelectCore {
  bool distinct = false;
  bool distinctRow = false;
  bool hasTop = false;
  double top = 0;
  bool topPercent = false;
  std::vector<SelectItem> items;
  std::vector<FromP> from;     // comma-separated items
  std::string into;            // SELECT ... INTO (an action query)
  ExprP where;
  std::vector<ExprP> groupBy;
  ExprP having;
};

enum class StatementKind { Select, Union, Crosstab, Update, Delete, Insert, MakeTable, DataDefinition };

// A field of CREATE TABLE / ALTER TABLE ... ADD COLUMN.
struct ColumnDef {
  std::string name;
  std::string typeName;   // as written
  jet::DataType type = jet::DataType::Text;
  int size = 0;           // Text/Binary length; Decimal precision
  int scale = 0;          // Decimal
  bool notNull = false;
  bool autoNumber = false;  // COUNTER / AUTOINCREMENT
  bool multiValue = false;  // <type> MULTIVALUE: a multi-value field of that type
};

// An index: CONSTRAINT ... PRIMARY KEY / UNIQUE, or CREATE INDEX.
struct IndexDef {
  std::string name;
  std::vector<std::pair<std::string, bool>> columns;  // name, ascending
  bool primary = false;
  bool unique = false;
  bool disallowNull = false;
  bool ignoreNull = false;
};

// A relationship: [CONSTRAINT name] FOREIGN KEY (columns) REFERENCES
// refTable [(refColumns)] [ON UPDATE CASCADE] [ON DELETE CASCADE | SET NULL],
// or a field's REFERENCES clause. Empty refColumns: the referenced table's
// primary key.
struct ForeignKeyDef {
  std::string name;
  std::vector<std::string> columns;
  std::string refTable;
  std::vector<std::string> refColumns;
  bool cascadeUpdate = false;
  bool cascadeDelete = false;
  bool deleteSetsNull = false;
};

enum class DdlKind { None, CreateTable, CreateIndex, DropTable, DropIndex, AddColumn, DropColumn, AddConstraint, DropConstraint };

// The parts of UPDATE, DELETE, INSERT and the data-definition statements.
struct ActionStmt {
  // UPDATE: the table or join changed; DELETE: the FROM clause.
  std::vector<FromP> from;
  std::vector<std::pair<ExprP, ExprP>> set;  // UPDATE: target field, new value
  ExprP where;
  std::vector<SelectItem> deleteItems;       // DELETE [T.*] [fields] FROM
  bool distinctRow = false;
  // INSERT INTO table [(columns)] VALUES (values) | SELECT ...; DDL: the table.
  std::string table;
  std::vector<std::string> columns;
  std::vector<ExprP> values;
  QueryP select;
  // Data definition.
  DdlKind ddl = DdlKind::None;
  std::vector<ColumnDef> newColumns;  // CREATE TABLE, ADD COLUMN
  std::vector<IndexDef> indexes;      // constraints, CREATE INDEX
  std::vector<ForeignKeyDef> foreignKeys;  // CREATE TABLE, ADD CONSTRAINT
  std::string name;                   // DROP INDEX / COLUMN / CONSTRAINT: what is dropped
};

struct Query {
  StatementKind kind = StatementKind::Select;
  std::vector<ParamDecl> params;
  // Select: parts.size() == 1. Union: parts joined by UNION (unionAll[i]
  // joins parts[i] and parts[i+1]).
  std::vector<SelectCore> parts;
  std::vector<bool> unionAll;
  std::vector<OrderItem> orderBy;
  // Crosstab: TRANSFORM agg [AS alias] SELECT ... PIVOT expr [IN (...)].
  ExprP transform;
  std::string transformAlias;
  ExprP pivot;
  std::vector<ExprP> pivotIn;
  // The statement as written (action statements print as it).
  std::string text;
  std::shared_ptr<ActionStmt> action;  // Update, Delete, Insert, DataDefinition
  // Operations we do not run: the verb that names them.
  std::string verb;
};

// SQL text of a parsed statement; parsing it again gives the same tree.
std::string toSql(const Query& q);
std::string toSql(const Expr& e);
// Structural equality (names without regard to case).
bool sameExpr(const Expr& a, const Expr& b);
// A name as written in SQL: bare when it can be, else in brackets.
std::string quoteName(const std::string& name);

}  // namespace sql
