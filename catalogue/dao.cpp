#include "catalogue/dao.h"

#include <algorithm>
#include <filesystem>

#include "catalogue/query_fields.h"
#include "jet/database.h"
#include "jet/text.h"
#include "jet/value.h"
#include "sql/calculated.h"

namespace dao {
namespace {

[[noreturn]] void itemNotFound() {
  throw jet::Error(jet::err::kItemNotFound, "Item not found in this collection.");
}

}  // namespace

std::string passwordFromConnect(const std::string& connect) {
  for (size_t i = 0; i + 4 <= connect.size(); ++i) {
    if (jet::equalsNoCase(connect.substr(i, 4), "pwd=") && (i == 0 || connect[i - 1] == ';'))
      return connect.substr(i + 4);
  }
  return "";
}

std::string typeName(int16_t code) {
  switch (code) {
    case 1: return "dbBoolean";
    case 2: return "dbByte";
    case 3: return "dbInteger";
    case 4: return "dbLong";
    case 5: return "dbCurrency";
    case 6: return "dbSingle";
    case 7: return "dbDouble";
    case 8: return "dbDate";
    case 10: return "dbText";
    case 11: return "dbLongBinary";
    case 12: return "dbMemo";
    case 15: return "dbGUID";
    default: return "";
  }
}

// ---------------------------------------------------------------- TableDef

const std::vector<Field>& TableDef::Fields() const {
  load();
  return fields_;
}

const std::vector<Index>& TableDef::Indexes() const {
  load();
  return indexes_;
}

void TableDef::load() const {
  if (loaded_) return;
  if (linked_)
    throw jet::Error(jet::err::kItemNotFound,
                     "The linked table '" + name_ + "' has no local definition.");
  jet::Database& j = db_->engine();
  auto def = j.table(name_);
  bool jet3 = j.format().jet3;
  std::vector<Field> fields;
  for (const auto& c : def->columns) {
    Field f;
    f.Name = c.name;
    f.Type = static_cast<int16_t>(c.type);
    f.Size = c.displaySize(jet3);
    f.Required = c.requiredProp;
    f.SourceTable = name_;
    f.SourceField = c.name;
    fields.push_back(std::move(f));
  }
  std::vector<Index> indexes;
  for (const auto& ix : def->indexes) {
    Index x;
    x.Name = ix.name;
    x.Fields = def->indexFieldsText(ix);
    if (!x.Fields.empty() && x.Fields.back() == ';') x.Fields.pop_back();
    x.Primary = ix.primary();
    if (ix.realIndex >= 0 && ix.realIndex < static_cast<int>(def->realIndexes.size())) {
      const auto& real = def->realOf(ix);
      x.Unique = real.unique() || x.Primary;
      x.Required = real.required() || x.Primary;
    }
    indexes.push_back(std::move(x));
  }
  fields_ = std::move(fields);
  indexes_ = std::move(indexes);
  loaded_ = true;
}

// ---------------------------------------------------------------- QueryDef

const std::vector<Field>& QueryDef::Fields() const {
  if (!loaded_) {
    fields_ = describeQuery(db_->engine(), sql_);
    loaded_ = true;
  }
  return fields_;
}

// ---------------------------------------------------------------- Database

Database::~Database() = default;

void Database::Close() {
  jet_.reset();
}

jet::Database& Database::engine() {
  if (!jet_) throw jet::Error(jet::err::kObjectInvalid, "Object invalid or no longer set.");
  return *jet_;
}

std::string Database::formatDescription() {
  const jet::Format& f = engine().format();
  const char* era = nullptr;
  switch (f.version) {
    case jet::Version::Jet3: era = "Access 97"; break;
    case jet::Version::Jet4: era = "Access 2000-2003"; break;
    case jet::Version::Ace12: era = "Access 2007"; break;
    case jet::Version::Ace14: era = "Access 2010-2013"; break;
    case jet::Version::Ace16: era = "Access 2016"; break;
    case jet::Version::Ace17: era = "Access 2019 and later"; break;
  }
  std::string s = f.name();
  if (era) s += std::string(" (") + era + ")";
  return s;
}

const TableDef& Database::TableDefByName(const std::string& name) const {
  for (const auto& t : tables_)
    if (jet::equalsNoCase(t.name_, name)) return t;
  itemNotFound();
}

const QueryDef& Database::QueryDefByName(const std::string& name) const {
  for (const auto& q : queries_)
    if (jet::equalsNoCase(q.name_, name)) return q;
  itemNotFound();
}

void Database::load() {
  tables_.clear();
  queries_.clear();
  for (const jet::CatalogEntry* e : jet_->tables(true)) {
    TableDef t;
    t.db_ = this;
    t.name_ = e->name;
    t.system_ = e->kind == jet::ObjectKind::SystemTable;
    t.linked_ = !e->isTable();
    t.recordCount_ = -1;
    // A table whose definition is damaged does not keep the others from
    // being opened: its count is unknown, and reading it gives the error.
    if (!t.linked_) {
      try {
        t.recordCount_ = static_cast<int64_t>(jet_->table(*e)->rowCount);
      } catch (const jet::Error&) {
      }
    }
    tables_.push_back(std::move(t));
  }
  for (auto& q : jet_->queries()) {
    QueryDef d;
    d.db_ = this;
    d.name_ = q.name;
    d.sql_ = q.sql;
    queries_.push_back(std::move(d));
  }
}

std::unique_ptr<Database> DBEngine::OpenDatabase(const std::string& path, const std::string& connect) {
  if (path.empty())
    throw jet::Error(jet::err::kFileNotFound, "Could not find file ''.");
  jet::OpenOptions o;
  o.password = passwordFromConnect(connect);
  // A file whose mode lets nobody write it is opened read-only even by a
  // user the system would let write it anyway (root): the window never
  // changes a file marked read-only.
  std::error_code ec;
  const auto perms = std::filesystem::status(path, ec).permissions();
  using P = std::filesystem::perms;
  if (!ec && perms != P::unknown && (perms & (P::owner_write | P::group_write | P::others_write)) == P::none)
    o.readOnly = true;
  // The window changes a few rows at a time: half a writer's usual page
  // cache is plenty, and a scan of a large table then holds 32 MB, not 64.
  o.cachePages = 8192;
  std::unique_ptr<Database> db(new Database());
  db->path_ = path;
  db->jet_ = jet::Database::open(path, o);
  // Records stored from the window get their calculated fields computed.
  sql::provideExpressionEvaluator(*db->jet_);
  db->load();
  return db;
}

}  // namespace dao
