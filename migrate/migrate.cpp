#include "migrate/migrate.h"

#include <chrono>
#include <map>
#include <set>

#include "jet/error.h"
#include "jet/text.h"
#include "migrate/errors.h"
#include "migrate/translate.h"

namespace migrate {

namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t0) {
  return std::chrono::duration<double>(Clock::now() - t0).count();
}

void copyRows(jet::Database& db, Target& target, const TablePlan& t, const Options& opts, Summary& sum) {
  target.beginRows(t);
  auto scan = db.scan(t.name);
  std::vector<const jet::Value*> row(t.columns.size());
  jet::Value rowNumber;
  Progress p;
  p.table = t.name;
  p.total = t.rowCount;
  auto t0 = Clock::now();
  auto lastReport = t0;
  while (scan->next()) {
    const auto& values = scan->values();
    rowNumber = jet::Value::longInt(static_cast<int32_t>(p.rows + 1));
    for (size_t i = 0; i < t.columns.size(); ++i)
      row[i] = t.columns[i].rowNumber ? &rowNumber : &values[t.columns[i].source];
    if (opts.beforeRow) opts.beforeRow(t.name, p.rows);
    target.row(row);
    ++p.rows;
    if (opts.progress && (p.rows & 4095) == 0) {
      auto now = Clock::now();
      if (now - lastReport > std::chrono::milliseconds(500)) {
        lastReport = now;
        p.seconds = since(t0);
        opts.progress(p);
      }
    }
  }
  target.endRows();
  sum.rows += p.rows;
  if (opts.progress) {
    p.seconds = since(t0);
    p.done = true;
    opts.progress(p);
  }
}

// A child table's rows: the parent scanned again, in the same order, and
// each entry of its complex column written with the row's key.
void copyChildRows(jet::Database& db, Target& target, const TablePlan& t, const Options& opts, Summary& sum) {
  const ChildSource& src = *t.child;
  target.beginRows(t);
  auto scan = db.scan(src.parent);
  jet::ComplexReader reader(db, t.def);  // the parent's definition
  size_t keys = t.columns.size() - (src.kind == jet::ComplexKind::Attachment ? 3 : 1);
  std::vector<jet::Value> values(t.columns.size());
  std::vector<const jet::Value*> row(t.columns.size());
  for (size_t i = 0; i < row.size(); ++i) row[i] = &values[i];
  Progress p;
  p.table = t.name;
  auto t0 = Clock::now();
  uint64_t parentRow = 0;
  while (scan->next()) {
    ++parentRow;
    const auto& pv = scan->values();
    if (src.keySources.empty()) values[0] = jet::Value::longInt(static_cast<int32_t>(parentRow));
    else
      for (size_t k = 0; k < keys; ++k) values[k] = pv[src.keySources[k]];
    const jet::Value& id = pv[src.column];
    if (src.kind == jet::ComplexKind::Attachment) {
      for (auto& a : reader.attachments(src.column, id)) {
        values[keys] = jet::Value::text(std::move(a.name));
        values[keys + 1] = jet::Value::text(std::move(a.type));
        values[keys + 2] = jet::Value::binary(std::move(a.data), jet::DataType::OLE);
        if (opts.beforeRow) opts.beforeRow(t.name, p.rows);
        target.row(row);
        ++p.rows;
      }
    } else {
      for (auto& v : reader.values(src.column, id)) {
        values[keys] = std::move(v);
        if (opts.beforeRow) opts.beforeRow(t.name, p.rows);
        target.row(row);
        ++p.rows;
      }
    }
  }
  target.endRows();
  sum.rows += p.rows;
  if (opts.progress) {
    p.total = p.rows;
    p.seconds = since(t0);
    p.done = true;
    opts.progress(p);
  }
}

// The columns of the carried tables, for the view translator: true for those
// the SQLite target keeps as exact decimal text.
SourceColumns tableColumns(const Plan& plan, Dialect d) {
  SourceColumns out;
  for (const auto& t : plan.tables) {
    auto& cols = out[jet::upperName(t.name)];
    for (const auto& c : t.columns) {
      jet::DataType ty = c.column->type;
      cols[jet::upperName(c.name)] =
          d == Dialect::SQLite && (ty == jet::DataType::Currency || ty == jet::DataType::Decimal);
    }
  }
  return out;
}

// Views in an order where each comes after the queries it reads. Each is
// translated again when its turn comes, knowing the columns of the views
// made before it.
void createViews(const Plan& plan, Target& target, Summary& sum) {
  SourceColumns known = tableColumns(plan, target.dialect());
  struct Item {
    const QueryPlan* q;
    TranslatedQuery tq;
    std::set<std::string> needs;  // other queries, upper-cased
  };
  std::map<std::string, const QueryPlan*> byName;
  for (const auto& q : plan.queries) byName[jet::upperName(q.name)] = &q;
  std::vector<Item> items;
  std::set<std::string> failed;
  for (const auto& q : plan.queries) {
    try {
      Item it{&q, translateQuery(q.sql, target.dialect(), &known), {}};
      for (const auto& s : it.tq.sources) {
        std::string u = jet::upperName(s);
        if (byName.count(u) && u != jet::upperName(q.name)) it.needs.insert(u);
      }
      items.push_back(std::move(it));
    } catch (const jet::Error& e) {
      sum.notCarried.push_back({"query " + q.name, e.what()});
      failed.insert(jet::upperName(q.name));
    }
  }
  std::set<std::string> made;
  bool progress = true;
  while (progress) {
    progress = false;
    for (auto& it : items) {
      if (!it.q) continue;
      std::string self = jet::upperName(it.q->name);
      bool blocked = false;
      std::string missing;
      for (const auto& n : it.needs) {
        if (failed.count(n)) missing = n;
        else if (!made.count(n)) blocked = true;
      }
      if (!missing.empty()) {
        sum.notCarried.push_back({"query " + it.q->name, "it reads query " + byName[missing]->name + ", which is not carried"});
        failed.insert(self);
      } else if (!blocked) {
        it.tq = translateQuery(it.q->sql, target.dialect(), &known);
        std::string why = target.createView(it.q->name, it.tq.select);
        if (why.empty()) {
          made.insert(self);
          ++sum.views;
          auto& cols = known[self];
          for (const auto& c : it.tq.columns) cols[jet::upperName(c.first)] = c.second;
        } else {
          sum.notCarried.push_back({"query " + it.q->name, "the target refused the view: " + why});
          failed.insert(self);
        }
      } else {
        continue;
      }
      it.q = nullptr;
      progress = true;
    }
  }
  for (auto& it : items)
    if (it.q) sum.notCarried.push_back({"query " + it.q->name, "it reads itself through other queries"});
}

// Drops the objects the migration replaces, in passes so that those that
// depend on others (views) go first whatever the order; an object something
// else depends on stops the migration rather than taking that with it.
void dropAll(Target& target, std::vector<std::string> pending) {
  while (!pending.empty()) {
    std::vector<std::string> blocked;
    std::string why, what;
    for (const auto& n : pending) {
      std::string w = target.drop(n);
      if (w.empty()) continue;
      blocked.push_back(n);
      why = w;
      what = n;
    }
    if (blocked.size() == pending.size())
      throw jet::Error(err::kTargetFailed, "Cannot replace '" + what + "' in the target: " + why);
    pending = std::move(blocked);
  }
}

}  // namespace

Summary migrateDatabase(jet::Database& db, Target& target, const Options& opts) {
  auto t0 = Clock::now();
  if (opts.schemaOnly && opts.dataOnly)
    throw jet::Error(jet::err::kSyntax, "--schema-only and --data-only cannot be given together.");
  Plan plan = buildPlan(db, opts.tables);
  Summary sum;
  sum.notCarried = plan.skipped;
  target.begin();
  try {
    if (!opts.dataOnly) {
      std::vector<std::string> names;
      for (const auto& t : plan.tables) names.push_back(t.name);
      for (const auto& q : plan.queries) names.push_back(q.name);
      for (const auto& n : names) {
        if (!target.exists(n)) continue;
        if (!opts.replace)
          throw jet::Error(err::kTableExists, "The target already holds a table or view named '" + n +
                                                  "' (--replace drops it first).");
      }
      if (opts.replace) dropAll(target, names);
      for (const auto& t : plan.tables) {
        std::vector<const ForeignKeyPlan*> fks;
        for (const auto& fk : plan.foreignKeys)
          if (fk.table == t.name) fks.push_back(&fk);
        target.createTable(t, fks);
      }
    } else {
      for (const auto& t : plan.tables)
        if (!target.exists(t.name))
          throw jet::Error(jet::err::kNoSuchObject, "The target has no table named '" + t.name + "' (--data-only).");
    }
    if (!opts.schemaOnly)
      for (const auto& t : plan.tables) {
        if (t.child) copyChildRows(db, target, t, opts, sum);
        else copyRows(db, target, t, opts, sum);
      }
    sum.tables = plan.tables.size();
    if (!opts.dataOnly) {
      for (const auto& t : plan.tables) {
        target.finishTable(t);
        sum.indexes += t.indexes.size();
      }
      for (const auto& fk : plan.foreignKeys) target.addForeignKey(fk);
      sum.foreignKeys = plan.foreignKeys.size();
      createViews(plan, target, sum);
    }
    for (auto& n : target.notes()) sum.notCarried.push_back(std::move(n));
    target.commit();
  } catch (...) {
    target.rollback();
    throw;
  }
  sum.seconds = since(t0);
  return sum;
}

std::unique_ptr<Target> openTarget(const std::string& spec, const std::string& pgSchema) {
  if (spec.rfind("sqlite:", 0) == 0) {
    std::string path = spec.substr(7);
    if (path.empty()) throw jet::Error(err::kBadTarget, "sqlite: needs a file path (sqlite:PATH).");
    return openSqlite(path);
  }
  if (spec.rfind("postgresql://", 0) == 0 || spec.rfind("postgres://", 0) == 0 ||
      spec.find('=') != std::string::npos)
    return openPostgres(spec, pgSchema);
  throw jet::Error(err::kBadTarget, "The target '" + spec +
                                        "' is neither sqlite:PATH nor a PostgreSQL connection string.");
}

std::string summaryText(const Summary& s) {
  std::string out;
  char buf[200];
  std::snprintf(buf, sizeof buf, "tables %zu, rows %llu, indexes %zu, foreign keys %zu, views %zu (%.2f s)\n",
                s.tables, static_cast<unsigned long long>(s.rows), s.indexes, s.foreignKeys, s.views, s.seconds);
  out += buf;
  if (!s.notCarried.empty()) {
    out += "not carried:\n";
    for (const auto& n : s.notCarried) out += "  " + n.object + ": " + n.reason + "\n";
  }
  return out;
}

}  // namespace migrate
