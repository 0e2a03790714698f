// The window's CSV cells are formatted in place (output/shown_csv.h); they
// must be byte for byte the grid's text (dao::displayText). Checked value by
// value on awkward and random numbers and dates, on whole-table CSV of every
// fixture table (in-place form against the display-text form), and through
// the window: a whole table, a filtered and sorted table and a query export
// what the grid shows, row for row.
#include <gtest/gtest.h>

#include <QAbstractItemModel>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QTabBar>
#include <QToolButton>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/menus.h"
#include "app/program.h"
#include "views/field_panels.h"
#include "catalogue/dao.h"
#include "catalogue/recordset.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/table_writer.h"
#include "output/csv_reader.h"
#include "output/csv_writer.h"
#include "output/shown_csv.h"
#include "output/table_csv.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

using jet::DataType;
using jet::Value;

namespace {

std::string fast(const Value& v) {
  std::string s;
  EXPECT_TRUE(output::appendShownCsvValue(s, v));
  return s;
}

std::string slow(const Value& v) { return output::csvQuote(dao::displayText(v)); }

void slowCell(std::string& buf, const Value& v) { output::appendCsvField(buf, dao::displayText(v)); }

void fastCell(std::string& buf, const Value& v) {
  if (!output::appendShownCsvValue(buf, v)) slowCell(buf, v);
}

jet::Decimal decimal(__int128 m, uint8_t scale) {
  jet::Decimal d;
  d.mantissa = m;
  d.scale = scale;
  d.precision = 28;
  return d;
}

// Doubles that have tripped number formatting before: shortest forms,
// exponent edges, subnormals, signed zero, infinities, NaN.
std::vector<double> awkwardDoubles() {
  const double inf = std::numeric_limits<double>::infinity();
  return {0.1, 0.2, 0.3, 1e-300, 1e300, -0.0, 0.0, 1.0 / 3, -2.0 / 3, 1, 2, -7, 42, 1e14, 1e15, 1e16,
          999999999999999.0, 999999999999999.9, 123456789012345.6, 1e-15, 1e-16, 9.99999999999999e-16,
          0.000123, 5e-324, -5e-324, 2.2250738585072014e-308, 1.7976931348623157e308, -1.7976931348623157e308,
          0.5, 0.05, 0.15, 0.25, 2.5, 1e-5, 12.34, 100, 1234567, 3.14159265358979, inf, -inf,
          std::numeric_limits<double>::quiet_NaN(), 9007199254740993.0, 4.35, 0.1 + 0.2};
}

}  // namespace

TEST(ShownCsv, AwkwardNumbersDatesAndMoneyMatchTheGridText) {
  // The grid's text itself for a few, so both forms are held to it.
  EXPECT_EQ(fast(Value::dbl(0.1)), "0.1");
  EXPECT_EQ(fast(Value::dbl(1e300)), "1E+300");
  EXPECT_EQ(fast(Value::dbl(1e-300)), "1E-300");
  EXPECT_EQ(fast(Value::dbl(-0.0)), "0");
  EXPECT_EQ(fast(Value::dbl(1.0 / 3)), "0.333333333333333");
  EXPECT_EQ(fast(Value::dbl(1e15)), "1E+15");
  EXPECT_EQ(fast(Value::dbl(123456789012345.0)), "123456789012345");
  EXPECT_EQ(fast(Value::single(0.1f)), "0.1");
  EXPECT_EQ(fast(Value::currency(-12345600)), "-1234.56");
  EXPECT_EQ(fast(Value::currency(0)), "0");
  EXPECT_EQ(fast(Value::decimal(decimal(-150, 2))), "-1.5");
  EXPECT_EQ(fast(Value::dateTime(44259 + (22 * 3600 + 11 * 60 + 12) / 86400.0)), "3/4/2021 10:11:12 PM");
  EXPECT_EQ(fast(Value::dateTime(0.5)), "12:00:00 PM");
  EXPECT_EQ(fast(Value::dateTime(0)), "12:00:00 AM");
  EXPECT_EQ(fast(Value::dateTime(-1.25)), "12/29/1899 6:00:00 AM");
  EXPECT_EQ(fast(Value::text("a, \"b\"")), "\"a, \"\"b\"\"\"");
  EXPECT_EQ(fast(Value::boolean(true)), "True");
  // Infinities (a damaged or foreign file can hold them) read as words.
  EXPECT_EQ(dao::displayText(Value::dbl(-std::numeric_limits<double>::infinity())), "-Infinity");
  EXPECT_EQ(fast(Value::single(std::numeric_limits<float>::infinity())), "Infinity");

  for (double d : awkwardDoubles()) {
    EXPECT_EQ(fast(Value::dbl(d)), slow(Value::dbl(d))) << d;
    EXPECT_EQ(fast(Value::single(static_cast<float>(d))), slow(Value::single(static_cast<float>(d)))) << d;
    EXPECT_EQ(fast(Value::dateTime(d)), slow(Value::dateTime(d))) << d;
  }
  for (double serial : {-700000.0, -657434.0, -693593.5, -1.0, -0.999, -0.5, 1.0, 1.5, 2.0, 36526.999999,
                        0.9999999, 2958465.99999, 3000000.0, 3000001.0, 1e9, 60.0, 61.0})
    EXPECT_EQ(fast(Value::dateTime(serial)), slow(Value::dateTime(serial))) << serial;
  for (int64_t c : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{10000}, int64_t{-99990},
                    std::numeric_limits<int64_t>::max(), std::numeric_limits<int64_t>::min()})
    EXPECT_EQ(fast(Value::currency(c)), slow(Value::currency(c))) << c;
  const __int128 big = (static_cast<__int128>(1) << 96) - 1;
  for (auto d : {decimal(0, 0), decimal(0, 5), decimal(1200, 0), decimal(1200, 2), decimal(-1, 28), decimal(big, 10),
                 decimal(-big, 0), decimal(5, 3)})
    EXPECT_EQ(fast(Value::decimal(d)), slow(Value::decimal(d)));
  std::array<uint8_t, 16> raw{};
  for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 17);
  EXPECT_EQ(fast(Value::guid(raw)), slow(Value::guid(raw)));
  for (const Value& v : {Value::null(), Value::boolean(false), Value::byte(255), Value::integer(-32768),
                         Value::longInt(-2147483647 - 1), Value::bigInt(-9007199254740992LL), Value::memo(" lead"),
                         Value::text("line\r\nbreak"), Value::text("")})
    EXPECT_EQ(fast(v), slow(v));
  // Binary data and attachments keep their note, made by displayText.
  std::string s;
  EXPECT_FALSE(output::appendShownCsvValue(s, Value::binary("abc")));
  EXPECT_FALSE(output::appendShownCsvValue(s, Value::complex(3)));
  EXPECT_TRUE(s.empty());
}

TEST(ShownCsv, RandomNumbersAndDatesMatchTheGridText) {
  std::mt19937_64 rng(20261207);
  for (int i = 0; i < 200000; ++i) {
    // Any bit pattern, and numbers of the kinds tables hold.
    uint64_t bits = rng();
    double any;
    std::memcpy(&any, &bits, sizeof any);
    const double cents = static_cast<double>(static_cast<int64_t>(rng() % 20000000) - 10000000) / 100.0;
    const double ratio = static_cast<double>(rng() % 1000000 + 1) / static_cast<double>(rng() % 1000 + 1);
    const double serial = static_cast<double>(static_cast<int64_t>(rng() % 3700000) - 700000) +
                          static_cast<double>(rng() % 86400) / 86400.0;
    for (double d : {any, cents, ratio, ratio * 1e-12, ratio * 1e12}) {
      ASSERT_EQ(fast(Value::dbl(d)), slow(Value::dbl(d))) << d;
      ASSERT_EQ(fast(Value::single(static_cast<float>(d))), slow(Value::single(static_cast<float>(d)))) << d;
    }
    ASSERT_EQ(fast(Value::dateTime(serial)), slow(Value::dateTime(serial))) << serial;
    ASSERT_EQ(fast(Value::dateTime(any)), slow(Value::dateTime(any))) << any;
    const int64_t money = static_cast<int64_t>(rng());
    ASSERT_EQ(fast(Value::currency(money)), slow(Value::currency(money)));
    const auto d = decimal(static_cast<__int128>(static_cast<int64_t>(rng())) * 1000, static_cast<uint8_t>(rng() % 29));
    ASSERT_EQ(fast(Value::decimal(d)), slow(Value::decimal(d)));
  }
}

TEST(ShownCsv, EveryFixtureTableWritesTheSameCsvBothWays) {
  SKIP_WITHOUT_SHARED();
  int tables = 0;
  for (const std::string& rel : testsupport::allFixtures()) {
    jet::OpenOptions o;
    o.readOnly = true;
    if (rel.find("with-password") != std::string::npos) o.password = "password";
    std::unique_ptr<jet::Database> db;
    try {
      db = jet::Database::open(testsupport::fixture(rel), o);
    } catch (const jet::Error&) {
      continue;  // files the engine refuses are tested elsewhere
    }
    for (const jet::CatalogEntry* e : db->tables(false)) {
      if (e->kind != jet::ObjectKind::Table) continue;
      std::ostringstream a, b;
      output::TableCsvOptions fo, so;
      fo.cell = &fastCell;
      so.cell = &slowCell;
      try {
        output::writeTableCsv(*db, e->name, a, fo);
      } catch (const jet::Error&) {
        continue;  // damaged tables are tested elsewhere
      }
      output::writeTableCsv(*db, e->name, b, so);
      EXPECT_EQ(a.str(), b.str()) << rel << " " << e->name;
      ++tables;
    }
  }
  EXPECT_GT(tables, 10);
}

namespace {

// A table "Odd" of awkward values in every numeric and date type, and a
// query over it with a computed column (a read-only result).
void makeOddDatabase(const std::string& path) {
  jet::createDatabase(path);
  auto db = jet::Database::open(path);
  jet::ColumnSpec dec = jet::columnSpec("N", DataType::Decimal);
  dec.precision = 28;
  dec.scale = 6;
  jet::createTable(*db, {"Odd",
                         {jet::columnSpec("ID", DataType::Long), jet::columnSpec("D", DataType::Double),
                          jet::columnSpec("S", DataType::Single), jet::columnSpec("T", DataType::DateTime),
                          jet::columnSpec("C", DataType::Currency), dec, jet::columnSpec("Txt", DataType::Text, 40)},
                         {jet::primaryKeySpec("ID")}});
  jet::TableWriter w(*db, "Odd");
  jet::ChangeScope change(*db);
  std::vector<double> doubles = awkwardDoubles();
  std::erase_if(doubles, [](double d) { return !std::isfinite(d); });
  const std::vector<double> serials = {44259.5,   44259.0,  0.25,    0.0,   -1.25,   -36000.75,
                                       2.0001157, 367.9999, 45000.1, 12.345, 60.0,    2958465.5};
  std::mt19937 rng(5);
  for (int i = 0; i < 600; ++i) {
    const double d = i < static_cast<int>(doubles.size()) ? doubles[i] : (static_cast<int>(rng() % 200001) - 100000) / 7.0;
    const double t = i < static_cast<int>(serials.size()) ? serials[i] : 30000 + rng() % 20000 + (rng() % 86400) / 86400.0;
    w.insert({Value::longInt(i + 1), i % 17 == 5 ? Value::null() : Value::dbl(d),
              std::fabs(d) < 1e38 ? Value::single(static_cast<float>(d / 3)) : Value::single(0.1f * static_cast<float>(i)),
              i % 13 == 4 ? Value::null() : Value::dateTime(t),
              Value::currency(static_cast<int64_t>(rng() % 2000000) - 1000000),
              Value::decimal(decimal(static_cast<int64_t>(rng() % 20000000) - 10000000, 6)),
              Value::text(i % 3 ? "plain " + std::to_string(i) : "with, \"quotes\" " + std::to_string(i))});
  }
  change.commit();
  jet::QuerySpec q;
  q.name = "Odd Twice";
  q.tables = {"Odd"};
  q.columns = {{"Odd.ID", ""}, {"Odd.T", ""}, {"[D]*2", "Twice"}, {"Odd.S", ""}};
  q.where = "Odd.C > 0";
  q.orderBy = {{"Odd.T", false}, {"Odd.ID", true}};
  jet::createQuery(*db, q);
}

struct OddWindow {
  apptest::ScriptedModal modal;
  std::unique_ptr<app::FrmDatavane> w;
  std::string dir = testsupport::tempDir();
  std::string db = dir + "/odd.mdb";
  OddWindow() {
    apptest::ensureApp();
    makeOddDatabase(db);
    w = apptest::openWindowOn(db, modal);
  }
  // Exports what is chosen; the file's records.
  std::vector<output::CsvRecord> exportRecords(const std::string& name) {
    const std::string out = dir + "/" + name;
    modal.files.push_back(QString::fromStdString(out));
    w->menuBar()->findChild<QAction*>("mnuExport")->trigger();
    EXPECT_FALSE(modal.messages().empty());
    if (!modal.messages().empty()) {
      EXPECT_EQ(modal.messages().back().text, "Save Complete");
    }
    std::istringstream in(testsupport::readFile(out));
    output::CsvReader r(in);
    std::vector<output::CsvRecord> recs;
    output::CsvRecord rec;
    while (r.next(rec)) recs.push_back(rec);
    return recs;
  }
  // The grid's heading and every row's cells as the grid shows them.
  std::vector<std::vector<std::string>> gridRows() {
    QAbstractItemModel* m = w->grdData->model();
    while (m->canFetchMore({})) m->fetchMore({});
    std::vector<std::vector<std::string>> rows(1);
    for (int c = 0; c < m->columnCount(); ++c)
      rows[0].push_back(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString().toStdString());
    for (int r = 0; r < m->rowCount(); ++r) {
      rows.emplace_back();
      for (int c = 0; c < m->columnCount(); ++c) rows.back().push_back(m->index(r, c).data().toString().toStdString());
    }
    return rows;
  }
  void expectGrid(const std::vector<output::CsvRecord>& recs) {
    auto grid = gridRows();
    ASSERT_EQ(recs.size(), grid.size());
    for (size_t i = 0; i < recs.size(); ++i) ASSERT_EQ(recs[i].fields, grid[i]) << "record " << i;
  }
};

}  // namespace

TEST(ShownCsv, WindowExportsOfATableAFilteredSortedTableAndAQueryAreTheGridsRows) {
  OddWindow x;
  int r = apptest::findRow(x.w->grdFiles, "Odd");
  ASSERT_GT(r, 0);
  apptest::click(x.w->grdFiles, r);
  x.w->tab1->setCurrentIndex(1);
  apptest::pump();
  auto whole = x.exportRecords("whole.csv");
  ASSERT_EQ(whole.size(), 601u);
  x.expectGrid(whole);
  // The whole-table file is byte for byte the display-text form.
  {
    std::ostringstream slowCsv;
    output::TableCsvOptions o;
    o.cell = &slowCell;
    output::writeTableCsv(x.w->dta1.database()->engine(), "Odd", slowCsv, o);
    EXPECT_EQ(testsupport::readFile(x.dir + "/whole.csv"), slowCsv.str());
  }

  // Filtered on Currency, sorted on the date then the Double.
  x.w->tab1->setCurrentIndex(3);
  apptest::pump();
  for (auto& row : x.w->fieldRows) {
    if (row.dataField == "C") {
      row.txtField2->setText("0");
      int ix = row.cboEval->findText(">");
      ASSERT_GE(ix, 0);
      row.cboEval->setCurrentIndex(ix);
    }
  }
  x.w->cboSearch[0]->setCurrentText("T");
  x.w->cboSearch[1]->setCurrentText("D");
  x.w->cmdRecord[5]->click();
  apptest::pump();
  ASSERT_NE(x.w->dta1.RecordSource.find("ORDER BY"), std::string::npos) << x.w->dta1.RecordSource;
  x.modal.clear();
  x.w->tab1->setCurrentIndex(1);
  apptest::pump();
  ASSERT_TRUE(x.w->dta1.recordset()->Updatable());  // read from the grid's own recordset
  auto filtered = x.exportRecords("filtered.csv");
  EXPECT_GT(filtered.size(), 100u);
  EXPECT_LT(filtered.size(), 600u);
  x.expectGrid(filtered);

  // The query: a read-only result with a computed column, in its order.
  x.w->tab1->setCurrentIndex(0);
  apptest::pump();
  int q = apptest::findRow(x.w->grdQueries, "Odd Twice");
  ASSERT_GT(q, 0);
  apptest::click(x.w->grdQueries, q);
  x.w->tab1->setCurrentIndex(1);
  apptest::pump();
  x.modal.clear();
  ASSERT_FALSE(x.w->dta1.recordset()->Updatable());  // its statement read again, forward only
  auto query = x.exportRecords("query.csv");
  EXPECT_GT(query.size(), 100u);
  x.expectGrid(query);
}
