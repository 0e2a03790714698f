#include "catalogue/recordset.h"

#include <algorithm>
#include <cctype>

#include "catalogue/complex_text.h"
#include "catalogue/query_fields.h"
#include "sql/engine.h"
#include "sql/recordset.h"

namespace dao {

Recordset::Recordset(Database& db, const std::string& statement) : db_(db), source_(statement) {
  openedStamp_ = readStamp();
  cursor_ = sql::openRecordset(db.engine(), statement, {}, kKeepBytes);
  for (const auto& c : cursor_->columns()) fields_.push_back(fieldOf(c));
  auto complex = std::make_unique<ComplexText>(db.engine(), fields_);
  if (complex->any()) complex_ = std::move(complex);
}

Recordset::~Recordset() = default;

int Recordset::fieldIndex(const std::string& name) const { return cursor_->findColumn(name); }

bool Recordset::BOF() const { return cursor_->bof(); }
bool Recordset::EOF_() const { return cursor_->eof(); }

jet::Value Recordset::value(int col) const {
  if (onDeleted_) throw jet::Error(jet::err::kNoCurrentRecord, "No current record.");
  if (col < 0 || col >= fieldCount())
    throw jet::Error(jet::err::kItemNotFound, "Item not found in this collection.");
  if (complex_) return complex_->shown(col, cursor_->value(static_cast<size_t>(col)));
  return cursor_->value(static_cast<size_t>(col));
}

void Recordset::MoveFirst() {
  leavePending();
  cursor_->moveFirst();
  notify();
}

void Recordset::MovePrevious() {
  leavePending();
  cursor_->movePrevious();
  notify();
}

void Recordset::MoveNext() {
  const bool fromDeleted = onDeleted_;
  leavePending();
  if (fromDeleted && !cursor_->eof()) {
    notify();
    return;
  }
  cursor_->moveNext();
  notify();
}

void Recordset::MoveLast() {
  leavePending();
  cursor_->moveLast();
  notify();
}

int64_t Recordset::RecordCount() const { return static_cast<int64_t>(cursor_->recordCount()); }
int64_t Recordset::countAll() { return static_cast<int64_t>(cursor_->fetchAll()); }
bool Recordset::countKnown() const { return cursor_->fullyFetched(); }

int64_t Recordset::AbsolutePosition() const {
  if (cursor_->bof() || cursor_->eof()) return -1;
  return cursor_->position();
}

void Recordset::setAbsolutePosition(int64_t row) {
  leavePending();
  if (row < 0 || !cursor_->fetchTo(static_cast<size_t>(row) + 1))
    throw jet::Error(jet::err::kInvalidArgument, "Invalid argument.");
  cursor_->setBookmark(row);
  notify();
}

jet::Value Recordset::valueAt(int64_t row, int col) {
  if (row < 0) throw jet::Error(jet::err::kNoCurrentRecord, "No current record.");
  const sql::RowView r = cursor_->row(static_cast<size_t>(row));
  if (col < 0 || col >= static_cast<int>(r.size()))
    throw jet::Error(jet::err::kItemNotFound, "Item not found in this collection.");
  if (complex_) return complex_->shown(col, r[col]);
  return r[col];
}

bool Recordset::rowExists(int64_t row) {
  return row >= 0 && cursor_->fetchTo(static_cast<size_t>(row) + 1);
}

std::optional<std::span<const jet::Value>> Recordset::rowValues(int64_t row) {
  if (!rowExists(row)) return std::nullopt;
  return cursor_->row(static_cast<size_t>(row));
}

std::string Recordset::Bookmark() const { return std::to_string(cursor_->bookmark()); }

void Recordset::setBookmark(const std::string& b) {
  int64_t n = -1;
  try {
    size_t used = 0;
    n = std::stoll(b, &used);
    if (used != b.size()) n = -1;
  } catch (const std::exception&) {
    n = -1;
  }
  cursor_->setBookmark(n);
  leavePending();
  notify();
}

bool Recordset::Updatable() const { return cursor_->updatable(); }

void Recordset::leavePending() {
  onDeleted_ = false;
  editMode_ = EditMode::None;
  pending_.clear();
}

void Recordset::notify() {
  if (onReposition_) onReposition_();
}

std::string Recordset::wholeTable() {
  sql::Recordset& c = cursor();
  if (!c.walksPages() || !c.baseDef()) return {};
  const auto& cols = c.baseDef()->columns;
  if (cols.size() != static_cast<size_t>(fieldCount())) return {};
  for (size_t i = 0; i < cols.size(); ++i)
    if (cols[i].name != Fields()[i].Name) return {};
  return c.baseTable();
}

}  // namespace dao
