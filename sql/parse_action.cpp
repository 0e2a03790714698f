// Parsing of the statements that change data or structure:
//   UPDATE t [JOIN ...] SET f = e, ... [WHERE ...]
//   DELETE [DISTINCTROW] [T.* | fields] FROM ... [WHERE ...]
//   INSERT INTO t [(f, ...)] VALUES (e, ...) | SELECT ...
//   CREATE TABLE t (field type [(n)] [NOT NULL] [CONSTRAINT c PRIMARY KEY | UNIQUE], ...,
//                   [CONSTRAINT c PRIMARY KEY | UNIQUE (f, ...)])
//   CREATE [UNIQUE] INDEX i ON t (f [ASC | DESC], ...) [WITH PRIMARY | DISALLOW NULL | IGNORE NULL]
//   DROP TABLE t; DROP INDEX i ON t
//   ALTER TABLE t ADD [COLUMN] field type ... | ADD CONSTRAINT ... | DROP [COLUMN] f | DROP CONSTRAINT c
#include "sql/parser_impl.h"

namespace sql::detail {

namespace {

// The product's data-definition type names. Integer is the 4-byte Long here
// (as in the product's DDL); Short and SmallInt are the 2-byte Integer.
bool ddlType(const std::string& u, ColumnDef& c) {
  using jet::DataType;
  c.size = 0;
  if (u == "TEXT" || u == "CHAR" || u == "VARCHAR" || u == "CHARACTER" || u == "STRING" || u == "NVARCHAR" ||
      u == "NCHAR" || u == "ALPHANUMERIC") {
    c.type = DataType::Text;
    c.size = 255;
  } else if (u == "MEMO" || u == "LONGTEXT" || u == "LONGCHAR" || u == "NOTE" || u == "NTEXT") {
    c.type = DataType::Memo;
  } else if (u == "BIT" || u == "YESNO" || u == "LOGICAL" || u == "LOGICAL1" || u == "BOOLEAN") {
    c.type = DataType::Boolean;
  } else if (u == "BYTE" || u == "TINYINT" || u == "INTEGER1") {
    c.type = DataType::Byte;
  } else if (u == "SHORT" || u == "SMALLINT" || u == "INTEGER2") {
    c.type = DataType::Integer;
  } else if (u == "LONG" || u == "INT" || u == "INTEGER" || u == "INTEGER4") {
    c.type = DataType::Long;
  } else if (u == "COUNTER" || u == "AUTOINCREMENT" || u == "IDENTITY") {
    c.type = DataType::Long;
    c.autoNumber = true;
  } else if (u == "BIGINT") {
    c.type = DataType::BigInt;  // the 2016 .accdb format and later
  } else if (u == "DATETIME2") {
    c.type = DataType::ExtDateTime;  // Date/Time Extended: the 2019 .accdb format
  } else if (u == "CURRENCY" || u == "MONEY") {
    c.type = DataType::Currency;
  } else if (u == "SINGLE" || u == "REAL" || u == "FLOAT4" || u == "IEEESINGLE") {
    c.type = DataType::Single;
  } else if (u == "DOUBLE" || u == "FLOAT" || u == "FLOAT8" || u == "IEEEDOUBLE" || u == "NUMBER") {
    c.type = DataType::Double;
  } else if (u == "DATETIME" || u == "DATE" || u == "TIME" || u == "TIMESTAMP") {
    c.type = DataType::DateTime;
  } else if (u == "BINARY" || u == "VARBINARY" || u == "BINARY VARYING") {
    c.type = DataType::Binary;
    c.size = 255;
  } else if (u == "LONGBINARY" || u == "OLEOBJECT" || u == "GENERAL" || u == "IMAGE") {
    c.type = DataType::OLE;
  } else if (u == "GUID" || u == "UNIQUEIDENTIFIER") {
    c.type = DataType::GUID;
  } else if (u == "ATTACHMENT") {
    c.type = DataType::Complex;  // .accdb files only
  } else if (u == "DECIMAL" || u == "NUMERIC" || u == "DEC") {
    c.type = DataType::Decimal;
    c.size = 18;
  } else {
    return false;
  }
  return true;
}

}  // namespace

void Parser::action(Query& q) {
  std::string v = upper(cur().text);
  q.action = std::make_shared<ActionStmt>();
  if (v == "UPDATE") update(q);
  else if (v == "DELETE") remove(q);
  else if (v == "INSERT") insert(q);
  else if (v == "CREATE") create(q);
  else if (v == "DROP") drop(q);
  else alter(q);
}

void Parser::update(Query& q) {
  advance();
  q.kind = StatementKind::Update;
  ActionStmt& a = *q.action;
  do a.from.push_back(joined()); while (acceptOp(","));
  expectWord("SET");
  do {
    size_t start = cur().pos;
    ExprP target = qualifiedName();
    expectOp("=");
    ExprP value = expr();
    clauseDone(start);
    a.set.push_back({target, value});
  } while (acceptOp(","));
  if (acceptWord("WHERE")) {
    size_t start = cur().pos;
    a.where = expr();
    clauseDone(start);
  }
}

void Parser::remove(Query& q) {
  advance();
  q.kind = StatementKind::Delete;
  ActionStmt& a = *q.action;
  if (acceptWord("DISTINCTROW")) a.distinctRow = true;
  else acceptWord("DISTINCT");
  if (!isWord("FROM")) {
    do {
      SelectItem it;
      if (isOp("*")) {
        advance();
        it.expr = starExpr();
      } else {
        it.expr = qualifiedName();
      }
      a.deleteItems.push_back(it);
    } while (acceptOp(","));
  }
  expectWord("FROM");
  do a.from.push_back(joined()); while (acceptOp(","));
  if (acceptWord("WHERE")) {
    size_t start = cur().pos;
    a.where = expr();
    clauseDone(start);
  }
}

void Parser::insert(Query& q) {
  advance();
  q.kind = StatementKind::Insert;
  ActionStmt& a = *q.action;
  expectWord("INTO");
  a.table = name();
  if (isWord("IN") && peek().kind == Tok::String)
    throw jet::Error(jet::err::kNotSupported, "Tables in other databases (IN '...') are not supported.");
  if (isOp("(") && !isWordAt(1, "SELECT")) {
    advance();
    do a.columns.push_back(name()); while (acceptOp(","));
    expectOp(")");
  }
  if (acceptWord("VALUES")) {
    expectOp("(");
    do a.values.push_back(expr()); while (acceptOp(","));
    expectOp(")");
    return;
  }
  if (!isWord("SELECT") && !isOp("(") && !isWord("TABLE")) syntaxAt("expected VALUES or SELECT");
  a.select = std::make_shared<Query>();
  a.select->text = text_;
  selectQuery(*a.select);
  if (a.select->kind == StatementKind::MakeTable) syntaxAt("INTO inside INSERT INTO ... SELECT");
}

std::vector<std::pair<std::string, bool>> Parser::indexColumns(bool directions) {
  std::vector<std::pair<std::string, bool>> cols;
  expectOp("(");
  do {
    std::string n = name();
    bool asc = true;
    if (directions) {
      if (acceptWord("DESC")) asc = false;
      else acceptWord("ASC");
    }
    cols.push_back({n, asc});
  } while (acceptOp(","));
  expectOp(")");
  return cols;
}

IndexDef Parser::constraint(const std::string& cname) {
  IndexDef d;
  d.name = cname;
  if (acceptWord("PRIMARY")) {
    expectWord("KEY");
    d.primary = true;
  } else if (acceptWord("UNIQUE")) {
    d.unique = true;
  } else if (isWord("CHECK")) {
    throw jet::Error(jet::err::kNotSupported, "Constraints of the kind '" + cur().text + "' are not supported.");
  } else {
    syntaxAt("expected PRIMARY KEY or UNIQUE");
  }
  return d;
}

ForeignKeyDef Parser::foreignKey(const std::string& cname, std::vector<std::string> columns) {
  ForeignKeyDef f;
  f.name = cname;
  if (columns.empty()) {
    expectWord("FOREIGN");
    expectWord("KEY");
    for (const auto& [col, asc] : indexColumns(false)) f.columns.push_back(col);
  } else {
    f.columns = std::move(columns);
  }
  expectWord("REFERENCES");
  f.refTable = name();
  if (isOp("("))
    for (const auto& [col, asc] : indexColumns(false)) f.refColumns.push_back(col);
  while (isWord("ON")) {
    advance();
    const bool onUpdate = acceptWord("UPDATE");
    if (!onUpdate) expectWord("DELETE");
    if (acceptWord("CASCADE")) {
      (onUpdate ? f.cascadeUpdate : f.cascadeDelete) = true;
    } else if (isWord("SET") && isWordAt(1, "NULL")) {
      if (onUpdate) syntaxAt("ON UPDATE SET NULL is not allowed");
      advance();
      advance();
      f.deleteSetsNull = true;
    } else if (isWord("NO") && isWordAt(1, "ACTION")) {
      advance();
      advance();
    } else {
      syntaxAt("expected CASCADE, SET NULL or NO ACTION");
    }
  }
  return f;
}

void Parser::columnType(ColumnDef& c) {
  if (!isNameTok()) syntaxAt("expected a data type for field '" + c.name + "'");
  c.typeName = cur().text;
  advance();
  std::string u = upper(c.typeName);
  // two-word spellings
  if ((u == "BINARY" || u == "CHARACTER" || u == "CHAR") && isWord("VARYING")) {
    advance();
    u += " VARYING";
    if (u == "CHARACTER VARYING" || u == "CHAR VARYING") u = "VARCHAR";
  }
  if (u == "DOUBLE" && acceptWord("PRECISION")) u = "DOUBLE";
  if (!ddlType(u, c)) throw jet::Error(jet::err::kSyntax, "Syntax error in field definition: unknown type '" + c.typeName + "'.");
  if (acceptOp("(")) {
    if (cur().kind != Tok::Number) syntaxAt("expected a size");
    c.size = std::atoi(cur().text.c_str());
    advance();
    if (acceptOp(",")) {
      if (cur().kind != Tok::Number) syntaxAt("expected a scale");
      c.scale = std::atoi(cur().text.c_str());
      advance();
    }
    expectOp(")");
  }
  // A multi-value field of the type just read (.accdb files only).
  if (acceptWord("MULTIVALUE")) {
    if (c.type == jet::DataType::Complex || c.autoNumber)
      syntaxAt("MULTIVALUE cannot follow " + c.typeName);
    c.multiValue = true;
  }
}

ColumnDef Parser::columnDef() {
  ColumnDef c;
  c.name = name();
  columnType(c);
  return c;
}

void Parser::create(Query& q) {
  advance();
  q.kind = StatementKind::DataDefinition;
  ActionStmt& a = *q.action;
  bool unique = acceptWord("UNIQUE");
  if (!unique && acceptWord("TABLE")) {
    a.ddl = DdlKind::CreateTable;
    a.table = name();
    expectOp("(");
    do {
      if (acceptWord("CONSTRAINT")) {
        std::string cname = name();
        if (atForeignKey()) {
          a.foreignKeys.push_back(foreignKey(cname, {}));
          continue;
        }
        IndexDef d = constraint(cname);
        d.columns = indexColumns(false);
        a.indexes.push_back(d);
        continue;
      }
      ColumnDef c = columnDef();
      for (;;) {
        if (isWord("NOT") && isWordAt(1, "NULL")) {
          advance();
          advance();
          c.notNull = true;
        } else if (acceptWord("NULL")) {
        } else if (isWord("CONSTRAINT") || isWord("PRIMARY") || isWord("UNIQUE") || isWord("REFERENCES")) {
          std::string cname;
          if (acceptWord("CONSTRAINT")) cname = name();
          if (isWord("REFERENCES")) {
            a.foreignKeys.push_back(foreignKey(cname, {c.name}));
            continue;
          }
          IndexDef d = constraint(cname);
          d.columns = {{c.name, true}};
          a.indexes.push_back(d);
        } else if (isWord("DEFAULT") || isWord("WITH")) {
          throw jet::Error(jet::err::kNotSupported, "Field options of the kind '" + cur().text + "' are not supported.");
        } else {
          break;
        }
      }
      a.newColumns.push_back(c);
    } while (acceptOp(","));
    expectOp(")");
    return;
  }
  expectWord("INDEX");
  a.ddl = DdlKind::CreateIndex;
  IndexDef d;
  d.unique = unique;
  d.name = name();
  expectWord("ON");
  a.table = name();
  d.columns = indexColumns(true);
  if (acceptWord("WITH")) {
    do {
      if (acceptWord("PRIMARY")) d.primary = true;
      else if (isWord("DISALLOW")) { advance(); expectWord("NULL"); d.disallowNull = true; }
      else if (isWord("IGNORE")) { advance(); expectWord("NULL"); d.ignoreNull = true; }
      else syntaxAt("expected PRIMARY, DISALLOW NULL or IGNORE NULL");
    } while (!isOp(";") && cur().kind != Tok::End);
  }
  a.indexes.push_back(d);
}

void Parser::drop(Query& q) {
  advance();
  q.kind = StatementKind::DataDefinition;
  ActionStmt& a = *q.action;
  if (acceptWord("TABLE")) {
    a.ddl = DdlKind::DropTable;
    a.table = name();
    return;
  }
  expectWord("INDEX");
  a.ddl = DdlKind::DropIndex;
  a.name = name();
  expectWord("ON");
  a.table = name();
}

void Parser::alter(Query& q) {
  advance();
  q.kind = StatementKind::DataDefinition;
  ActionStmt& a = *q.action;
  expectWord("TABLE");
  a.table = name();
  if (acceptWord("ADD")) {
    if (acceptWord("CONSTRAINT")) {
      a.ddl = DdlKind::AddConstraint;
      std::string cname = name();
      if (atForeignKey()) {
        a.foreignKeys.push_back(foreignKey(cname, {}));
        return;
      }
      IndexDef d = constraint(cname);
      d.columns = indexColumns(false);
      a.indexes.push_back(d);
      return;
    }
    acceptWord("COLUMN");
    a.ddl = DdlKind::AddColumn;
    ColumnDef c = columnDef();
    if (isWord("NOT") && isWordAt(1, "NULL")) {
      advance();
      advance();
      c.notNull = true;
    }
    if (isWord("CONSTRAINT") || isWord("PRIMARY") || isWord("UNIQUE")) {
      std::string cname;
      if (acceptWord("CONSTRAINT")) cname = name();
      IndexDef d = constraint(cname);
      d.columns = {{c.name, true}};
      a.indexes.push_back(d);
    }
    a.newColumns.push_back(c);
    return;
  }
  if (acceptWord("DROP")) {
    if (acceptWord("CONSTRAINT")) {
      a.ddl = DdlKind::DropConstraint;
      a.name = name();
      return;
    }
    acceptWord("COLUMN");
    a.ddl = DdlKind::DropColumn;
    a.name = name();
    return;
  }
  if (isWord("ALTER")) throw jet::Error(jet::err::kNotSupported, "ALTER TABLE ... ALTER COLUMN is not supported.");
  syntaxAt("expected ADD or DROP");
}

}  // namespace sql::detail
