#include "jet/integrity.h"

#include <map>

#include "jet/error.h"
#include "jet/index.h"
#include "jet/index_key.h"
#include "jet/table_writer.h"
#include "jet/text.h"

namespace jet {

namespace {

// How related records of one side of a relationship are found: an index
// whose leading fields are that side's fields (in any order).
struct Access {
  int real = -1;               // real index, -1: scan the table
  std::vector<size_t> order;   // order[j]: the field pair the index's j-th field belongs to
  bool exact = false;          // the index has no other fields
};

Access chooseIndex(const Format& fmt, const TableDef& def, const std::vector<int>& cols) {
  Access best;
  for (size_t r = 0; r < def.realIndexes.size(); ++r) {
    const RealIndex& ri = def.realIndexes[r];
    if (ri.columns.size() < cols.size() || !canEncodeKey(fmt, def, ri)) continue;
    std::vector<size_t> order;
    for (size_t j = 0; j < cols.size(); ++j) {
      for (size_t i = 0; i < cols.size(); ++i)
        if (ri.columns[j].column == cols[i]) { order.push_back(i); break; }
    }
    if (order.size() != cols.size()) continue;
    bool exact = ri.columns.size() == cols.size();
    if (best.real >= 0 && (best.exact || !exact)) continue;
    best.real = static_cast<int>(r);
    best.order = std::move(order);
    best.exact = exact;
  }
  return best;
}

enum class KeyState { Value, HasNull, NoMatch };

// The key bytes of row[cols[i]] as the referenced fields refDef.columns[
// refCols[i]] compare them. HasNull: a field is Null (such a foreign key is
// not checked and refers to nothing); NoMatch: a value cannot be converted
// to the referenced field's type, so it equals no key.
KeyState keyOf(const Format& fmt, const TableDef& refDef, const std::vector<int>& refCols,
               const std::vector<Value>& row, const std::vector<int>& cols, std::vector<uint8_t>& out) {
  out.clear();
  for (int c : cols)
    if (static_cast<size_t>(c) >= row.size() || row[c].isNull()) return KeyState::HasNull;
  try {
    for (size_t i = 0; i < cols.size(); ++i) {
      const Column& rc = refDef.columns[refCols[i]];
      if (canEncodeKeyColumn(fmt, rc)) {
        appendKeyColumn(fmt, rc, true, row[cols[i]], out);
        continue;
      }
      // A field no index key is built for here: its value's text, without
      // regard to case, stands in (both sides are made the same way).
      const Value& v = row[cols[i]];
      std::string t = v.isText() ? upperName(v.bytes()) : v.display();
      out.insert(out.end(), t.begin(), t.end());
      out.push_back(0);
    }
  } catch (const Error& e) {
    if (e.number() == err::kDataTypeMismatch || e.number() == err::kTypeConversion) return KeyState::NoMatch;
    throw;
  }
  return KeyState::Value;
}

[[noreturn]] void relatedRecords(const std::string& child) {
  throw Error(err::kRelatedRecords, "The record cannot be deleted or changed because table '" + child +
                                        "' includes related records.");
}

[[noreturn]] void relatedRecordRequired(const std::string& parent) {
  throw Error(err::kRelatedRecordRequired,
              "You cannot add or change a record because a related record is required in table '" + parent + "'.");
}

// Levels of cascading a change may set off (each level is a call frame).
constexpr int kMaxCascadeDepth = 512;

}  // namespace

// The relationships of one database resolved to tables and field positions,
// with one table writer per table for the writes of one caller and the
// cascades they set off.
class Enforcer {
 public:
  Enforcer(Database& db, const std::vector<Relationship>& rels);

  void addTable(uint32_t page, const std::string& name) { tables_.try_emplace(page, Table{name}); }
  TableWriter& writer(uint32_t page);

  RowId insert(uint32_t page, const std::vector<Value>& vals);
  void update(uint32_t page, RowId id, const std::vector<Value>& vals);
  void remove(uint32_t page, RowId id);
  bool contains(uint32_t page, RowId id);

  // For a check of existing rows: every row of each relationship's many
  // side must have its related record.
  void requireAllHold();

 private:
  struct Link {
    const Relationship* rel;
    uint32_t childPage = 0, parentPage = 0;
    std::shared_ptr<const TableDef> childDef, parentDef;
    std::vector<int> childCols, parentCols;
    Access childAccess, parentAccess;
  };
  struct Table {
    std::string name;
    std::unique_ptr<TableWriter> w;
    std::vector<size_t> asChild, asParent;  // positions in links_
  };
  struct Depth {
    explicit Depth(int& d) : d_(d) {
      if (++d_ > kMaxCascadeDepth) {
        --d_;
        throw Error(err::kNotSupported, "The cascading changes of the relationships reach too deep.");
      }
    }
    ~Depth() { --d_; }
    int& d_;
  };

  Table& table(uint32_t page);
  bool hasParent(const Link& l, const std::vector<Value>& childRow);
  std::vector<RowId> children(const Link& l, const std::vector<Value>& parentRow);
  // Seeks side's index for keyed rows; false when the key cannot be built
  // for that index (the caller scans instead).
  bool seek(const TableDef& def, const Access& a, const std::vector<Value>& row, const std::vector<int>& cols,
            std::vector<std::pair<RowId, bool>>& found);
  void carryKeyChange(const Link& l, const std::vector<Value>& old, const std::vector<Value>& now);

  Database& db_;
  std::vector<Relationship> rels_;
  std::vector<Link> links_;
  std::map<uint32_t, Table> tables_;
  int depth_ = 0;
};

Enforcer::Enforcer(Database& db, const std::vector<Relationship>& rels) : db_(db), rels_(rels) {
  const Format& fmt = db.format();
  auto local = [&](const std::string& name) -> std::shared_ptr<const TableDef> {
    const CatalogEntry* e = db.find(name);
    if (!e || !e->isTable()) return nullptr;
    return db.table(*e);
  };
  for (const auto& rel : rels_) {
    if (!rel.enforced() || rel.columns.empty() || rel.columns.size() != rel.refColumns.size()) continue;
    Link l;
    l.rel = &rel;
    l.childDef = local(rel.table);
    l.parentDef = local(rel.refTable);
    if (!l.childDef || !l.parentDef) continue;
    bool ok = true;
    for (size_t i = 0; i < rel.columns.size(); ++i) {
      int a = l.childDef->findColumn(rel.columns[i]), b = l.parentDef->findColumn(rel.refColumns[i]);
      ok &= a >= 0 && b >= 0;
      l.childCols.push_back(a);
      l.parentCols.push_back(b);
    }
    if (!ok) continue;
    l.childPage = l.childDef->page;
    l.parentPage = l.parentDef->page;
    l.childAccess = chooseIndex(fmt, *l.childDef, l.childCols);
    l.parentAccess = chooseIndex(fmt, *l.parentDef, l.parentCols);
    addTable(l.childPage, l.childDef->name);
    addTable(l.parentPage, l.parentDef->name);
    tables_[l.childPage].asChild.push_back(links_.size());
    tables_[l.parentPage].asParent.push_back(links_.size());
    links_.push_back(std::move(l));
  }
}

Enforcer::Table& Enforcer::table(uint32_t page) {
  Table& t = tables_.at(page);
  if (!t.w) t.w = std::make_unique<TableWriter>(db_, page, t.name);
  return t;
}

TableWriter& Enforcer::writer(uint32_t page) { return *table(page).w; }

bool Enforcer::contains(uint32_t page, RowId id) {
  try {
    writer(page).read(id);
    return true;
  } catch (const Error& e) {
    if (e.number() == err::kNoCurrentRecord) return false;
    throw;
  }
}

bool Enforcer::seek(const TableDef& def, const Access& a, const std::vector<Value>& row, const std::vector<int>& cols,
                    std::vector<std::pair<RowId, bool>>& found) {
  if (a.real < 0) return false;
  const RealIndex& ri = def.realIndexes[a.real];
  std::vector<Value> kv;
  for (size_t j = 0; j < a.order.size(); ++j) kv.push_back(row[cols[a.order[j]]]);
  std::vector<uint8_t> prefix;
  try {
    prefix = encodeIndexKeyValues(db_.format(), def, ri, kv);
  } catch (const Error& e) {
    if (e.number() == err::kDataTypeMismatch || e.number() == err::kTypeConversion) return false;
    throw;
  }
  IndexCursor cur(db_, ri);
  cur.seek(prefix);
  while (cur.next() && keyStartsWith(cur.key(), prefix)) {
    // An entry of an index with only these fields matches when its key is
    // the key; otherwise the row itself is compared.
    if (a.exact && cur.key() != prefix) continue;
    found.push_back({cur.rowId(), a.exact});
  }
  return true;
}

bool Enforcer::hasParent(const Link& l, const std::vector<Value>& childRow) {
  const Format& fmt = db_.format();
  std::vector<uint8_t> key, other;
  switch (keyOf(fmt, *l.parentDef, l.parentCols, childRow, l.childCols, key)) {
    case KeyState::HasNull: return true;
    case KeyState::NoMatch: return false;
    case KeyState::Value: break;
  }
  Table& pt = table(l.parentPage);
  std::vector<std::pair<RowId, bool>> found;
  if (seek(*l.parentDef, l.parentAccess, childRow, l.childCols, found)) {
    for (const auto& [id, sure] : found) {
      if (sure) return true;
      if (keyOf(fmt, *l.parentDef, l.parentCols, pt.w->read(id), l.parentCols, other) == KeyState::Value &&
          other == key)
        return true;
    }
    return false;
  }
  TableScan s(db_, db_.tableAtPage(l.parentPage, pt.name));
  while (s.next())
    if (keyOf(fmt, *l.parentDef, l.parentCols, s.values(), l.parentCols, other) == KeyState::Value && other == key)
      return true;
  return false;
}

std::vector<RowId> Enforcer::children(const Link& l, const std::vector<Value>& parentRow) {
  const Format& fmt = db_.format();
  std::vector<RowId> out;
  std::vector<uint8_t> key, other;
  if (keyOf(fmt, *l.parentDef, l.parentCols, parentRow, l.parentCols, key) != KeyState::Value) return out;
  Table& ct = table(l.childPage);
  std::vector<std::pair<RowId, bool>> found;
  if (seek(*l.childDef, l.childAccess, parentRow, l.parentCols, found)) {
    for (const auto& [id, sure] : found)
      if (sure || (keyOf(fmt, *l.parentDef, l.parentCols, ct.w->read(id), l.childCols, other) == KeyState::Value &&
                   other == key))
        out.push_back(id);
    return out;
  }
  TableScan s(db_, db_.tableAtPage(l.childPage, ct.name));
  while (s.next())
    if (keyOf(fmt, *l.parentDef, l.parentCols, s.values(), l.childCols, other) == KeyState::Value && other == key)
      out.push_back(s.rowId());
  return out;
}

RowId Enforcer::insert(uint32_t page, const std::vector<Value>& vals) {
  Table& t = table(page);
  if (t.asChild.empty()) return t.w->insert(vals);
  Depth depth(depth_);
  ChangeScope change(db_);
  RowId id = t.w->insert(vals);
  const std::vector<Value> now = t.w->read(id);  // as stored: converted, auto-numbered
  for (size_t li : t.asChild)
    if (!hasParent(links_[li], now)) relatedRecordRequired(links_[li].parentDef->name);
  change.commit();
  return id;
}

// The key of a referenced record changed from old to now: related records
// follow it (cascade update) or the change is refused.
void Enforcer::carryKeyChange(const Link& l, const std::vector<Value>& old, const std::vector<Value>& now) {
  const Format& fmt = db_.format();
  std::vector<uint8_t> before, after;
  if (keyOf(fmt, *l.parentDef, l.parentCols, old, l.parentCols, before) != KeyState::Value) return;
  if (keyOf(fmt, *l.parentDef, l.parentCols, now, l.parentCols, after) == KeyState::Value && before == after) return;
  std::vector<RowId> kids = children(l, old);
  if (kids.empty()) return;
  if (!l.rel->cascadeUpdates()) relatedRecords(l.childDef->name);
  TableWriter& cw = writer(l.childPage);
  for (RowId kid : kids) {
    if (!contains(l.childPage, kid)) continue;
    std::vector<Value> v = cw.read(kid);
    for (size_t i = 0; i < l.childCols.size(); ++i) v[l.childCols[i]] = now[l.parentCols[i]];
    update(l.childPage, kid, v);
  }
}

void Enforcer::update(uint32_t page, RowId id, const std::vector<Value>& vals) {
  Table& t = table(page);
  if (t.asChild.empty() && t.asParent.empty()) {
    t.w->update(id, vals);
    return;
  }
  Depth depth(depth_);
  ChangeScope change(db_);
  const std::vector<Value> old = t.w->read(id);
  t.w->update(id, vals);
  std::vector<Value> now = t.w->read(id);
  for (size_t li : t.asParent) carryKeyChange(links_[li], old, now);
  if (!t.asParent.empty()) now = t.w->read(id);  // a cascade may have come back to this record
  const Format& fmt = db_.format();
  for (size_t li : t.asChild) {
    const Link& l = links_[li];
    std::vector<uint8_t> before, after;
    KeyState ns = keyOf(fmt, *l.parentDef, l.parentCols, now, l.childCols, after);
    if (ns == KeyState::HasNull) continue;
    if (ns == KeyState::Value && keyOf(fmt, *l.parentDef, l.parentCols, old, l.childCols, before) == KeyState::Value &&
        before == after)
      continue;  // the foreign key did not change
    if (!hasParent(l, now)) relatedRecordRequired(l.parentDef->name);
  }
  change.commit();
}

void Enforcer::remove(uint32_t page, RowId id) {
  Table& t = table(page);
  if (t.asParent.empty()) {
    t.w->remove(id);
    return;
  }
  Depth depth(depth_);
  ChangeScope change(db_);
  const std::vector<Value> old = t.w->read(id);
  // Gone first: a cascade that comes round to this record finds nothing.
  t.w->remove(id);
  for (size_t li : t.asParent) {
    const Link& l = links_[li];
    std::vector<RowId> kids = children(l, old);
    if (kids.empty()) continue;
    if (l.rel->cascadeDeletes()) {
      for (RowId kid : kids)
        if (contains(l.childPage, kid)) remove(l.childPage, kid);
    } else if (l.rel->cascadeNulls()) {
      for (RowId kid : kids) {
        if (!contains(l.childPage, kid)) continue;
        std::vector<Value> v = writer(l.childPage).read(kid);
        for (int c : l.childCols) v[c] = Value();
        update(l.childPage, kid, v);
      }
    } else {
      relatedRecords(l.childDef->name);
    }
  }
  change.commit();
}

void Enforcer::requireAllHold() {
  for (const Link& l : links_) {
    TableScan s(db_, db_.tableAtPage(l.childPage, l.childDef->name));
    while (s.next())
      if (!hasParent(l, s.values())) relatedRecordRequired(l.parentDef->name);
  }
}

IntegrityWriter::IntegrityWriter(Database& db, const std::string& tableName)
    : e_(std::make_unique<Enforcer>(db, readRelationships(db))) {
  auto d = db.table(tableName);
  page_ = d->page;
  e_->addTable(page_, d->name);
}

IntegrityWriter::IntegrityWriter(Database& db, uint32_t tdefPage, const std::string& tableName)
    : e_(std::make_unique<Enforcer>(db, readRelationships(db))), page_(tdefPage) {
  e_->addTable(page_, tableName);
}

IntegrityWriter::~IntegrityWriter() = default;

std::shared_ptr<const TableDef> IntegrityWriter::def() { return e_->writer(page_).def(); }
RowId IntegrityWriter::insert(const std::vector<Value>& values) { return e_->insert(page_, values); }
void IntegrityWriter::update(RowId id, const std::vector<Value>& values) { e_->update(page_, id, values); }
void IntegrityWriter::remove(RowId id) { e_->remove(page_, id); }
std::vector<Value> IntegrityWriter::read(RowId id) { return e_->writer(page_).read(id); }
std::vector<Value> IntegrityWriter::valuesByName(const std::vector<std::pair<std::string, Value>>& named) {
  return e_->writer(page_).valuesByName(named);
}
bool IntegrityWriter::contains(RowId id) { return e_->contains(page_, id); }

void requireRelationshipHolds(Database& db, const Relationship& rel) {
  Relationship r = rel;
  r.flags &= ~relflag::kNotEnforced;
  Enforcer e(db, {r});
  e.requireAllHold();
}

}  // namespace jet
