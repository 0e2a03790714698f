// SELECT DISTINCT of one field through an index whose first field it is:
// the cursor jumps from one distinct key of that field to the next (a seek
// past every entry that starts with the current one) instead of reading
// every entry, and the value is taken from the key itself, so no row is
// read. Only for fields whose key holds the value exactly (the integer
// types, Currency, Date/Time): there, entries with equal keys hold equal
// values, and the value shown is the one every row of the group has.
// Texts (see makeIndexTextDistinct) have keys that hold no text to show:
// one row of each distinct key is read for it.
#include "jet/index.h"
#include "jet/index_key.h"
#include "sql/exec.h"

#include <cstring>

namespace sql {

using jet::Value;
namespace coltype = jet::coltype;

namespace {

// Bytes of the value after the key's flag byte, by stored type (0: a type
// whose key does not hold the value exactly).
size_t valueWidth(uint8_t rawType) {
  switch (rawType) {
    case coltype::kByte: return 1;
    case coltype::kInt: return 2;
    case coltype::kLong: return 4;
    case coltype::kMoney: case coltype::kBigInt: case coltype::kDateTime: return 8;
    default: return 0;
  }
}

class IndexDistinctOp : public Op {
 public:
  IndexDistinctOp(jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex, size_t column, size_t w,
                  bool text)
      : db_(db), def_(std::move(def)), ri_(def_->realIndexes.at(static_cast<size_t>(realIndex))), column_(column),
        text_(text), decoder_(db_, *def_) {
    width = w;
    const auto& col = def_->columns.at(column_);
    rawType_ = col.rawType;
    valueWidth_ = valueWidth(rawType_);
    if (ri_.columns.empty() || ri_.columns[0].column != static_cast<int>(column_) ||
        (text_ ? ri_.columns.size() != 1 || !ri_.columns[0].ascending || rawType_ != coltype::kText : valueWidth_ == 0))
      throw jet::Error(jet::err::kNotSupported, "This index cannot give the field's distinct values.");
    asc_ = ri_.columns[0].ascending;
  }
  void open(const Frame*) override {
    cursor_ = std::make_unique<jet::IndexCursor>(db_, ri_);
    cursor_->beforeFirst();
    pending_ = false;
  }
  bool next(Row& out) override {
    if (text_) return nextText(out);
    if (!cursor_) return false;
    if (!pending_ && !cursor_->next()) return false;
    pending_ = false;
    const auto& key = cursor_->key();
    if (key.empty()) corrupt();
    const uint8_t flag = key[0];
    out.v.assign(width, Value());
    out.rid = cursor_->rowId();
    std::vector<uint8_t>& group = group_;
    if (flag == (asc_ ? jet::keyflag::kAscNull : jet::keyflag::kDescNull)) {
      group.assign(1, flag);
    } else if (flag == (asc_ ? jet::keyflag::kAscStart : jet::keyflag::kDescStart) && key.size() > valueWidth_) {
      group.assign(key.begin(), key.begin() + static_cast<std::ptrdiff_t>(1 + valueWidth_));
      out.v[column_] = decode(group.data() + 1);
    } else {
      corrupt();
    }
    // The next few entries are read in turn (a field of few repeats gets
    // its next value without a seek); past them, a seek skips the rest.
    for (int i = 0; i < kReadBeforeSeek; ++i) {
      if (!cursor_->next()) {
        cursor_.reset();  // the end
        return true;
      }
      if (!jet::keyStartsWith(cursor_->key(), group)) {
        pending_ = true;
        return true;
      }
    }
    cursor_->seekPast(group);
    return true;
  }

 private:
  // Texts: the index has the one field, ascending, so an entry's key is the
  // text's whole key (flag and codes, ending with the only 00 byte of the
  // codes), no key starts with another, and equal keys are equal texts. The
  // text shown is the first readable row's of the key.
  bool nextText(Row& out) {
    for (;;) {
      if (!cursor_) return false;
      if (!pending_ && !cursor_->next()) return false;
      pending_ = false;
      group_ = cursor_->key();
      if (group_.empty()) corrupt();
      out.v.assign(width, Value());
      out.rid = cursor_->rowId();
      bool have;
      if (group_[0] == jet::keyflag::kAscNull) have = true;
      else if (group_[0] == jet::keyflag::kAscStart) have = readText(cursor_->rowId(), out);
      else corrupt();
      for (int i = 0;; ++i) {
        if (have && i >= kReadBeforeSeek) {
          cursor_->seekPast(group_);
          break;
        }
        if (!cursor_->next()) {
          cursor_.reset();  // the end
          break;
        }
        if (cursor_->key() != group_) {
          pending_ = true;
          break;
        }
        // an entry whose row is gone: the next of the key stands in
        if (!have) have = readText(cursor_->rowId(), out);
      }
      holder_.reset();
      if (have) return true;
    }
  }

  bool readText(jet::RowId rid, Row& out) {
    if (!jet::readRow(db_.pager(), *def_, rid, holder_, heldPage_, bytes_)) return false;
    out.v[column_] = decoder_.decodeColumn(bytes_, column_);
    out.rid = rid;
    return true;
  }

  [[noreturn]] static void corrupt() {
    throw jet::Error(jet::err::kCorrupt, "An index entry's key does not fit its field's type.");
  }

  // The value of a key's bytes (after the flag), as the column stores it.
  Value decode(const uint8_t* p) const {
    uint8_t b[8];
    std::memcpy(b, p, valueWidth_);
    if (!asc_)
      for (size_t i = 0; i < valueWidth_; ++i) b[i] = static_cast<uint8_t>(~b[i]);
    if (rawType_ == coltype::kByte) return Value::byte(b[0]);
    uint64_t u = 0;
    if (rawType_ == coltype::kDateTime) {
      // non-negative: sign bit set; negative: every bit inverted
      if (b[0] & 0x80) b[0] &= 0x7F;
      else
        for (size_t i = 0; i < 8; ++i) b[i] = static_cast<uint8_t>(~b[i]);
      for (size_t i = 0; i < 8; ++i) u = (u << 8) | b[i];
      double d;
      std::memcpy(&d, &u, sizeof d);
      return Value::dateTime(d);
    }
    b[0] ^= 0x80;
    for (size_t i = 0; i < valueWidth_; ++i) u = (u << 8) | b[i];
    const unsigned shift = static_cast<unsigned>(64 - 8 * valueWidth_);
    const int64_t n = static_cast<int64_t>(u << shift) >> shift;  // sign-extended
    switch (rawType_) {
      case coltype::kInt: return Value::integer(static_cast<int16_t>(n));
      case coltype::kLong: return Value::longInt(static_cast<int32_t>(n));
      case coltype::kMoney: return Value::currency(n);
      default: return Value::bigInt(n);
    }
  }

  jet::Database& db_;
  std::shared_ptr<const jet::TableDef> def_;
  const jet::RealIndex& ri_;
  size_t column_;
  uint8_t rawType_ = 0;
  size_t valueWidth_ = 0;
  bool asc_ = true;
  bool text_ = false;
  jet::RowDecoder decoder_;
  jet::PageRef holder_;
  uint32_t heldPage_ = 0;  // the page holder_ holds
  jet::ByteView bytes_;
  std::unique_ptr<jet::IndexCursor> cursor_;
  std::vector<uint8_t> group_;  // the current value's key bytes
  bool pending_ = false;  // the cursor is on the next group's first entry
  static constexpr int kReadBeforeSeek = 4;
};

}  // namespace

bool indexHoldsValuesExactly(uint8_t rawType) { return valueWidth(rawType) != 0; }

OpP makeIndexDistinct(jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex, size_t column,
                      size_t width) {
  return std::make_unique<IndexDistinctOp>(db, std::move(def), realIndex, column, width, false);
}

OpP makeIndexTextDistinct(jet::Database& db, std::shared_ptr<const jet::TableDef> def, int realIndex, size_t column,
                          size_t width) {
  return std::make_unique<IndexDistinctOp>(db, std::move(def), realIndex, column, width, true);
}

}  // namespace sql
