#include "sql/recordset.h"
#include "sql/errors.h"

#include <algorithm>

#include "jet/error.h"
#include "jet/text.h"

namespace sql {

using jet::Value;

namespace {
[[noreturn]] void noCurrent() { throw jet::Error(jet::err::kNoCurrentRecord, "No current record."); }
constexpr size_t kCacheRows = 4096;

size_t approxSize(const std::vector<Value>& r) {
  size_t n = r.size() * sizeof(Value);
  for (const auto& v : r)
    if (v.bytes().capacity() > 15) n += v.bytes().capacity() + 1;
  return n;
}
}  // namespace

Recordset::Recordset(jet::Database& db, Plan plan, size_t keepBytes, bool walkPages)
    : db_(db), plan_(std::move(plan)), rows_(plan_.columns.size()), keepBytes_(keepBytes) {
  if (plan_.updatable && plan_.baseDef) decoder_ = std::make_unique<jet::RowDecoder>(db_, *plan_.baseDef);
  if (walkPages && decoder_) {
    // Values are always read again through the RowId: nothing is kept but
    // the addresses and the cache of recently used rows.
    keeping_ = false;
    walk_ = std::make_unique<jet::RowAddressScan>(db_, plan_.baseDef);
    // with room for records added later (insertRowId) without moving them all
    rids_.reserve(std::min<size_t>(plan_.baseDef->rowCount, walk_->pages().size() * 256) + 256);
  } else {
    plan_.root->open(nullptr);
  }
  opened_ = true;
  if (fetchTo(1)) pos_ = 0;
}

int Recordset::findColumn(const std::string& name) const {
  for (size_t i = 0; i < plan_.columns.size(); ++i)
    if (jet::equalsNoCase(plan_.columns[i].name, name)) return static_cast<int>(i);
  return -1;
}

bool Recordset::pullOne() {
  if (done_) return false;
  if (walk_) {
    // a page's rows are found together; they are handed out one at a time
    if (rids_.size() <= count_ && !walk_->nextPage(rids_)) {
      done_ = true;
      walk_->release();
      return false;
    }
    ++count_;
    return true;
  }
  Row& r = scratch_;
  r.rid = {};
  if (!plan_.root->next(r)) {
    done_ = true;
    return false;
  }
  if (decoder_) {
    rids_.push_back(r.rid);
    if (keeping_) {
      keptBytes_ += approxSize(r.v);
      if (keptBytes_ > keepBytes_) keeping_ = false;
    }
    if (keeping_) {
      rows_.append(r.v);
    } else {
      if (cache_.size() >= kCacheRows) cache_.clear();
      cache_[count_] = std::move(r.v);
    }
  } else {
    rows_.append(r.v);
  }
  ++count_;
  return true;
}

bool Recordset::fetchTo(size_t n) {
  while (count_ < n)
    if (!pullOne()) return false;
  return true;
}

size_t Recordset::fetchAll() {
  while (pullOne()) {
  }
  return count_;
}

RowView Recordset::load(size_t i) {
  if (i < rows_.size()) return rows_[i];
  auto it = cache_.find(i);
  if (it != cache_.end()) return it->second;
  // read the row again through its RowId, decoding only the columns shown
  std::vector<Value> out(plan_.columns.size());
  jet::PageRef holder;
  jet::ByteView bytes;
  if (jet::readRow(db_.pager(), *plan_.baseDef, rids_[i], holder, bytes)) {
    const size_t width = plan_.baseDef->columns.size();
    const jet::RowLayout row(db_.format(), *plan_.baseDef, bytes);
    for (size_t c = 0; c < plan_.columns.size(); ++c) {
      int b = plan_.columns[c].baseColumn;
      if (b >= 0 && static_cast<size_t>(b) < width) out[c] = decoder_->decodeColumn(row, static_cast<size_t>(b));
    }
  }
  if (cache_.size() >= kCacheRows) cache_.clear();
  return cache_[i] = std::move(out);
}

RowView Recordset::row(size_t i) {
  if (!fetchTo(i + 1)) noCurrent();
  return load(i);
}

jet::RowId Recordset::rowIdAt(size_t i) {
  if (!plan_.updatable) throw jet::Error(jet::err::kReadOnlyRecordset, "Database or object is read-only.");
  if (!fetchTo(i + 1)) noCurrent();
  return rids_[i];
}

bool Recordset::insertRowId(size_t i, jet::RowId rid) {
  if (!walk_ || !done_ || i > count_ || rids_.size() != count_) return false;
  rids_.insert(rids_.begin() + static_cast<std::ptrdiff_t>(i), rid);
  const bool atEof = pos_ >= static_cast<int64_t>(count_);
  ++count_;
  if (atEof) pos_ = static_cast<int64_t>(count_);
  // the cache is keyed by position
  cache_.clear();
  return true;
}

bool Recordset::removeRowId(size_t i) {
  if (!walk_ || !done_ || i >= count_ || rids_.size() != count_) return false;
  rids_.erase(rids_.begin() + static_cast<std::ptrdiff_t>(i));
  --count_;
  cache_.clear();
  if (count_ == 0) pos_ = -1;
  else if (pos_ > static_cast<int64_t>(i)) --pos_;
  return true;
}

bool Recordset::forgetValues() {
  if (!walk_) return false;
  cache_.clear();
  return true;
}

bool Recordset::bof() const { return count_ == 0 || pos_ < 0; }

bool Recordset::eof() const { return count_ == 0 || (pos_ >= static_cast<int64_t>(count_) && done_); }

void Recordset::moveFirst() {
  if (!fetchTo(1)) noCurrent();
  pos_ = 0;
}

void Recordset::moveLast() {
  fetchAll();
  if (count_ == 0) noCurrent();
  pos_ = static_cast<int64_t>(count_) - 1;
}

void Recordset::moveNext() {
  if (eof()) noCurrent();
  int64_t next = pos_ + 1;
  if (fetchTo(static_cast<size_t>(next) + 1)) pos_ = next;
  else pos_ = static_cast<int64_t>(count_);  // EOF
}

void Recordset::movePrevious() {
  if (bof()) noCurrent();
  if (pos_ >= static_cast<int64_t>(count_)) pos_ = static_cast<int64_t>(count_) - 1;
  else pos_ = pos_ - 1;  // -1 is BOF
}

RowView Recordset::current() {
  if (bof() || eof() || pos_ >= static_cast<int64_t>(count_)) noCurrent();
  return load(static_cast<size_t>(pos_));
}

Value Recordset::value(size_t column) {
  const RowView r = current();
  if (column >= r.size()) throw jet::Error(jet::err::kItemNotFound, "Item not found in this collection.");
  return r[column];
}

jet::RowId Recordset::rowId() {
  if (!plan_.updatable) throw jet::Error(jet::err::kReadOnlyRecordset, "Database or object is read-only.");
  current();
  return rids_[static_cast<size_t>(pos_)];
}

Recordset::Bookmark Recordset::bookmark() const {
  if (bof() || eof() || pos_ >= static_cast<int64_t>(count_)) noCurrent();
  return pos_;
}

void Recordset::setBookmark(Bookmark b) {
  if (b < 0 || !fetchTo(static_cast<size_t>(b) + 1)) throw jet::Error(err::kBadBookmark, "Not a valid bookmark.");
  pos_ = b;
}

}  // namespace sql
