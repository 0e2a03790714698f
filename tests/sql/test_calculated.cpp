// Calculated columns on write (calcFieldTestV2010.accdb: text, Long,
// Currency, Boolean, Memo, Decimal and Single results): INSERT and UPDATE
// compute every calculated column from the stored row, the stored value is
// what the expression gives, mdbtools reads the rows as it reads the
// product's own, and a change whose expression cannot be computed is refused
// with nothing stored.
#include <gtest/gtest.h>

#include <sstream>

#include "jet/calculated.h"
#include "jet/check.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/table_writer.h"
#include "sql/action.h"
#include "sql/calculated.h"
#include "sql/engine.h"
#include "support/test_support.h"

namespace {

const char* kFile = "ace/calcFieldTestV2010.accdb";

// Every row of Table1 by ID.
std::map<int64_t, std::vector<jet::Value>> rowsById(jet::Database& db) {
  std::map<int64_t, std::vector<jet::Value>> out;
  auto scan = db.scan("Table1");
  while (scan->next()) out[scan->value(0).asInt()] = scan->values();
  return out;
}

// What each calculated column's expression gives for row (the other
// calculated columns as stored), converted to the column's result type.
void expectStoredAsComputed(jet::Database& db, const std::vector<jet::Value>& row) {
  auto def = db.table("Table1");
  for (size_t i = 0; i < def->columns.size(); ++i) {
    const jet::Column& c = def->columns[i];
    if (!c.calculated()) continue;
    sql::Params params;
    for (size_t k = 0; k < def->columns.size(); ++k) params[def->columns[k].name] = row[k];
    jet::Value expected = jet::coerceCalculated(db.format(), c, sql::evaluate(c.calcExpression, params));
    EXPECT_TRUE(row[i] == expected) << c.name << ": stored " << row[i].display() << ", computed "
                                    << expected.display();
    EXPECT_EQ(row[i].type(), expected.type()) << c.name;
  }
}

// mdb-export's cells of every row (tab-separated, no quotes).
std::vector<std::vector<std::string>> mdbRows(const std::string& file) {
  std::string out;
  EXPECT_EQ(testsupport::run("mdb-export -H -Q -d '\\t' '" + file + "' Table1 2>/dev/null", &out), 0);
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::istringstream l(line);
    std::string cell;
    while (std::getline(l, cell, '\t')) cells.push_back(cell);
    rows.push_back(cells);
  }
  return rows;
}

}  // namespace

TEST(CalculatedColumns, InsertAndUpdateStoreWhatTheExpressionsGive) {
  SKIP_WITHOUT_SHARED();
  const std::string file = testsupport::copyToTemp(testsupport::fixture(kFile));
  {
    auto db = jet::Database::open(file);
    EXPECT_EQ(sql::runAction(*db, "INSERT INTO Table1 (FirstName, LastName, City, Salary, Popularity) "
                                  "VALUES ('Ada', 'Lovelace', 'London', 240000, 12.5)"),
              1);
    EXPECT_EQ(sql::runAction(*db, "UPDATE Table1 SET Salary = 520, LastName = 'Simpsons' WHERE ID = 2"), 1);
    // A change of a column no expression reads computes the same values.
    EXPECT_EQ(sql::runAction(*db, "UPDATE Table1 SET City = 'Shelbyville' WHERE ID = 4"), 1);
  }
  auto db = jet::Database::open(file);
  auto rows = rowsById(*db);
  ASSERT_EQ(rows.size(), 5u);
  auto def = db->table("Table1");
  auto col = [&](const char* name) { return static_cast<size_t>(def->findColumn(name)); };
  const auto& ada = rows.at(5);
  EXPECT_EQ(ada[col("LastFirst")].bytes(), "Lovelace, Ada");
  EXPECT_EQ(ada[col("LastFirstLen")].asInt(), 13);
  EXPECT_EQ(ada[col("MonthlySalary")].display(), jet::Value::currency(200000000).display());
  EXPECT_TRUE(ada[col("IsRich")].asBool());
  EXPECT_EQ(ada[col("AllNames")].type(), jet::DataType::Memo);
  EXPECT_EQ(ada[col("AllNames")].bytes(), "Lovelace, Ada=Lovelace, Ada");
  EXPECT_TRUE(ada[col("BoolTest")].asBool());
  const auto& bart = rows.at(2);
  EXPECT_EQ(bart[col("LastFirst")].bytes(), "Simpsons, Bart");
  EXPECT_EQ(bart[col("LastFirstLen")].asInt(), 14);
  EXPECT_FALSE(bart[col("IsRich")].asBool());
  EXPECT_EQ(bart[col("AllNames")].bytes(), "Simpsons, Bart=Simpsons, Bart");
  for (int64_t id : {2, 4, 5}) {
    SCOPED_TRACE(id);
    expectStoredAsComputed(*db, rows.at(id));
  }
  // The untouched rows keep the product's own values.
  EXPECT_EQ(rows.at(1)[col("WeeklySalary")].display(), "19230.7692307692");
  EXPECT_EQ(rows.at(4)[col("City")].bytes(), "Shelbyville");
  EXPECT_EQ(rows.at(4)[col("LastFirst")].bytes(), "User, Test");
  EXPECT_TRUE(jet::checkDatabase(*db).ok());

  if (!testsupport::haveCommand("mdb-export")) GTEST_SKIP() << "mdbtools is not installed";
  // mdbtools does not decode calculated values, but it reads the rows: the
  // plain cells are ours, and each calculated cell reads as it reads in the
  // product's own rows (the same header, a length of the same type).
  auto theirs = mdbRows(file);
  ASSERT_EQ(theirs.size(), 5u);
  const std::vector<std::string>* product = nullptr;
  const std::vector<std::string>* added = nullptr;
  for (const auto& r : theirs) {
    if (r.at(0) == "1") product = &r;
    if (r.at(0) == "5") added = &r;
  }
  ASSERT_TRUE(product && added);
  EXPECT_EQ(added->at(col("FirstName")), "Ada");
  EXPECT_EQ(added->at(col("LastName")), "Lovelace");
  EXPECT_EQ(added->at(col("City")), "London");
  EXPECT_EQ(added->at(col("Salary")), "240000.0000");
  for (const char* name : {"LastFirstLen", "MonthlySalary", "IsRich", "WeeklySalary", "SalaryTest", "BoolTest",
                           "DecimalTest", "FloatTest", "BigNumTest"})
    EXPECT_EQ(added->at(col(name)), product->at(col(name))) << name;
}

TEST(CalculatedColumns, AChangeThatCannotBeComputedIsRefusedAndNothingIsStored) {
  SKIP_WITHOUT_SHARED();
  const std::string file = testsupport::copyToTemp(testsupport::fixture(kFile));
  const std::string before = testsupport::readFile(file);
  {
    // Without an evaluator the engine cannot compute the columns: 3251.
    auto db = jet::Database::open(file);
    jet::TableWriter w(*db, "Table1");
    auto row = w.valuesByName({{"FirstName", jet::Value::text("No")}, {"Salary", jet::Value::currency(10000)}});
    try {
      w.insert(row);
      ADD_FAILURE() << "stored";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::err::kNotSupported);
      EXPECT_NE(std::string(e.what()).find("LastFirst"), std::string::npos) << e.what();
    }
    auto scan = db->scan("Table1");
    ASSERT_TRUE(scan->next());
    EXPECT_EQ(testsupport::errorOf([&] { w.update(scan->rowId(), scan->values()); }), jet::err::kNotSupported);
  }
  {
    // An evaluator that fails: its error, named, and nothing stored.
    struct Failing : jet::ExpressionEvaluator {
      jet::Value evaluate(const jet::TableDef&, const jet::Column&, const std::vector<jet::Value>&) override {
        throw jet::Error(jet::err::kUndefinedFunction, "Undefined function 'Nope' in expression.");
      }
    };
    auto db = jet::Database::open(file);
    db->setExpressionEvaluator(std::make_shared<Failing>());
    try {
      sql::runAction(*db, "UPDATE Table1 SET Salary = 1 WHERE ID = 1");
      ADD_FAILURE() << "stored";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::err::kUndefinedFunction);
      EXPECT_NE(std::string(e.what()).find("calculated field"), std::string::npos) << e.what();
    }
  }
  EXPECT_TRUE(testsupport::readFile(file) == before);

  // The query engine's evaluator refuses what it does not know.
  auto db = jet::Database::open(file);
  auto def = db->table("Table1");
  jet::TableDef changed = *def;
  auto ev = sql::makeExpressionEvaluator();
  auto row = rowsById(*db).at(1);
  for (const char* expr : {"NoSuchFunction([Salary])", "[NoSuchField] + 1", "[Salary] +"}) {
    for (auto& c : changed.columns)
      if (c.name == "LastFirstLen") c.calcExpression = expr;
    std::vector<jet::Value> r = row;
    EXPECT_NE(testsupport::errorOf([&] { jet::computeCalculated(ev.get(), db->format(), changed, r); }), 0) << expr;
  }
  // A result that does not fit its type is refused too.
  for (auto& c : changed.columns)
    if (c.name == "LastFirstLen") c.calcExpression = "'not a number'";
  std::vector<jet::Value> r = row;
  EXPECT_EQ(testsupport::errorOf([&] { jet::computeCalculated(ev.get(), db->format(), changed, r); }),
            jet::err::kTypeConversion);
}
