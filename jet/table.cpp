#include "jet/table.h"

#include "jet/ext_datetime.h"

#include <algorithm>
#include <array>
#include <string>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/usage_map.h"

namespace jet {

namespace {

constexpr uint16_t kDeletedFlag = 0x8000;
constexpr uint16_t kOverflowFlag = 0x4000;
constexpr uint16_t kOffsetMask = 0x1FFF;
constexpr int kScanAhead = 4;  // rows a scan asks for ahead of the one it hands out

// Byte extent of slot `row` on a data page; false when deleted or absent.
bool slotExtent(const Format& fmt, ByteView page, unsigned row, unsigned& start, unsigned& end,
                uint16_t& flags, bool overflowTarget = false) {
  unsigned count = page.u16(fmt.offDataRowCount);
  if (row >= count) return false;
  uint16_t raw = page.u16(fmt.offDataRows + 2 * row);
  flags = raw & (kDeletedFlag | kOverflowFlag);
  start = raw & kOffsetMask;
  end = row == 0 ? fmt.pageSize : (page.u16(fmt.offDataRows + 2 * (row - 1)) & kOffsetMask);
  // An overflow target carries the deleted flag so that scans skip it; it is
  // live when reached through its pointer.
  if (overflowTarget) flags &= ~kDeletedFlag;
  if (flags & kDeletedFlag) return false;
  if (start >= end || end > fmt.pageSize || start < fmt.offDataRows + 2 * count)
    corrupt("a row has a bad extent");
  return true;
}

}  // namespace

bool readRow(Pager& pager, const TableDef& def, RowId id, PageRef& holder, ByteView& out) {
  uint32_t held = 0;
  return readRow(pager, def, id, holder, held, out);
}

namespace {

// Where slot `row` of a data page of def leads: to its bytes (out), to the
// row it was moved to (movedTo), or nowhere (a page of something else, a
// deleted or missing slot).
enum class SlotLeads { Nowhere, Bytes, Moved };
SlotLeads followSlot(const Format& fmt, const TableDef& def, ByteView page, unsigned row, bool overflowTarget,
                     ByteView& out, RowId& movedTo) {
  if (page.u8(0) != 0x01) return SlotLeads::Nowhere;
  if (def.page != 0 && page.u32(fmt.offDataTdef) != def.page) return SlotLeads::Nowhere;
  unsigned start, end;
  uint16_t flags;
  if (!slotExtent(fmt, page, row, start, end, flags, overflowTarget)) return SlotLeads::Nowhere;
  if (flags & kOverflowFlag) {
    if (end - start < 4) corrupt("an overflow row pointer is truncated");
    movedTo = RowId::unpack(page.u32(start));
    return SlotLeads::Moved;
  }
  out = page.sub(start, end - start);
  return SlotLeads::Bytes;
}

}  // namespace

bool readRow(Pager& pager, const TableDef& def, RowId id, PageRef& holder, uint32_t& heldPage, ByteView& out) {
  const Format& fmt = pager.format();
  for (int hop = 0; hop < 8; ++hop) {
    if (id.page == 0 || id.page >= pager.pageCount()) return false;
    if (!holder || heldPage != id.page) {
      heldPage = 0;  // holder changes
      holder = pager.page(id.page);
      heldPage = id.page;
    }
    switch (followSlot(fmt, def, view(holder), id.row, hop > 0, out, id)) {
      case SlotLeads::Nowhere: return false;
      case SlotLeads::Bytes: return true;
      case SlotLeads::Moved: break;
    }
  }
  corrupt("overflow rows point at each other in a loop");
}

bool peekRow(const Pager& pager, const TableDef& def, RowId id, ByteView& out) {
  if (id.page == 0 || id.page >= pager.pageCount()) return false;
  const uint8_t* d = pager.peek(id.page);
  if (!d) return false;
  RowId movedTo;
  return followSlot(pager.format(), def, ByteView(d, pager.pageSize()), id.row, false, out, movedTo) ==
         SlotLeads::Bytes;
}

void prefetchRowEntry(const Pager& pager, RowId id, bool peeking) { pager.prefetchEntry(id.page, !peeking); }

void prefetchRowPage(const Pager& pager, RowId id, bool peeking) {
  const uint8_t* d = pager.peek(id.page);
  if (!d) return;
  if (peeking) __builtin_prefetch(d);
  else pager.prefetchPage(id.page);
  const size_t at = pager.format().offDataRows + 2 * size_t(id.row);
  if (at + 2 <= pager.pageSize()) __builtin_prefetch(d + at);
}

void prefetchRowBytes(const Pager& pager, RowId id) {
  const uint8_t* d = pager.peek(id.page);
  if (!d) return;
  const Format& fmt = pager.format();
  const size_t at = fmt.offDataRows + 2 * size_t(id.row);
  if (at + 2 > fmt.pageSize || (id.row > 0 && at < 2)) return;
  const unsigned start = (d[at] | (d[at + 1] << 8)) & kOffsetMask;
  const unsigned end = id.row == 0 ? fmt.pageSize : ((d[at - 2] | (d[at - 1] << 8)) & kOffsetMask);
  if (start < end && end <= fmt.pageSize) {
    __builtin_prefetch(d + start);
    __builtin_prefetch(d + end - 1);
  }
}

RowDecoder::RowDecoder(Database& db, const TableDef& def) : db_(db), def_(def) {}

RowLayout::RowLayout(const Format& fmt, const TableDef& def, ByteView r) : row(r), jet3(fmt.jet3) {
  ccSize = fmt.sizeRowColCount;
  const size_t L = row.size;
  if (L < ccSize) corrupt("a row is shorter than its header");
  colCount = ccSize == 1 ? row.u8(0) : row.u16(0);
  nms = (colCount + 7) / 8;
  if (nms + ccSize > L) corrupt("a row's null mask does not fit");
  fixedEnd = L - nms;
  hasVar = def.varColCount > 0;
  if (!hasVar) return;
  // A bad offset table is reported only when a value is looked for in it:
  // Null and Yes/No columns do not need it.
  if (jet3) {
    if (L < nms + 2) {
      badVar = true;
      return;
    }
    varCount = row.u8(L - nms - 1);
    numJumps = (L - 1) / 256;
    if (L < nms + 2 + numJumps) {
      badVar = true;
      return;
    }
    tablePos = L - nms - 2 - numJumps;  // position of entry 0 (var col 0)
    if (tablePos < varCount || tablePos >= L) {
      badVar = true;
      return;
    }
  } else {
    if (L < nms + 2) {
      badVar = true;
      return;
    }
    varCount = row.u16(L - nms - 2);
    tablePos = L - nms - 2;
    if (2 * (varCount + 1) > tablePos) {
      badVar = true;
      return;
    }
  }
  fixedEnd = varOffset(0);
}

size_t RowLayout::varOffset(size_t i) const {
  if (!jet3) return row.u16(tablePos - 2 * (i + 1));
  // Jet 3: entry i at tablePos - i, plus 256 for every jump-table entry
  // whose column number is <= i.
  const size_t L = row.size;
  size_t jumps = 0;
  for (size_t j = 0; j < numJumps; ++j)
    if (row.u8(L - nms - 2 - j) <= i) ++jumps;
  return row.u8(tablePos - i) + 256 * jumps;
}

ColumnBytes RowLayout::locate(const Column& c) const {
  ColumnBytes out;
  const size_t L = row.size;
  bool present = false;
  if (c.number < colCount) {
    uint8_t maskByte = row.u8(L - nms + c.number / 8);
    present = (maskByte >> (c.number % 8)) & 1;
  }
  if (c.rawType == coltype::kBool) {
    out.boolValue = present;
    return out;
  }
  if (!present) return out;
  if (badVar) corrupt("a row's offset table does not fit");
  if (c.fixed()) {
    size_t off = ccSize + c.fixedOffset;
    size_t len = fixedDataWidth(c);
    // A column added after the row was written lies beyond its fixed area.
    if (off + len > fixedEnd || off + len > L) return out;
    out.present = true;
    out.data = row.sub(off, len);
    return out;
  }
  if (!hasVar || c.varIndex >= varCount) return out;
  const size_t a = varOffset(c.varIndex), b = varOffset(c.varIndex + 1);
  if (a > b || b > L) corrupt("a variable-length value lies outside its row");
  out.present = true;
  out.data = row.sub(a, b - a);
  return out;
}

ColumnBytes locateColumn(const Format& fmt, const TableDef& def, ByteView row, const Column& c) {
  return RowLayout(fmt, def, row).locate(c);
}

namespace {
Value extDateTimeValue(ByteView d) {
  auto v = parseStoredExtDateTime(d);
  if (!v) corrupt("a Date/Time Extended value is not a valid date");
  return Value::text(extDateTimeText(*v), DataType::ExtDateTime);
}
}  // namespace

Value RowDecoder::decodeFixed(ByteView d, const Column& c) const {
  switch (c.rawType) {
    case coltype::kByte: return Value::byte(d.u8(0));
    case coltype::kInt: return Value::integer(d.i16(0));
    case coltype::kLong: return Value::longInt(d.i32(0));
    case coltype::kComplex: return Value::complex(d.i32(0));
    case coltype::kMoney: return Value::currency(d.i64(0));
    case coltype::kFloat: return Value::single(d.f32(0));
    case coltype::kDouble: return Value::dbl(d.f64(0));
    case coltype::kDateTime: return Value::dateTime(d.f64(0));
    case coltype::kBigInt: return Value::bigInt(d.i64(0));
    case coltype::kGuid: {
      std::array<uint8_t, 16> g;
      for (int i = 0; i < 16; ++i) g[i] = d.u8(i);
      return Value::guid(g);
    }
    case coltype::kNumeric: {
      // Sign byte, then the 128-bit magnitude as four 32-bit little-endian
      // words, most significant word first.
      unsigned __int128 mag = 0;
      for (int w = 0; w < 4; ++w) mag = (mag << 32) | d.u32(1 + 4 * w);
      Decimal dec;
      dec.mantissa = static_cast<__int128>(mag);
      if (d.u8(0) & 0x80) dec.mantissa = -dec.mantissa;
      dec.scale = c.scale;
      dec.precision = c.precision;
      return Value::decimal(dec);
    }
    case coltype::kText: return Value::text(db_.decodeText(d));
    case coltype::kExtDateTime: return extDateTimeValue(d);
    default:
      return Value::binary(d.str(0, d.size));
  }
}

Value RowDecoder::decodeVar(ByteView d, const Column& c) const {
  switch (c.rawType) {
    case coltype::kText: return Value::text(db_.decodeText(d));
    case coltype::kMemo: {
      std::string raw = db_.readLongValue(d);
      return Value::memo(db_.decodeText(ByteView(reinterpret_cast<const uint8_t*>(raw.data()), raw.size())));
    }
    case coltype::kOle: return Value::binary(db_.readLongValue(d), DataType::OLE);
    case coltype::kBinary: return Value::binary(d.str(0, d.size));
    case coltype::kNumeric: case coltype::kGuid: case coltype::kLong: case coltype::kInt:
    case coltype::kDouble: case coltype::kDateTime: case coltype::kMoney: case coltype::kFloat:
    case coltype::kByte: case coltype::kBigInt: case coltype::kComplex: case coltype::kExtDateTime:
      // Fixed types stored in the variable area (seen with some converters).
      return d.size >= fixedDataWidth(c) ? decodeFixed(d, c) : Value();
    default:
      return Value::binary(d.str(0, d.size));
  }
}

// Calculated columns store their last result behind a 16-byte header and a
// 4-byte length, encoded as the result type (not the column's own type).
Value RowDecoder::decodeCalculated(ByteView d, const Column& c) const {
  std::string longValue;
  const uint8_t resultRaw = c.calcResultRaw ? c.calcResultRaw : c.rawType;
  if (resultRaw == coltype::kMemo || resultRaw == coltype::kOle) {
    // Long results keep the header inside the long value.
    longValue = db_.readLongValue(d);
    d = ByteView(reinterpret_cast<const uint8_t*>(longValue.data()), longValue.size());
  }
  if (d.size < 20) return Value();
  size_t n = d.u32(16);
  if (20 + n > d.size) corrupt("a calculated value is longer than its column");
  ByteView p = d.sub(20, n);
  if (n == 0) return Value();
  Column rc = c;
  rc.rawType = resultRaw;
  switch (rc.rawType) {
    case coltype::kBool: return Value::boolean(p.u8(0) != 0);
    case coltype::kText: return Value::text(db_.decodeText(p));
    case coltype::kMemo: return Value::memo(db_.decodeText(p));
    case coltype::kNumeric: {
      // [precision][0][scale][sign] [high 32 bits] [low 64 bits]
      if (p.size < 16) return Value();
      unsigned __int128 mag = (static_cast<unsigned __int128>(p.u32(4)) << 64) | p.u64(8);
      Decimal dec;
      dec.mantissa = static_cast<__int128>(mag);
      if (p.u8(3) & 0x80) dec.mantissa = -dec.mantissa;
      dec.scale = p.u8(2);
      dec.precision = p.u8(0);
      return Value::decimal(dec);
    }
    default:
      if (p.size < fixedDataWidth(rc)) return Value();
      return decodeFixed(p, rc);
  }
}

bool RowDecoder::readsOnlyRow(const Column& c) {
  auto inRow = [](uint8_t raw) { return raw != coltype::kMemo && raw != coltype::kOle; };
  if (!inRow(c.rawType)) return false;
  return !c.calculated() || inRow(c.calcResultRaw ? c.calcResultRaw : c.rawType);
}

Value RowDecoder::decodeColumn(ByteView row, size_t col) const {
  return decodeColumn(RowLayout(db_.format(), def_, row), col);
}

Value RowDecoder::decodeColumn(const RowLayout& row, size_t col) const {
  const Column& c = def_.columns.at(col);
  ColumnBytes cb = row.locate(c);
  if (c.rawType == coltype::kBool) return Value::boolean(cb.boolValue);
  if (!cb.present) return Value();
  ByteView d = cb.data;
  if (c.calculated()) return decodeCalculated(d, c);
  return c.fixed() ? decodeFixed(d, c) : decodeVar(d, c);
}

void RowDecoder::decode(ByteView row, std::vector<Value>& out) const {
  out.resize(def_.columns.size());
  const RowLayout layout(db_.format(), def_, row);
  for (size_t i = 0; i < def_.columns.size(); ++i) out[i] = decodeColumn(layout, i);
}

TableScan::TableScan(Database& db, std::shared_ptr<const TableDef> def)
    : db_(db), def_(std::move(def)), decoder_(db, *def_) {
  if (def_->usedPagesPtr != 0) {
    UsageMap um = readUsageMap(db_.pager(), def_->usedPagesPtr);
    pages_ = std::move(um.pages);
  }
}

TableScan::TableScan(Database& db, std::shared_ptr<const TableDef> def, std::vector<uint32_t> pages)
    : db_(db), def_(std::move(def)), decoder_(db, *def_), pages_(std::move(pages)) {}

void TableScan::reset() {
  pageIdx_ = 0;
  slot_ = -1;
  page_.reset();
  current_ = RowId{};
}

bool TableScan::next() {
  const Format& fmt = db_.format();
  Pager& pager = db_.pager();
  decoded_ = false;
  for (;;) {
    if (!page_) {
      while (pageIdx_ < pages_.size()) {
        uint32_t pg = pages_[pageIdx_];
        PageRef p = pager.page(pg);
        ByteView b = view(p);
        if (b.u8(0) == 0x01 && b.u32(fmt.offDataTdef) == def_->page) {
          page_ = p;
          slot_ = -1;
          break;
        }
        ++pageIdx_;
      }
      if (!page_) return false;
    }
    ByteView b = view(page_);
    unsigned count = b.u16(fmt.offDataRowCount);
    while (++slot_ < static_cast<int>(count)) {
      uint16_t raw = b.u16(fmt.offDataRows + 2 * slot_);
      if (raw & kDeletedFlag) continue;
      RowId id{pages_[pageIdx_], static_cast<uint16_t>(slot_)};
      if (!(raw & kOverflowFlag)) {
        // Stored in place: the row is on the page at hand (no second lookup).
        unsigned start, end;
        uint16_t flags;
        if (!slotExtent(fmt, b, static_cast<unsigned>(slot_), start, end, flags)) continue;
        rowHolder_.reset();
        row_ = b.sub(start, end - start);
        current_ = id;
        // The rows a few slots on are asked for early: each row's first
        // touch would otherwise wait on memory.
        if (slot_ + kScanAhead < static_cast<int>(count)) {
          const unsigned at = (b.u16(fmt.offDataRows + 2 * (slot_ + kScanAhead)) & kOffsetMask);
          if (at < b.size) __builtin_prefetch(b.data + at);
        }
        return true;
      }
      if (readRow(pager, *def_, id, rowHolder_, row_)) {
        current_ = id;
        return true;
      }
    }
    page_.reset();
    ++pageIdx_;
  }
}

const std::vector<Value>& TableScan::values() {
  if (!decoded_) {
    decoder_.decode(row_, values_);
    decoded_ = true;
  }
  return values_;
}

Value TableScan::value(size_t col) {
  if (decoded_) return values_.at(col);
  return decoder_.decodeColumn(row_, col);
}

}  // namespace jet
