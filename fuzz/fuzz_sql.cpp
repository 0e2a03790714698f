// Fuzz target: any text run as a statement of the query language (lexer,
// parser, binder, planner and execution) against a small created database
// with two related tables, a saved query and indexes. Queries are read to
// the end (at most 20,000 rows); action statements change a fresh copy.
// Only jet::Error may come out; anything else (a crash, a sanitizer report,
// a hang) is a bug.
#include <cstddef>
#include <cstdint>
#include <string>

#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/table_writer.h"
#include "sql/action.h"
#include "sql/engine.h"
#include "sql/parser.h"

namespace {

std::unique_ptr<jet::Database> smallDb() {
  using jet::DataType;
  using jet::Value;
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"T",
                         {jet::autoNumberSpec("ID"), jet::columnSpec("Name", DataType::Text, 20),
                          jet::columnSpec("N", DataType::Long), jet::columnSpec("P", DataType::Currency),
                          jet::columnSpec("S", DataType::Single), jet::columnSpec("D", DataType::DateTime),
                          jet::columnSpec("M", DataType::Memo)},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("N", {{"N", true}}),
                          jet::indexSpec("Name", {{"Name", true}}, false, true)}});
  jet::createTable(*db, {"U", {jet::columnSpec("TID", DataType::Long), jet::columnSpec("V", DataType::Text, 10)},
                         {jet::indexSpec("TID", {{"TID", true}})}});
  jet::TableWriter t(*db, "T");
  jet::TableWriter u(*db, "U");
  for (int i = 0; i < 12; ++i) {
    t.insert({Value(), Value::text("n" + std::to_string(i)), i % 4 ? Value::longInt(i * 3) : Value(),
              Value::currency(i * 12345), Value::single(0.05f * static_cast<float>(i)), Value::dateTime(40000 + i),
              Value::memo(std::string(static_cast<size_t>(i) * 50, 'm'))});
    u.insert({Value::longInt(i / 2 + 1), Value::text(i % 3 ? "a" : "B")});
  }
  jet::QuerySpec q;
  q.name = "Q";
  q.tables = {"T"};
  q.selectStar = true;
  q.where = "N > 3";
  jet::createQuery(*db, q);
  return db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  static std::unique_ptr<jet::Database> readDb = smallDb();
  try {
    sql::QueryP q = sql::parseStatement(text);
    if (sql::isAction(*q)) {
      auto db = smallDb();
      sql::runAction(*db, *q, {{"P1", jet::Value::longInt(2)}});
      auto rs = sql::openRecordset(*db, "SELECT * FROM T");
      rs->fetchAll();
    } else {
      (void)sql::describeColumns(*readDb, text);
      auto rs = sql::openRecordset(*readDb, text, {{"P1", jet::Value::longInt(2)}});
      while (!rs->eof() && rs->recordCount() < 20000) rs->moveNext();
    }
  } catch (const jet::Error&) {
  }
  return 0;
}
