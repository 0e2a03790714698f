// The parser's reading of action and data-definition statements: the parts
// each form gives, and the errors malformed ones get.
#include <gtest/gtest.h>

#include "jet/error.h"
#include "sql/parser.h"

using jet::DataType;
using sql::DdlKind;
using sql::StatementKind;

namespace {

int errorOf(const std::string& s) {
  try {
    sql::parseStatement(s);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

}  // namespace

TEST(ParseAction, UpdateDeleteInsert) {
  auto u = sql::parseStatement("UPDATE A INNER JOIN B ON A.x = B.x SET A.y = B.y + 1, [z] = 'q' WHERE B.w > 2;");
  ASSERT_EQ(u->kind, StatementKind::Update);
  ASSERT_EQ(u->action->from.size(), 1u);
  EXPECT_EQ(u->action->from[0]->kind, sql::FromKind::Join);
  ASSERT_EQ(u->action->set.size(), 2u);
  EXPECT_EQ(u->action->set[0].first->parts, (std::vector<std::string>{"A", "y"}));
  EXPECT_EQ(u->action->set[1].first->parts, (std::vector<std::string>{"z"}));
  EXPECT_TRUE(u->action->where != nullptr);

  auto d = sql::parseStatement("DELETE DISTINCTROW T.*, T.a FROM T LEFT JOIN U ON T.k = U.k WHERE U.k Is Null");
  ASSERT_EQ(d->kind, StatementKind::Delete);
  EXPECT_TRUE(d->action->distinctRow);
  ASSERT_EQ(d->action->deleteItems.size(), 2u);
  EXPECT_EQ(d->action->deleteItems[0].expr->kind, sql::ExprKind::Star);

  auto v = sql::parseStatement("INSERT INTO [My T] (a, [b c]) VALUES (1, 'x''y')");
  ASSERT_EQ(v->kind, StatementKind::Insert);
  EXPECT_EQ(v->action->table, "My T");
  EXPECT_EQ(v->action->columns, (std::vector<std::string>{"a", "b c"}));
  EXPECT_EQ(v->action->values.size(), 2u);
  auto s = sql::parseStatement("PARAMETERS p Long; INSERT INTO T SELECT a FROM U WHERE a > p UNION SELECT 1");
  ASSERT_TRUE(s->action->select != nullptr);
  EXPECT_EQ(s->action->select->kind, StatementKind::Union);
  EXPECT_EQ(s->params.size(), 1u);
  // printing an action statement gives its text back
  EXPECT_EQ(sql::toSql(*v), "INSERT INTO [My T] (a, [b c]) VALUES (1, 'x''y')");
}

TEST(ParseAction, DataDefinition) {
  auto t = sql::parseStatement(
      "CREATE TABLE T (ID COUNTER CONSTRAINT pk PRIMARY KEY, N TEXT(20) NOT NULL, S SHORT, L INTEGER, "
      "D DECIMAL(12, 3), B BINARY(8), CONSTRAINT u UNIQUE (N, S))");
  ASSERT_EQ(t->kind, StatementKind::DataDefinition);
  const auto& a = *t->action;
  EXPECT_EQ(a.ddl, DdlKind::CreateTable);
  ASSERT_EQ(a.newColumns.size(), 6u);
  EXPECT_TRUE(a.newColumns[0].autoNumber);
  EXPECT_EQ(a.newColumns[1].type, DataType::Text);
  EXPECT_EQ(a.newColumns[1].size, 20);
  EXPECT_TRUE(a.newColumns[1].notNull);
  EXPECT_EQ(a.newColumns[2].type, DataType::Integer);
  EXPECT_EQ(a.newColumns[3].type, DataType::Long);  // INTEGER is 4 bytes in data definition
  EXPECT_EQ(a.newColumns[4].size, 12);
  EXPECT_EQ(a.newColumns[4].scale, 3);
  ASSERT_EQ(a.indexes.size(), 2u);
  EXPECT_TRUE(a.indexes[0].primary);
  EXPECT_EQ(a.indexes[1].columns.size(), 2u);

  auto i = sql::parseStatement("CREATE UNIQUE INDEX ix ON T (a DESC, b) WITH IGNORE NULL DISALLOW NULL");
  EXPECT_EQ(i->action->ddl, DdlKind::CreateIndex);
  ASSERT_EQ(i->action->indexes.size(), 1u);
  EXPECT_TRUE(i->action->indexes[0].unique);
  EXPECT_TRUE(i->action->indexes[0].ignoreNull);
  EXPECT_TRUE(i->action->indexes[0].disallowNull);
  EXPECT_FALSE(i->action->indexes[0].columns[0].second);

  EXPECT_EQ(sql::parseStatement("DROP TABLE [A B]")->action->ddl, DdlKind::DropTable);
  auto di = sql::parseStatement("DROP INDEX ix ON T");
  EXPECT_EQ(di->action->ddl, DdlKind::DropIndex);
  EXPECT_EQ(di->action->name, "ix");
  EXPECT_EQ(sql::parseStatement("ALTER TABLE T ADD COLUMN c MEMO")->action->ddl, DdlKind::AddColumn);
  EXPECT_EQ(sql::parseStatement("ALTER TABLE T ADD c LONG")->action->ddl, DdlKind::AddColumn);
  EXPECT_EQ(sql::parseStatement("ALTER TABLE T DROP COLUMN c")->action->ddl, DdlKind::DropColumn);
  EXPECT_EQ(sql::parseStatement("ALTER TABLE T ADD CONSTRAINT k PRIMARY KEY (a)")->action->ddl,
            DdlKind::AddConstraint);
  EXPECT_EQ(sql::parseStatement("ALTER TABLE T DROP CONSTRAINT k")->action->ddl, DdlKind::DropConstraint);
  // the terminating NUL of a stored statement
  EXPECT_EQ(sql::parseStatement(std::string("DROP TABLE T;\0", 14))->action->table, "T");
}

TEST(ParseAction, MalformedStatements) {
  EXPECT_EQ(errorOf("UPDATE T"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("UPDATE T SET"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("UPDATE T SET a = 1 b = 2"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("DELETE T"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("INSERT T VALUES (1)"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("INSERT INTO T VALUES (1"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("INSERT INTO T SELECT a INTO X FROM U"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("CREATE TABLE T (a WIDGET)"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("CREATE TABLE T (a TEXT(x))"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("CREATE TABLE T (a LONG, CONSTRAINT c CHECK (a > 0))"), jet::err::kNotSupported);
  EXPECT_EQ(errorOf("CREATE TABLE T (a LONG, CONSTRAINT f FOREIGN KEY (a) REFERENCES U (b) ON UPDATE SET NULL)"),
            jet::err::kSyntax);
  EXPECT_EQ(errorOf("CREATE TABLE T (a LONG, CONSTRAINT f FOREIGN KEY a REFERENCES U (b))"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("CREATE TABLE T (a LONG, CONSTRAINT f FOREIGN KEY (a) REFERENCES U (b))"), 0);
  EXPECT_EQ(errorOf("CREATE INDEX i ON T"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("CREATE INDEX i ON T (a) WITH NOTHING"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("DROP VIEW v"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("ALTER TABLE T ALTER COLUMN a LONG"), jet::err::kNotSupported);
  EXPECT_EQ(errorOf("ALTER TABLE T RENAME a"), jet::err::kSyntax);
  // nesting deep enough to exhaust a stack is refused, not followed
  EXPECT_EQ(errorOf("SELECT " + std::string(100000, '(') + "1" + std::string(100000, ')')), jet::err::kSyntax);
  EXPECT_EQ(errorOf("SELECT " + std::string(100000, '-') + "1"), jet::err::kSyntax);
  EXPECT_EQ(errorOf("SELECT * FROM " + std::string(50000, '(') + "T"), jet::err::kSyntax);
}
