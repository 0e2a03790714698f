// CREATE TABLE with attachment and multi-value fields: ATTACHMENT and
// "<type> MULTIVALUE" make the fields in .accdb files (the layout itself is
// tested in tests/jet), SELECT shows their (empty) contents, DROP TABLE takes
// their hidden tables along, and wrong uses fail with their numbers.
#include <gtest/gtest.h>

#include <string>

#include "jet/check.h"
#include "jet/complex.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "sql/action.h"
#include "sql/engine.h"

using jet::Version;

namespace {

int errorOf(jet::Database& db, const std::string& stmt) {
  try {
    sql::runAction(db, stmt);
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

size_t hiddenTables(jet::Database& db) {
  size_t n = 0;
  for (const auto& e : db.objects())
    if (e.name.rfind("f_", 0) == 0) ++n;
  return n;
}

TEST(ComplexDdl, CreateTableMakesAttachmentAndMultiValueFields) {
  auto db = jet::createMemoryDatabase(Version::Ace14);
  sql::runAction(*db,
                 "CREATE TABLE Docs (ID COUNTER PRIMARY KEY, Title TEXT(40), Files ATTACHMENT, "
                 "Tags TEXT(20) MULTIVALUE, Scores DOUBLE MULTIVALUE, Flags BYTE MULTIVALUE)");
  auto def = db->table("Docs");
  jet::ComplexReader reader(*db, def);
  EXPECT_EQ(jet::ComplexKind::Attachment, reader.kind(2));
  for (size_t i : {3u, 4u, 5u}) EXPECT_EQ(jet::ComplexKind::MultiValue, reader.kind(i));
  EXPECT_EQ(40, reader.valueColumn(3).length);  // 20 characters
  EXPECT_EQ(jet::DataType::Double, reader.valueColumn(4).type);
  EXPECT_EQ(jet::DataType::Byte, reader.valueColumn(5).type);
  EXPECT_EQ(4u, hiddenTables(*db));
  sql::runAction(*db, "INSERT INTO Docs (Title) VALUES ('it''s a \"title\"')");
  EXPECT_EQ(1, sql::runAction(*db, "UPDATE Docs SET Title = 'x' WHERE ID = 1"));
  std::string text = sql::runToText(*db, "SELECT Title FROM Docs");
  EXPECT_NE(std::string::npos, text.find("x")) << text;
  EXPECT_TRUE(jet::checkDatabase(*db, true).problems.empty());
  // Names of 64 bytes: the hidden tables' and fields' names are cut on whole
  // characters to fit.
  std::string wide;
  for (int i = 0; i < 32; ++i) wide += "\xC3\xA4";
  sql::runAction(*db, "CREATE TABLE [" + wide + "] ([" + wide + "] TEXT(10) MULTIVALUE, [it's] ATTACHMENT)");
  sql::runAction(*db, "INSERT INTO [" + wide + "] ([it's]) VALUES (NULL)");
  for (const auto& e : db->objects()) EXPECT_LE(e.name.size(), 64u) << e.name;
  EXPECT_EQ(6u, hiddenTables(*db));
  sql::runAction(*db, "DROP TABLE [" + wide + "]");
  sql::runAction(*db, "DROP TABLE Docs");
  EXPECT_EQ(0u, hiddenTables(*db));
  EXPECT_TRUE(jet::checkDatabase(*db, true).problems.empty());
}

TEST(ComplexDdl, WrongUsesFailWithTheirNumbers) {
  auto mdb = jet::createMemoryDatabase(Version::Jet4);
  EXPECT_EQ(jet::err::kInvalidFieldType, errorOf(*mdb, "CREATE TABLE T (A ATTACHMENT)"));
  EXPECT_EQ(jet::err::kInvalidFieldType, errorOf(*mdb, "CREATE TABLE T (A LONG MULTIVALUE)"));
  EXPECT_EQ(nullptr, mdb->find("T"));
  auto db = jet::createMemoryDatabase(Version::Ace12);
  EXPECT_EQ(jet::err::kInvalidFieldType, errorOf(*db, "CREATE TABLE T (A CURRENCY MULTIVALUE)"));
  EXPECT_EQ(jet::err::kInvalidFieldType, errorOf(*db, "CREATE TABLE T (A MEMO MULTIVALUE)"));
  EXPECT_EQ(jet::err::kSyntax, errorOf(*db, "CREATE TABLE T (A ATTACHMENT MULTIVALUE)"));
  EXPECT_EQ(jet::err::kSyntax, errorOf(*db, "CREATE TABLE T (A COUNTER MULTIVALUE)"));
  EXPECT_EQ(jet::err::kNotSupported, errorOf(*db, "CREATE TABLE T (A ATTACHMENT NOT NULL)"));
  EXPECT_EQ(jet::err::kNotSupported, errorOf(*db, "CREATE TABLE T (A TEXT(5) MULTIVALUE PRIMARY KEY)"));
  EXPECT_EQ(jet::err::kFieldTooSmall, errorOf(*db, "CREATE TABLE T (A TEXT(300) MULTIVALUE)"));
  EXPECT_EQ(nullptr, db->find("T"));
  EXPECT_EQ(0u, hiddenTables(*db));
  sql::runAction(*db, "CREATE TABLE T (ID LONG, A ATTACHMENT)");
  EXPECT_EQ(jet::err::kNotSupported, errorOf(*db, "ALTER TABLE T ADD COLUMN B LONG"));
  EXPECT_EQ(jet::err::kNotSupported, errorOf(*db, "ALTER TABLE T ADD COLUMN B ATTACHMENT"));
  EXPECT_EQ(1u, hiddenTables(*db));
  EXPECT_TRUE(jet::checkDatabase(*db, true).problems.empty());
}

}  // namespace
