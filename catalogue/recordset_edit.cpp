// Recordset: adding, changing and deleting records through the engine's
// table writer with the relationships kept (jet/integrity.h), each as one
// change through the journal.
#include <algorithm>

#include "catalogue/complex_text.h"
#include "catalogue/recordset.h"
#include "jet/integrity.h"
#include "jet/table_writer.h"
#include "jet/tabledef.h"
#include "jet/usage_map.h"
#include "sql/engine.h"
#include "sql/recordset.h"

namespace dao {

namespace {
[[noreturn]] void readOnly() {
  throw Error(err::kReadOnlyRecordset, "Cannot update. Database or object is read-only.");
}
[[noreturn]] void noEdit() { throw Error(jet::err::kNoAddNewOrEdit, "Update or CancelUpdate without AddNew or Edit."); }
[[noreturn]] void noCurrent() { throw Error(err::kNoCurrentRecord, "No current record."); }
}  // namespace

void Recordset::requireUpdatable() const {
  if (!cursor_->updatable() || cursor_->baseTable().empty() || db_.engine().readOnly()) readOnly();
}

bool Recordset::fieldUpdatable(int col) const {
  if (col < 0 || col >= fieldCount() || !cursor_->updatable()) return false;
  const auto& rc = cursor_->columns()[static_cast<size_t>(col)];
  auto def = cursor_->baseDef();
  if (!def || rc.baseColumn < 0 || static_cast<size_t>(rc.baseColumn) >= def->columns.size()) return false;
  const auto& c = def->columns[static_cast<size_t>(rc.baseColumn)];
  if (c.autoNumber() || c.calculated()) return false;
  switch (c.type) {
    case jet::DataType::Binary:
    case jet::DataType::OLE:
    case jet::DataType::GUID:
    case jet::DataType::Complex:
      return false;
    default:
      return true;
  }
}

void Recordset::AddNew() {
  requireUpdatable();
  onDeleted_ = false;
  editMode_ = EditMode::Add;
  pending_.clear();
}

void Recordset::Edit() {
  requireUpdatable();
  if (onDeleted_ || !hasCurrent()) noCurrent();
  editMode_ = EditMode::Edit;
  pending_.clear();
}

void Recordset::CancelUpdate() {
  editMode_ = EditMode::None;
  pending_.clear();
}

void Recordset::setValue(int col, const Value& v) {
  if (editMode_ == EditMode::None) noEdit();
  if (!fieldUpdatable(col)) throw Error(jet::err::kFieldCannotBeUpdated, "Field cannot be updated.");
  for (auto& p : pending_)
    if (p.first == col) {
      p.second = v;
      return;
    }
  pending_.emplace_back(col, v);
}

void Recordset::Update() {
  if (editMode_ == EditMode::None) noEdit();
  requireUpdatable();
  jet::Database& db = db_.engine();
  jet::IntegrityWriter writer(db, cursor_->baseTable());
  const auto def = writer.def();
  const auto& cols = cursor_->columns();
  jet::RowId stored;
  const int64_t index = cursor_->position();
  bool added = false, changed = false;
  if (editMode_ == EditMode::Add) {
    std::vector<Value> row(def->columns.size());
    for (const auto& [col, v] : pending_) row[static_cast<size_t>(cols[static_cast<size_t>(col)].baseColumn)] = v;
    // Whether the rows held are still the file's, known before it changes.
    const bool current = holdsWholeTable(def->rowCount);
    jet::ChangeScope change(db);
    stored = writer.insert(row);
    change.commit();
    added = current;
  } else {
    if (!hasCurrent()) noCurrent();
    stored = cursor_->rowId();
    // An update changes no row's place in a page walk (a row that grows out
    // of its page leaves a pointer where it was, and its new copy is marked
    // for scans to pass over).
    changed = holdsWholeTable(def->rowCount);
    if (!pending_.empty()) {
      std::vector<Value> row = writer.read(stored);
      for (const auto& [col, v] : pending_)
        row[static_cast<size_t>(cols[static_cast<size_t>(col)].baseColumn)] = v;
      jet::ChangeScope change(db);
      writer.update(stored, row);
      change.commit();
    }
  }
  editMode_ = EditMode::None;
  pending_.clear();
  const bool kept = added ? placeAdded(stored) : changed && keepChanged(stored, index, false);
  if (!kept) reopen(&stored, index);
  lastModified_ = hasCurrent() ? Bookmark() : std::string();
}

void Recordset::Delete() {
  requireUpdatable();
  if (onDeleted_ || !hasCurrent()) noCurrent();
  jet::Database& db = db_.engine();
  jet::IntegrityWriter writer(db, cursor_->baseTable());
  const jet::RowId rid = cursor_->rowId();
  const int64_t index = cursor_->position();
  const bool current = holdsWholeTable(writer.def()->rowCount);
  {
    jet::ChangeScope change(db);
    writer.remove(rid);
    change.commit();
  }
  editMode_ = EditMode::None;
  pending_.clear();
  if (!current || !keepChanged(rid, index, true)) reopen(nullptr, index);
  onDeleted_ = true;
  notify();
}

uint64_t Recordset::readStamp() const {
  jet::Database& db = db_.engine();
  if (db.inChange()) return 0;
  // Outside a change every page has the same version, and it moves with
  // every commit, rollback or dropped cache.
  return db.pager().version(0);
}

bool Recordset::holdsWholeTable(uint32_t rowCount) const {
  return openedStamp_ != 0 && readStamp() == openedStamp_ && cursor_->walksPages() && cursor_->fullyFetched() &&
         rowCount == cursor_->recordCount();
}

bool Recordset::keepChanged(jet::RowId rid, int64_t index, bool removed) {
  // The table must hold as many rows as the recordset will (a cascade to
  // the table's own rows would change that), and the record must be where
  // the recordset had it.
  jet::Database& db = db_.engine();
  const uint64_t stamp = readStamp();
  const auto def = db.table(cursor_->baseTable());
  const size_t n = cursor_->recordCount();
  if (stamp == 0 || !def || index < 0 || static_cast<size_t>(index) >= n ||
      def->rowCount != n - (removed ? 1 : 0) || !(cursor_->rowIdAt(static_cast<size_t>(index)) == rid))
    return false;
  const size_t at = static_cast<size_t>(index);
  if (removed ? !cursor_->removeRowId(at) : !cursor_->forgetValues()) return false;
  openedStamp_ = stamp;
  if (complex_) complex_->clear();
  const auto left = static_cast<int64_t>(cursor_->recordCount());
  if (left > 0) cursor_->setBookmark(std::min(index, left - 1));
  if (!removed) notify();
  return true;
}

bool Recordset::placeAdded(jet::RowId rid) {
  // A page walk gives a table's live rows ordered by page, then by slot (the
  // usage map lists pages in ascending order); an insert adds one slot to
  // one page and changes no other row. So the fresh walk is the rows held
  // with rid merged in by that order, provided rid is now a row the walk
  // reaches and the table holds just one row more.
  jet::Database& db = db_.engine();
  const uint64_t stamp = readStamp();
  const auto def = db.table(cursor_->baseTable());
  const size_t n = cursor_->recordCount();
  if (stamp == 0 || !def || def->usedPagesPtr == 0 || def->rowCount != n + 1) return false;
  const auto pages = jet::readUsageMap(db.pager(), def->usedPagesPtr).pages;
  if (!std::binary_search(pages.begin(), pages.end(), rid.page)) return false;
  jet::PageRef holder;
  jet::ByteView bytes;
  if (!jet::readRow(db.pager(), *def, rid, holder, bytes)) return false;
  size_t lo = 0, hi = n;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (cursor_->rowIdAt(mid) < rid) lo = mid + 1;
    else hi = mid;
  }
  // The neighbours must bracket it strictly: a row held already at rid, or
  // rows out of order, mean the rows held are not what the walk gives now.
  if (lo < n && !(rid < cursor_->rowIdAt(lo))) return false;
  if (lo > 0 && !(cursor_->rowIdAt(lo - 1) < rid)) return false;
  if (!cursor_->insertRowId(lo, rid)) return false;
  openedStamp_ = stamp;
  if (complex_) complex_->clear();
  cursor_->setBookmark(static_cast<int64_t>(lo));
  notify();
  return true;
}

void Recordset::reopen(const jet::RowId* rid, int64_t index) {
  openedStamp_ = readStamp();
  auto fresh = sql::openRecordset(db_.engine(), source_, {}, kKeepBytes);
  int64_t at = -1;
  if (rid) {
    // Most often the record keeps its place, or (a record just added to a
    // table read in stored order) comes right after it; otherwise look for it.
    for (int64_t near : {index, index + 1})
      if (at < 0 && near >= 0 && fresh->fetchTo(static_cast<size_t>(near) + 1) &&
          fresh->rowIdAt(static_cast<size_t>(near)) == *rid)
        at = near;
    if (at < 0) {
      for (size_t i = 0; fresh->fetchTo(i + 1); ++i)
        if (fresh->rowIdAt(i) == *rid) {
          at = static_cast<int64_t>(i);
          break;
        }
    }
  }
  if (at < 0 && index >= 0) {
    fresh->fetchTo(static_cast<size_t>(index) + 1);
    const auto n = static_cast<int64_t>(fresh->recordCount());
    at = std::min(index, n - 1);
  }
  cursor_ = std::move(fresh);
  // The hidden tables behind complex fields are read again after a change.
  if (complex_) complex_->clear();
  if (at >= 0) cursor_->setBookmark(at);
  notify();
}

}  // namespace dao
