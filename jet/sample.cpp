#include "jet/sample.h"

#include "jet/create.h"
#include "jet/error.h"
#include "jet/table_writer.h"

namespace jet {

namespace {

Value date(int y, int m, int d, int h = 0, int mi = 0) { return Value::dateTime(partsToSerial(y, m, d, h, mi, 0)); }
Value money(int64_t whole, int cents) { return Value::currency(whole * 10000 + cents * 100); }
Value txt(const char* s) { return s ? Value::text(s) : Value(); }

// Readings: values only the 2016 and 2019 formats hold.
void addReadings(Database& db) {
  const bool extended = db.format().version == Version::Ace17;
  TableSpec readings;
  readings.name = "Readings";
  readings.columns = {autoNumberSpec("ReadingID"), columnSpec("Meter", DataType::Text, 20, true),
                      columnSpec("Total", DataType::BigInt, 0, true)};
  if (extended) readings.columns.push_back(columnSpec("TakenAt", DataType::ExtDateTime));
  readings.indexes = {primaryKeySpec("ReadingID"), indexSpec("Total", {{"Total", false}})};
  if (extended) readings.indexes.push_back(indexSpec("TakenAt", {{"TakenAt", true}}));
  createTable(db, readings);
  struct R { const char* meter; int64_t total; const char* taken; };
  const R rows[] = {
      {"North", 9223372036854775807LL, "9999-12-31 23:59:59.9999999"},
      {"South", -9223372036854775807LL - 1, "0001-01-01"},
      {"East", 4294967296LL, "2024-02-29 12:30:00.5"},
      {"West", 0, nullptr},
      {"Öresund", -1, "1899-12-30 00:00:00.0000001"},
  };
  ChangeScope change(db);
  TableWriter w(db, "Readings");
  for (const auto& r : rows) {
    std::vector<std::pair<std::string, Value>> v = {{"Meter", Value::text(r.meter)},
                                                    {"Total", Value::bigInt(r.total)}};
    if (extended && r.taken) v.push_back({"TakenAt", Value::text(r.taken, DataType::ExtDateTime)});
    w.insert(w.valuesByName(v));
  }
  change.commit();
}

}  // namespace

void createSampleDatabase(const std::string& path) { createSampleDatabase(path, newFileVersion(path)); }

void createSampleDatabase(const std::string& path, Version v) {
  createDatabase(path, v);
  auto db = Database::open(path);

  TableSpec customers;
  customers.name = "Customers";
  customers.columns = {autoNumberSpec("CustomerID"),          columnSpec("Name", DataType::Text, 60, true),
                       columnSpec("City", DataType::Text, 40), columnSpec("Email", DataType::Text, 80),
                       columnSpec("Joined", DataType::DateTime), columnSpec("Active", DataType::Boolean),
                       columnSpec("CreditLimit", DataType::Currency), columnSpec("Notes", DataType::Memo)};
  customers.indexes = {primaryKeySpec("CustomerID"),
                       indexSpec("City", {{"City", true}}),
                       indexSpec("NameCity", {{"Name", true}, {"City", true}})};
  createTable(*db, customers);

  TableSpec products;
  products.name = "Products";
  ColumnSpec price = columnSpec("Price", DataType::Currency, 0, true);
  ColumnSpec ratio = columnSpec("TaxRate", DataType::Decimal);
  ratio.precision = 5;
  ratio.scale = 3;
  ColumnSpec code = columnSpec("Code", DataType::GUID);
  code.autoNumber = true;
  products.columns = {autoNumberSpec("ProductID"), columnSpec("ProductName", DataType::Text, 50, true), price,
                      columnSpec("Weight", DataType::Double), columnSpec("Stock", DataType::Integer),
                      columnSpec("Shelf", DataType::Byte), ratio, columnSpec("Rating", DataType::Single), code,
                      columnSpec("Discontinued", DataType::Boolean), columnSpec("Picture", DataType::OLE)};
  products.indexes = {primaryKeySpec("ProductID"),
                      indexSpec("ProductName", {{"ProductName", true}}, false, true),
                      indexSpec("PriceDesc", {{"Price", false}})};
  createTable(*db, products);

  TableSpec orders;
  orders.name = "Orders";
  orders.columns = {autoNumberSpec("OrderID"), columnSpec("CustomerID", DataType::Long, 0, true),
                    columnSpec("OrderDate", DataType::DateTime, 0, true), columnSpec("Shipped", DataType::DateTime),
                    columnSpec("Status", DataType::Text, 20), columnSpec("Comment", DataType::Memo)};
  orders.indexes = {primaryKeySpec("OrderID"),
                    indexSpec("CustomerID", {{"CustomerID", true}}),
                    indexSpec("OrderDate", {{"OrderDate", false}})};
  createTable(*db, orders);

  TableSpec items;
  items.name = "Order Details";
  items.columns = {columnSpec("OrderID", DataType::Long, 0, true), columnSpec("ProductID", DataType::Long, 0, true),
                   columnSpec("Quantity", DataType::Integer, 0, true), columnSpec("UnitPrice", DataType::Currency),
                   columnSpec("Discount", DataType::Single)};
  items.indexes = {indexSpec("PrimaryKey", {{"OrderID", true}, {"ProductID", true}}, true),
                   indexSpec("ProductID", {{"ProductID", true}})};
  createTable(*db, items);

  ChangeScope change(*db);
  {
    TableWriter w(*db, "Customers");
    struct C { const char* name; const char* city; const char* email; Value joined; bool active; Value limit; const char* notes; };
    std::string longNote;
    for (int i = 0; i < 120; ++i) longNote += "Line " + std::to_string(i + 1) + " of a long note about deliveries, invoices and visits.\n";
    const C rows[] = {
        {"Ana Müller", "München", "ana@example.com", date(2019, 3, 14), true, money(5000, 0), "Prefers e-mail."},
        {"Björn Ødegård", "Tromsø", nullptr, date(2020, 11, 2, 9, 30), true, money(1200, 50), nullptr},
        {"Chloé Dubois", "Paris", "chloe@example.fr", date(2018, 1, 5), false, Value(), "Moved to Lyon?"},
        {"Dmitri Ivanov", nullptr, "dmitri@example.org", Value(), true, money(0, 0), nullptr},
        {"Élodie Martin", "Paris", "elodie@example.fr", date(2021, 6, 30, 17, 45), true, money(750, 25), nullptr},
        {"Fatima Zahra", "Casablanca", nullptr, date(2017, 9, 9), false, money(300, 0), "Ships only on Mondays."},
        {"george smith", "london", "gsmith@example.co.uk", date(2022, 2, 28), true, money(2500, 0), nullptr},
        {"Hana Kobayashi", "Tōkyō", "hana@example.jp", date(2016, 12, 24), true, money(10000, 0), nullptr},
    };
    int k = 0;
    for (const auto& r : rows) {
      std::string notes = r.notes ? r.notes : "";
      Value nv = r.notes ? Value::memo(notes) : Value();
      if (k == 7) nv = Value::memo(longNote);
      w.insert(w.valuesByName({{"Name", txt(r.name)}, {"City", txt(r.city)}, {"Email", txt(r.email)},
                               {"Joined", r.joined}, {"Active", Value::boolean(r.active)},
                               {"CreditLimit", r.limit}, {"Notes", nv}}));
      ++k;
    }
  }
  {
    TableWriter w(*db, "Products");
    struct P { const char* name; Value price; Value weight; Value stock; Value shelf; Value tax; Value rating; bool disc; };
    auto dec = [](int64_t m) { Decimal d; d.mantissa = m; d.scale = 3; d.precision = 5; return Value::decimal(d); };
    const P rows[] = {
        {"Apfelstrudel", money(12, 50), Value::dbl(0.75), Value::integer(40), Value::byte(3), dec(70), Value::single(4.5f), false},
        {"Café au lait", money(3, 20), Value::dbl(0.25), Value::integer(-2), Value::byte(1), dec(200), Value::single(3.75f), false},
        {"Crème brûlée", money(6, 0), Value(), Value::integer(0), Value(), dec(200), Value(), true},
        {"Smørrebrød", money(8, 95), Value::dbl(0.4), Value::integer(32767), Value::byte(255), dec(250), Value::single(5.0f), false},
        {"Zucchini", money(1, 5), Value::dbl(1.0e-3), Value::integer(-32768), Value::byte(0), Value(), Value::single(2.0f), false},
        {"anchovies", money(922337203685LL, 0), Value::dbl(1.7976931348623157e308), Value(), Value::byte(9), dec(99999), Value::single(-1.5f), true},
    };
    int k = 0;
    for (const auto& r : rows) {
      Value pic = k == 0 ? Value::binary(std::string("\x89PNG\r\n\x1a\n", 8) + std::string(6000, '\x42'), DataType::OLE) : Value();
      w.insert(w.valuesByName({{"ProductName", txt(r.name)}, {"Price", r.price}, {"Weight", r.weight},
                               {"Stock", r.stock}, {"Shelf", r.shelf}, {"TaxRate", r.tax},
                               {"Rating", r.rating}, {"Discontinued", Value::boolean(r.disc)},
                               {"Picture", pic}}));
      ++k;
    }
  }
  {
    TableWriter w(*db, "Orders");
    TableWriter d(*db, "Order Details");
    const char* statuses[] = {"New", "Shipped", nullptr, "Cancelled", "Shipped"};
    for (int i = 0; i < 20; ++i) {
      int cust = 1 + (i * 3) % 8;
      Value shipped = (i % 3 == 0) ? Value() : date(2023, 1 + i % 12, 1 + (i * 7) % 28, 12, 0);
      Value comment = i % 4 == 0 ? Value::memo("Order " + std::to_string(i + 1) + ": handle with care") : Value();
      RowId id = w.insert(w.valuesByName({{"CustomerID", Value::longInt(cust)},
                                          {"OrderDate", date(2023, 1 + i % 12, 1 + (i * 5) % 28, 8 + i % 10, (i * 13) % 60)},
                                          {"Shipped", shipped}, {"Status", txt(statuses[i % 5])},
                                          {"Comment", comment}}));
      int orderId = static_cast<int>(w.read(id)[0].asInt());
      for (int j = 0; j < 1 + i % 3; ++j) {
        int prod = 1 + (i + j * 2) % 6;
        d.insert(d.valuesByName({{"OrderID", Value::longInt(orderId)}, {"ProductID", Value::longInt(prod)},
                                 {"Quantity", Value::integer(static_cast<int16_t>(1 + (i * j) % 7))},
                                 {"UnitPrice", money(2 + prod, 50)},
                                 {"Discount", j == 1 ? Value::single(0.1f) : Value::single(0.0f)}}));
      }
    }
  }
  change.commit();

  QuerySpec byCity;
  byCity.name = "Customers by City";
  byCity.tables = {"Customers"};
  byCity.columns = {{"Customers.Name", ""}, {"Customers.City", ""}, {"Customers.Email", ""}};
  byCity.orderBy = {{"Customers.City", true}, {"Customers.Name", true}};
  createQuery(*db, byCity);

  QuerySpec active;
  active.name = "Active Customers";
  active.tables = {"Customers"};
  active.selectStar = true;
  active.where = "(((Customers.Active)=True))";
  createQuery(*db, active);

  QuerySpec totals;
  totals.name = "Order Lines";
  totals.tables = {"Orders", "Order Details", "Products"};
  totals.joins = {{"Orders", "Order Details", "Orders.OrderID = [Order Details].OrderID", 1},
                  {"Products", "Order Details", "Products.ProductID = [Order Details].ProductID", 1}};
  totals.columns = {{"Orders.OrderID", ""}, {"Orders.OrderDate", ""}, {"Products.ProductName", ""},
                    {"[Order Details].Quantity", ""},
                    {"[Quantity]*[Order Details].[UnitPrice]", "LineTotal"}};
  totals.orderBy = {{"Orders.OrderDate", false}};
  createQuery(*db, totals);

  if (v == Version::Ace16 || v == Version::Ace17) addReadings(*db);
}

}  // namespace jet
