// Relationships with referential integrity on a database created by the
// engine, with relationships written by the engine: refusals (3200 deleting
// or re-keying a used key, 3201 a foreign key without its record), Null
// foreign keys, cascade update / delete / to-Null over two levels and round
// a cycle, found through an index or by a scan. After every write the
// integrity check passes and mdbtools reads the rows; a refusal leaves the
// file byte for byte as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/integrity.h"
#include "jet/relationships.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

using jet::DataType;
using jet::Value;
using testsupport::errorOf;

namespace {

jet::ColumnSpec longCol(const std::string& n) { return jet::columnSpec(n, DataType::Long); }

void addRel(jet::Database& db, const std::string& name, const std::string& child, std::vector<std::string> cols,
            const std::string& parent, std::vector<std::string> refCols, int32_t flags) {
  jet::Relationship r;
  r.name = name;
  r.table = child;
  r.columns = std::move(cols);
  r.refTable = parent;
  r.refColumns = std::move(refCols);
  r.flags = flags;
  jet::addRelationship(db, r);
}

// Customers 1..3; Orders 10 (cust 1), 11 (cust 1), 12 (cust 2), 13 (no
// customer); Lines (order, line) under orders 10, 11 and 12; Notes on lines
// of order 10. Customers-Orders refuses; Orders-Lines and Lines-Notes
// cascade updates and deletes. Notes has no index: its rows are found by a
// scan, the others through their keys.
struct Shop {
  std::string path;
  std::unique_ptr<jet::Database> db;

  Shop() {
    path = testsupport::tempDir() + "/shop.mdb";
    jet::createDatabase(path);
    db = jet::Database::open(path);
    jet::createTable(*db, {"Customers", {longCol("CustID"), jet::columnSpec("Name", DataType::Text, 20)},
                           {jet::primaryKeySpec("CustID")}});
    jet::createTable(*db, {"Orders", {longCol("OrderID"), longCol("CustID")},
                           {jet::primaryKeySpec("OrderID"), jet::indexSpec("CustID", {{"CustID", true}})}});
    jet::createTable(*db, {"Lines", {longCol("OrderID"), longCol("LineNo"), longCol("Qty")},
                           {jet::indexSpec("PrimaryKey", {{"OrderID", true}, {"LineNo", true}}, true, true)}});
    jet::createTable(*db, {"Notes", {longCol("OrderID"), longCol("LineNo"), jet::columnSpec("Text", DataType::Text)},
                           {}});
    {
      jet::TableWriter c(*db, "Customers"), o(*db, "Orders"), l(*db, "Lines"), n(*db, "Notes");
      for (int i = 1; i <= 3; ++i) c.insert({Value::longInt(i), Value::text("C" + std::to_string(i))});
      o.insert({Value::longInt(10), Value::longInt(1)});
      o.insert({Value::longInt(11), Value::longInt(1)});
      o.insert({Value::longInt(12), Value::longInt(2)});
      o.insert({Value::longInt(13), Value()});
      for (int ord : {10, 11, 12})
        for (int ln = 1; ln <= 2; ++ln) l.insert({Value::longInt(ord), Value::longInt(ln), Value::longInt(ord + ln)});
      n.insert({Value::longInt(10), Value::longInt(1), Value::text("first")});
      n.insert({Value::longInt(10), Value::longInt(2), Value::text("second")});
    }
    addRel(*db, "CustomersOrders", "Orders", {"CustID"}, "Customers", {"CustID"}, 0);
    addRel(*db, "OrdersLines", "Lines", {"OrderID"}, "Orders", {"OrderID"},
           jet::relflag::kCascadeUpdate | jet::relflag::kCascadeDelete);
    addRel(*db, "LinesNotes", "Notes", {"OrderID", "LineNo"}, "Lines", {"OrderID", "LineNo"},
           jet::relflag::kCascadeUpdate | jet::relflag::kCascadeDelete);
  }

  jet::RowId find(const std::string& table, int col, int value) {
    auto s = db->scan(table);
    while (s->next())
      if (!s->value(col).isNull() && s->value(col).asInt() == value) return s->rowId();
    ADD_FAILURE() << "no row " << value << " in " << table;
    return {};
  }

  // The table's rows as "a|b|c" (Null as N), sorted.
  std::vector<std::string> rows(const std::string& table) {
    std::vector<std::string> out;
    auto s = db->scan(table);
    while (s->next()) {
      std::string line;
      for (const auto& v : s->values()) line += (line.empty() ? "" : "|") + (v.isNull() ? "N" : v.display());
      out.push_back(line);
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  void expectSound() {
    auto r = jet::checkDatabase(*db);
    for (const auto& p : r.problems) ADD_FAILURE() << p;
  }

  // Closes the database and returns the file's bytes.
  std::string closedBytes() {
    db.reset();
    std::string b = testsupport::readFile(path);
    db = jet::Database::open(path);
    return b;
  }

  // mdbtools' row count of a table (-1 when mdbtools is not installed).
  int mdbRows(const std::string& table) {
    if (!testsupport::haveCommand("mdb-export")) return -1;
    std::string out;
    testsupport::run("mdb-export -H '" + path + "' " + table, &out);
    return static_cast<int>(std::count(out.begin(), out.end(), '\n'));
  }
};

using Rows = std::vector<std::string>;

}  // namespace

TEST(Relationships, WrittenByTheEngineAreReadBackInColumnOrder) {
  Shop s;
  auto rels = jet::readRelationships(*s.db);
  ASSERT_EQ(rels.size(), 3u);
  EXPECT_EQ(rels[2].name, "LinesNotes");
  EXPECT_EQ(rels[2].columns, (std::vector<std::string>{"OrderID", "LineNo"}));
  EXPECT_EQ(rels[2].refTable, "Lines");
  EXPECT_TRUE(rels[1].cascadeDeletes() && rels[1].cascadeUpdates() && rels[1].enforced());
  EXPECT_FALSE(rels[0].cascadeDeletes() || rels[0].cascadeUpdates());
  EXPECT_TRUE(jet::takesPartInRelationship(*s.db, "notes"));
  s.expectSound();
  // what the relationship table says is what another reader finds
  if (testsupport::haveCommand("mdb-export")) {
    EXPECT_EQ(s.mdbRows("MSysRelationships"), 4);
  }
}

TEST(Relationships, AddingOneChecksNamesKeysAndTheRowsAlreadyThere) {
  Shop s;
  const std::string before = s.closedBytes();
  auto add = [&](const std::string& name, const std::string& child, std::vector<std::string> cols,
                 const std::string& parent, std::vector<std::string> ref) {
    return errorOf([&] { addRel(*s.db, name, child, cols, parent, ref, 0); });
  };
  EXPECT_EQ(add("CustomersOrders", "Orders", {"CustID"}, "Customers", {"CustID"}), jet::err::kObjectExists);
  EXPECT_EQ(add("X", "Nope", {"CustID"}, "Customers", {"CustID"}), jet::err::kNoSuchObject);
  EXPECT_EQ(add("X", "Orders", {"Nope"}, "Customers", {"CustID"}), jet::err::kItemNotFound);
  EXPECT_EQ(add("X", "Orders", {"CustID", "OrderID"}, "Customers", {"CustID"}), jet::err::kNotSupported);
  // Customers.Name has no unique index
  EXPECT_EQ(add("X", "Orders", {"CustID"}, "Customers", {"Name"}), jet::err::kNoUniqueIndex);
  // Lines.Qty holds values no order has
  EXPECT_EQ(add("X", "Lines", {"Qty"}, "Orders", {"OrderID"}), jet::err::kRelatedRecordRequired);
  EXPECT_EQ(s.closedBytes(), before);
}

TEST(Integrity, UsedKeysCannotBeDeletedOrChangedAndTheFileStaysAsItWas) {
  Shop s;
  const std::string before = s.closedBytes();
  {
    jet::IntegrityWriter c(*s.db, "Customers");
    jet::RowId ann = s.find("Customers", 0, 1);
    EXPECT_EQ(errorOf([&] { c.remove(ann); }), jet::err::kRelatedRecords);
    EXPECT_EQ(errorOf([&] { c.update(ann, {Value::longInt(7), Value::text("C1")}); }), jet::err::kRelatedRecords);
    // inside a caller's change the refusal ends the whole change
    EXPECT_EQ(errorOf([&] {
                jet::ChangeScope change(*s.db);
                c.remove(s.find("Customers", 0, 3));  // no orders: allowed
                c.remove(ann);
                change.commit();
              }),
              jet::err::kRelatedRecords);
  }
  EXPECT_EQ(s.closedBytes(), before);
  EXPECT_EQ(s.rows("Customers"), (Rows{"1|C1", "2|C2", "3|C3"}));
  {
    // a change that leaves the key as it was, and a customer nobody uses
    jet::IntegrityWriter c(*s.db, "Customers");
    c.update(s.find("Customers", 0, 1), {Value::longInt(1), Value::text("Ann")});
    c.remove(s.find("Customers", 0, 3));
    c.update(s.find("Customers", 0, 2), {Value::longInt(2), Value::text("Bob")});
  }
  EXPECT_EQ(s.rows("Customers"), (Rows{"1|Ann", "2|Bob"}));
  s.expectSound();
  if (s.mdbRows("Customers") >= 0) {
    EXPECT_EQ(s.mdbRows("Customers"), 2);
  }
}

TEST(Integrity, ForeignKeysNeedTheirRecordUnlessTheyHoldANull) {
  Shop s;
  const std::string before = s.closedBytes();
  {
    jet::IntegrityWriter o(*s.db, "Orders");
    EXPECT_EQ(errorOf([&] { o.insert({Value::longInt(20), Value::longInt(9)}); }), jet::err::kRelatedRecordRequired);
    EXPECT_EQ(errorOf([&] { o.update(s.find("Orders", 0, 12), {Value::longInt(12), Value::longInt(9)}); }),
              jet::err::kRelatedRecordRequired);
    // the value is converted to the field's type first: "9" is still 9
    EXPECT_EQ(errorOf([&] { o.insert({Value::longInt(21), Value::text("9")}); }), jet::err::kRelatedRecordRequired);
    // the multi-field key of Notes: one field matching is not enough
    jet::IntegrityWriter n(*s.db, "Notes");
    EXPECT_EQ(errorOf([&] { n.insert({Value::longInt(10), Value::longInt(3), Value::text("x")}); }),
              jet::err::kRelatedRecordRequired);
  }
  EXPECT_EQ(s.closedBytes(), before);
  {
    jet::IntegrityWriter o(*s.db, "Orders");
    o.insert({Value::longInt(20), Value::longInt(3)});
    o.insert({Value::longInt(21), Value()});  // Null: not checked
    o.insert({Value::longInt(22), Value::text("2")});
    o.update(s.find("Orders", 0, 13), {Value::longInt(13), Value::longInt(2)});
    // a foreign key that stays as it was is not checked again, a Null one never
    o.update(s.find("Orders", 0, 12), {Value::longInt(12), Value()});
    jet::IntegrityWriter n(*s.db, "Notes");
    n.insert({Value::longInt(12), Value(), Value::text("half a key")});
    n.insert({Value::longInt(11), Value::longInt(2), Value::text("ok")});
  }
  EXPECT_EQ(s.rows("Orders"), (Rows{"10|1", "11|1", "12|N", "13|2", "20|3", "21|N", "22|2"}));
  s.expectSound();
  if (s.mdbRows("Orders") >= 0) {
    EXPECT_EQ(s.mdbRows("Orders"), 7);
  }
}

TEST(Integrity, DeletesCascadeTwoLevelsDownIncludingTheScannedTable) {
  Shop s;
  {
    jet::IntegrityWriter o(*s.db, "Orders");
    o.remove(s.find("Orders", 0, 10));
  }
  EXPECT_EQ(s.rows("Lines"), (Rows{"11|1|12", "11|2|13", "12|1|13", "12|2|14"}));
  EXPECT_TRUE(s.rows("Notes").empty());
  s.expectSound();
  if (s.mdbRows("Lines") >= 0) {
    EXPECT_EQ(s.mdbRows("Lines"), 4);
    EXPECT_EQ(s.mdbRows("Notes"), 0);
    EXPECT_EQ(s.mdbRows("Orders"), 3);
  }
  // a cascade that ends at a refusing relationship refuses it all
  jet::createTable(*s.db, {"Stamps", {longCol("OrderID"), longCol("LineNo")}, {}});
  jet::TableWriter(*s.db, "Stamps").insert({Value::longInt(11), Value::longInt(1)});
  addRel(*s.db, "LinesStamps", "Stamps", {"OrderID", "LineNo"}, "Lines", {"OrderID", "LineNo"}, 0);
  const std::string before = s.closedBytes();
  {
    jet::IntegrityWriter o(*s.db, "Orders");
    EXPECT_EQ(errorOf([&] { o.remove(s.find("Orders", 0, 11)); }), jet::err::kRelatedRecords);
  }
  EXPECT_EQ(s.closedBytes(), before);
}

TEST(Integrity, KeyChangesCascadeTwoLevelsDown) {
  Shop s;
  {
    jet::IntegrityWriter o(*s.db, "Orders");
    o.update(s.find("Orders", 0, 10), {Value::longInt(50), Value::longInt(1)});
    // a key change one level down carries on to Notes
    jet::IntegrityWriter l(*s.db, "Lines");
    jet::RowId line;
    for (auto sc = s.db->scan("Lines"); sc->next();)
      if (sc->value(0).asInt() == 50 && sc->value(1).asInt() == 2) line = sc->rowId();
    l.update(line, {Value::longInt(50), Value::longInt(7), Value::longInt(12)});
  }
  EXPECT_EQ(s.rows("Orders"), (Rows{"11|1", "12|2", "13|N", "50|1"}));
  EXPECT_EQ(s.rows("Lines"), (Rows{"11|1|12", "11|2|13", "12|1|13", "12|2|14", "50|1|11", "50|7|12"}));
  EXPECT_EQ(s.rows("Notes"), (Rows{"50|1|first", "50|7|second"}));
  s.expectSound();
  if (s.mdbRows("Notes") >= 0) {
    std::string out;
    testsupport::run("mdb-export -H '" + s.path + "' Notes", &out);
    EXPECT_NE(out.find("50,7,\"second\""), std::string::npos) << out;
  }
}

TEST(Integrity, SelfReferenceCascadesEndRoundACycleAndCascadeToNull) {
  auto dir = testsupport::tempDir();
  std::string path = dir + "/staff.mdb";
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"Staff", {longCol("ID"), longCol("Boss")},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("Boss", {{"Boss", true}})}});
  jet::createTable(*db, {"Desks", {longCol("DeskNo"), longCol("ID")}, {jet::primaryKeySpec("DeskNo")}});
  {
    jet::TableWriter w(*db, "Staff");
    // 1 <- 2 <- 3, and 4 <-> 5 each other's boss, 6 its own
    w.insert({Value::longInt(1), Value()});
    w.insert({Value::longInt(2), Value::longInt(1)});
    w.insert({Value::longInt(3), Value::longInt(2)});
    w.insert({Value::longInt(4), Value::longInt(5)});
    w.insert({Value::longInt(5), Value::longInt(4)});
    w.insert({Value::longInt(6), Value::longInt(6)});
    jet::TableWriter d(*db, "Desks");
    for (int i = 2; i <= 5; ++i) d.insert({Value::longInt(100 + i), Value::longInt(i)});
  }
  addRel(*db, "StaffStaff", "Staff", {"Boss"}, "Staff", {"ID"},
         jet::relflag::kCascadeDelete | jet::relflag::kCascadeUpdate);
  addRel(*db, "StaffDesks", "Desks", {"ID"}, "Staff", {"ID"}, jet::relflag::kCascadeNull);
  auto ids = [&](const std::string& t, int col) {
    std::vector<std::string> out;
    auto s = db->scan(t);
    while (s->next()) out.push_back(s->value(col).isNull() ? "N" : s->value(col).display());
    std::sort(out.begin(), out.end());
    return out;
  };
  auto rowOf = [&](int id) {
    auto s = db->scan("Staff");
    while (s->next())
      if (s->value(0).asInt() == id) return s->rowId();
    return jet::RowId{};
  };
  jet::IntegrityWriter w(*db, "Staff");
  // a new boss number follows down to the staff, and to a row that is its own boss
  w.update(rowOf(6), {Value::longInt(60), Value::longInt(6)});
  w.update(rowOf(1), {Value::longInt(10), Value()});
  EXPECT_EQ(ids("Staff", 1), (Rows{"10", "2", "4", "5", "60", "N"}));
  // desk 102 uses 2 and that relationship carries no key changes: all of it
  // is refused, also the part already carried to 3's boss
  EXPECT_EQ(errorOf([&] { w.update(rowOf(2), {Value::longInt(20), Value::longInt(10)}); }), jet::err::kRelatedRecords);
  EXPECT_EQ(ids("Staff", 1), (Rows{"10", "2", "4", "5", "60", "N"}));
  // deleting 10 takes 2 and 3; deleting 4 takes 5 and stops; their desks lose the owner
  w.remove(rowOf(10));
  w.remove(rowOf(4));
  EXPECT_EQ(ids("Staff", 0), (Rows{"60"}));
  EXPECT_EQ(ids("Desks", 1), (Rows{"N", "N", "N", "N"}));
  auto r = jet::checkDatabase(*db);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}

TEST(Integrity, TextKeysMatchAsTheirIndexComparesThem) {
  std::string path = testsupport::tempDir() + "/text.mdb";
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::createTable(*db, {"Shops", {jet::columnSpec("Code", DataType::Text, 5)}, {jet::primaryKeySpec("Code")}});
  jet::createTable(*db, {"Sales", {longCol("N"), jet::columnSpec("Code", DataType::Text, 5)},
                         {jet::indexSpec("Code", {{"Code", true}})}});
  jet::TableWriter(*db, "Shops").insert({Value::text("ALFKI")});
  jet::TableWriter(*db, "Shops").insert({Value::text("AB")});
  addRel(*db, "ShopsSales", "Sales", {"Code"}, "Shops", {"Code"}, jet::relflag::kCascadeUpdate);
  jet::IntegrityWriter sales(*db, "Sales");
  sales.insert({Value::longInt(1), Value::text("alfki")});
  sales.insert({Value::longInt(2), Value::text("ab")});
  // a key that starts another key is not that key
  EXPECT_EQ(errorOf([&] { sales.insert({Value::longInt(3), Value::text("ALF")}); }), jet::err::kRelatedRecordRequired);
  EXPECT_EQ(errorOf([&] { sales.insert({Value::longInt(3), Value::text("ABC")}); }), jet::err::kRelatedRecordRequired);
  jet::IntegrityWriter shops(*db, "Shops");
  jet::RowId ab;
  for (auto s = db->scan("Shops"); s->next();)
    if (s->value(0).bytes() == "AB") ab = s->rowId();
  // only the case changes: the key is the same, nothing cascades
  shops.update(ab, {Value::text("ab")});
  EXPECT_EQ(errorOf([&] { shops.remove(ab); }), jet::err::kRelatedRecords);
  shops.update(ab, {Value::text("XY")});
  std::vector<std::string> codes;
  for (auto s = db->scan("Sales"); s->next();) codes.push_back(s->value(1).bytes());
  std::sort(codes.begin(), codes.end());
  EXPECT_EQ(codes, (std::vector<std::string>{"XY", "alfki"}));
  auto r = jet::checkDatabase(*db);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}

TEST(Integrity, LongChainsCascadeToTheEnd) {
  auto db = jet::createMemoryDatabase();
  jet::createTable(*db, {"Chain", {longCol("ID"), longCol("Prev")},
                         {jet::primaryKeySpec("ID"), jet::indexSpec("Prev", {{"Prev", true}})}});
  {
    jet::TableWriter w(*db, "Chain");
    w.insert({Value::longInt(1), Value()});
    for (int i = 2; i <= 300; ++i) w.insert({Value::longInt(i), Value::longInt(i - 1)});
  }
  addRel(*db, "ChainChain", "Chain", {"Prev"}, "Chain", {"ID"}, jet::relflag::kCascadeDelete);
  jet::IntegrityWriter w(*db, "Chain");
  auto s = db->scan("Chain");
  ASSERT_TRUE(s->next());
  ASSERT_EQ(s->value(0).asInt(), 1);
  w.remove(s->rowId());
  EXPECT_FALSE(db->scan("Chain")->next());
  EXPECT_EQ(db->table("Chain")->rowCount, 0u);
  auto r = jet::checkDatabase(*db);
  for (const auto& p : r.problems) ADD_FAILURE() << p;
}
