#include "jet/table_writer.h"

#include <algorithm>
#include <cmath>
#include <random>

#include "jet/calculated.h"
#include "jet/error.h"
#include "jet/index_key.h"
#include "jet/page_alloc.h"
#include "jet/row_encoder.h"
#include "jet/usage_map.h"

namespace jet {

namespace {

// ACE table definitions keep the last complex id given to a row here.
constexpr size_t kTdefComplexCounter = 28;

std::array<uint8_t, 16> newGuid() {
  static std::random_device rd;
  static std::mt19937_64 gen(rd());
  std::array<uint8_t, 16> g;
  uint64_t a = gen(), b = gen();
  for (int i = 0; i < 8; ++i) { g[i] = uint8_t(a >> (8 * i)); g[8 + i] = uint8_t(b >> (8 * i)); }
  g[7] = (g[7] & 0x0F) | 0x40;  // version 4
  g[8] = (g[8] & 0x3F) | 0x80;
  return g;
}

[[noreturn]] void noCurrentRecord() { throw Error(err::kNoCurrentRecord, "No current record."); }

// Whether an index's key columns hold the same values in both rows, so that
// its key cannot have changed (floating values compared bit for bit: 0 and
// -0 are equal as numbers but not as keys).
bool sameKeyValues(const RealIndex& ri, const std::vector<Value>& a, const std::vector<Value>& b) {
  for (const IndexColumn& ic : ri.columns) {
    if (ic.column < 0 || static_cast<size_t>(ic.column) >= a.size() || static_cast<size_t>(ic.column) >= b.size())
      return false;
    const Value& x = a[ic.column];
    const Value& y = b[ic.column];
    if (!(x == y)) return false;
    if ((x.type() == DataType::Double || x.type() == DataType::Single || x.type() == DataType::DateTime) &&
        std::signbit(x.asDouble()) != std::signbit(y.asDouble()))
      return false;
  }
  return true;
}

}  // namespace

TableWriter::TableWriter(Database& db, const std::string& tableName) : db_(db), name_(tableName) {
  auto d = db.table(tableName);
  tdefPage_ = d->page;
  name_ = d->name;
}

TableWriter::TableWriter(Database& db, uint32_t tdefPage, const std::string& tableName)
    : db_(db), tdefPage_(tdefPage), name_(tableName) {}

std::shared_ptr<const TableDef> TableWriter::def() {
  load();
  return def_;
}

void TableWriter::load() {
  if (rollbacks_ != db_.rollbackCount()) {
    // A change was rolled back since the last call (perhaps one this writer
    // took part in): what it remembers of pages may be gone.
    rollbacks_ = db_.rollbackCount();
    ix_.clear();
    lv_.reset();
    lastPageKnown_ = false;
    def_.reset();
  }
  auto d = db_.tableAtPage(tdefPage_, name_);
  if (d != def_) {
    bool structural = !def_ || d->realIndexes.size() != def_->realIndexes.size();
    def_ = d;
    if (structural) ix_.clear();
  }
  if (!lv_) {
    // The whole definition, for the long-value maps after the index names.
    std::vector<uint8_t> bytes;
    uint32_t pg = tdefPage_;
    for (int n = 0; pg != 0 && n < 256; ++n) {
      PageRef p = db_.pager().page(pg);
      if (bytes.empty()) bytes.assign(p->begin(), p->end());
      else bytes.insert(bytes.end(), p->begin() + 8, p->end());
      pg = view(p).u32(4);
    }
    // Jet 3 files keep long-value pages out of the table's map (readers
    // expect only its data pages there).
    const bool jet3 = db_.format().jet3;
    lv_ = std::make_unique<LongValueWriter>(db_.pager(), jet3 ? 0 : def_->usedPagesPtr,
                                            jet3 ? std::map<uint16_t, LongValueMaps>{}
                                                 : parseLongValueMaps(bytes, db_.format()));
  }
}

IndexWriter& TableWriter::indexWriter(size_t real) {
  if (ix_.size() != def_->realIndexes.size()) ix_.resize(def_->realIndexes.size());
  if (!ix_[real]) {
    const RealIndex& r = def_->realIndexes[real];
    ix_[real] = std::make_unique<IndexWriter>(db_.pager(), tdefPage_, r.rootPage, r.usedPagesPtr);
  }
  return *ix_[real];
}

std::vector<Value> TableWriter::valuesByName(const std::vector<std::pair<std::string, Value>>& named) {
  load();
  std::vector<Value> out(def_->columns.size());
  for (const auto& [n, v] : named) {
    int c = def_->findColumn(n);
    if (c < 0) throw Error(err::kItemNotFound, "Item not found in this collection: field '" + n + "'.");
    out[c] = v;
  }
  return out;
}

// An index this engine cannot keep in step must not be left behind: such a
// table is not changed at all.
void TableWriter::requireMaintainable() {
  const TableDef& d = *def_;
  for (size_t r = 0; r < d.realIndexes.size(); ++r) {
    std::string why;
    if (canEncodeKey(db_.format(), d, d.realIndexes[r], &why)) continue;
    std::string idxName;
    for (const auto& ix : d.indexes)
      if (ix.realIndex == static_cast<int>(r)) { idxName = ix.name; break; }
    throw Error(err::kNotSupported, "Table '" + d.name + "' cannot be changed: its index '" + idxName +
                                        "' cannot be maintained (" + why + ").");
  }
}

// Coerces and checks the values of a row about to be stored. Nothing is
// written here.
std::vector<Value> TableWriter::prepare(const std::vector<Value>& in, const std::vector<Value>* old, RowId self) {
  requireMaintainable();
  const TableDef& d = *def_;
  const Format& fmt = db_.format();
  if (in.size() != d.columns.size())
    throw Error(err::kNotSupported, "A row for table '" + d.name + "' needs " +
                                        std::to_string(d.columns.size()) + " values.");
  std::vector<Value> vals(in.size());
  for (size_t i = 0; i < d.columns.size(); ++i) {
    const Column& c = d.columns[i];
    if (c.calculated()) continue;  // computed below, once every other value is known
    if (c.rawType == coltype::kComplex) {
      // Complex fields are not written by this engine: they keep their
      // complex id (a new row gets a fresh id with no entries, below).
      vals[i] = old ? (*old)[i] : Value();
      continue;
    }
    if (c.autoNumber() && old) {
      vals[i] = (*old)[i];
      continue;
    }
    if (c.autoLong() && in[i].isNull()) continue;  // numbered when stored
    if (c.autoGuid() && in[i].isNull()) {
      vals[i] = Value::guid(newGuid());
      continue;
    }
    vals[i] = coerceValue(fmt, c, in[i]);
    if (vals[i].isNull() && c.requiredProp && c.rawType != coltype::kBool)
      throw Error(err::kRequiredNull, "You must enter a value in the '" + d.name + "." + c.name +
                                          "' field.");
  }
  // Auto-numbers are assigned here so that keys can be checked. A new
  // row's complex fields each take the table's next complex id (a counter
  // of its own in the definition), with no entries yet.
  uint32_t lastComplex = complexCounter();
  for (size_t i = 0; i < d.columns.size(); ++i) {
    const Column& c = d.columns[i];
    if (c.rawType == coltype::kComplex) {
      if (!old && c.autoLong() && vals[i].isNull() && fmt.ace) {
        if (lastComplex >= 0x7FFFFFFF) throw Error(err::kNotSupported, "The complex ids of '" + d.name + "' are exhausted.");
        vals[i] = Value::complex(static_cast<int32_t>(++lastComplex));
      }
      continue;
    }
    if (c.autoLong() && !old && vals[i].isNull()) {
      int64_t next = int64_t(d.nextAutoNumber) + 1;
      if (next > 0x7FFFFFFF) throw Error(err::kNotSupported, "The auto-number of '" + d.name + "' is exhausted.");
      vals[i] = Value::longInt(static_cast<int32_t>(next));
    }
  }
  // Calculated columns from the row as it will be stored: never a stale value.
  computeCalculated(db_.expressionEvaluator(), fmt, d, vals);
  for (size_t r = 0; r < d.realIndexes.size(); ++r) {
    const RealIndex& ri = d.realIndexes[r];
    if (ri.required() && keyHasNull(d, ri, vals)) {
      throw Error(err::kIndexNull, "Index or primary key cannot contain a Null value.");
    }
    if (!ri.unique() || keyHasNull(d, ri, vals)) continue;
    if (old && sameKeyValues(ri, *old, vals)) continue;
    auto key = encodeIndexKey(fmt, d, ri, vals);
    if (old) {
      auto oldKey = encodeIndexKey(fmt, d, ri, *old);
      if (oldKey == key) continue;
    }
    RowId other;
    if (indexWriter(r).findKey(key, self, &other)) {
      std::string idxName;
      for (const auto& ix : d.indexes)
        if (ix.realIndex == static_cast<int>(r)) { idxName = ix.name; break; }
      throw Error(err::kDuplicateKey,
                  "The changes you requested to the table were not successful because they would "
                  "create duplicate values in the index, primary key, or relationship (index '" +
                      idxName + "' of table '" + d.name + "').");
    }
  }
  return vals;
}

std::vector<uint8_t> TableWriter::buildRow(const std::vector<Value>& vals,
                                           const std::vector<std::string>* keepLong) {
  const TableDef& d = *def_;
  const Format& fmt = db_.format();
  const uint16_t cp = db_.header().codePage;
  std::vector<CellData> cells(d.columns.size());
  std::vector<size_t> longCols;
  std::vector<std::pair<size_t, std::string>> longCalc;  // long calculated cells' content
  for (size_t i = 0; i < d.columns.size(); ++i) {
    const Column& c = d.columns[i];
    const Value& v = vals[i];
    if (c.rawType == coltype::kBool) {
      cells[i].present = !v.isNull() && v.asBool();
      continue;
    }
    if (keepLong && !(*keepLong)[i].empty()) {
      cells[i].present = true;
      cells[i].bytes = (*keepLong)[i];
      continue;
    }
    if (v.isNull()) continue;
    cells[i].present = true;
    if (c.calculated()) {
      std::string cell = encodeCalculatedCell(fmt, cp, c, v);
      if (calculatedIsLong(c)) {
        longCalc.emplace_back(i, std::move(cell));
        cells[i].bytes.assign(12, '\0');
      } else {
        cells[i].bytes = std::move(cell);
      }
      continue;
    }
    if (c.isLongValue()) {
      longCols.push_back(i);
      cells[i].bytes.assign(12, '\0');
      continue;
    }
    cells[i].bytes = encodeCellBytes(fmt, cp, c, v);
  }
  if (!longCols.empty() || !longCalc.empty()) {
    size_t base = encodeRow(fmt, d, cells).size();
    size_t room = base < fmt.maxRowSize ? fmt.maxRowSize - base : 0;
    for (auto& [i, content] : longCalc) {
      cells[i].bytes = lv_->write(d.columns[i].number, content, room);
      size_t grew = cells[i].bytes.size() - 12;
      room = room > grew ? room - grew : 0;
    }
    for (size_t i : longCols) {
      const Column& c = d.columns[i];
      std::string data = c.rawType == coltype::kMemo ? encodeStoredText(fmt, cp, c, vals[i].bytes())
                                                    : vals[i].bytes();
      // Jet 3 offsets reach past 255 only with the jump table; keep inline
      // data small there too.
      cells[i].bytes = lv_->write(c.number, data, room);
      size_t grew = cells[i].bytes.size() - 12;
      room = room > grew ? room - grew : 0;
    }
  }
  std::vector<uint8_t> row = encodeRow(fmt, d, cells);
  if (row.size() > fmt.maxRowSize)
    throw Error(err::kRecordTooLarge, "Record is too large.");
  return row;
}

RowId TableWriter::placeNew(const std::vector<uint8_t>& row) {
  const Format& fmt = db_.format();
  Pager& pager = db_.pager();
  const TableDef& d = *def_;
  if (!lastPageKnown_) {
    lastPageKnown_ = true;
    lastPage_ = 0;
    if (d.usedPagesPtr) {
      auto pages = readUsageMap(pager, d.usedPagesPtr).pages;
      for (auto it = pages.rbegin(); it != pages.rend(); ++it) {
        PageRef p = pager.page(*it);
        if ((*p)[0] == pagetype_w::kData && view(p).u32(fmt.offDataTdef) == d.page) {
          lastPage_ = *it;
          break;
        }
      }
    }
  }
  if (lastPage_) {
    PageRef cur = pager.page(lastPage_);
    if ((*cur)[0] == pagetype_w::kData && view(cur).u32(fmt.offDataTdef) == d.page &&
        dataPageFree(fmt, *cur) >= row.size() + 2 && view(cur).u16(fmt.offDataRowCount) < 255) {
      PageBuf& p = pager.modify(lastPage_);
      unsigned slot;
      if (appendSlot(fmt, p, row, slot)) return RowId{lastPage_, static_cast<uint16_t>(slot)};
    }
  }
  uint32_t pg = allocatePage(pager);
  PageBuf& p = pager.modify(pg);
  initDataPage(fmt, p, d.page);
  std::vector<SlotContent> slots(1);
  slots[0].bytes = row;
  if (!writeSlots(fmt, p, slots)) throw Error(err::kRecordTooLarge, "Record is too large.");
  if (d.usedPagesPtr) UsageMapEditor(pager, d.usedPagesPtr).add(pg);
  if (d.freePagesPtr) UsageMapEditor(pager, d.freePagesPtr).add(pg);
  lastPage_ = pg;
  return RowId{pg, 0};
}

uint32_t TableWriter::complexCounter() {
  if (!db_.format().ace) return 0;
  PageRef t = db_.pager().page(tdefPage_);
  return ByteView(t->data(), t->size()).u32(kTdefComplexCounter);
}

void TableWriter::setCounts(int rowDelta, uint32_t autoNumber) {
  const Format& fmt = db_.format();
  PageBuf& t = db_.pager().modify(tdefPage_);
  ByteView tv(t.data(), t.size());
  uint32_t rows = tv.u32(fmt.offTdefRowCount);
  rows = static_cast<uint32_t>(std::max<int64_t>(0, int64_t(rows) + rowDelta));
  put32(t.data() + fmt.offTdefRowCount, rows);
  if (autoNumber > tv.u32(fmt.offTdefAutoNumber)) put32(t.data() + fmt.offTdefAutoNumber, autoNumber);
  // Each real index keeps a copy of the row count.
  uint32_t realCount = tv.u32(fmt.offTdefRealIdxCount);
  for (uint32_t i = 0; i < realCount; ++i) {
    size_t off = fmt.offTdefRealIdxStart + size_t(i) * fmt.sizeRealIdxRowCount + 4;
    if (off + 4 <= t.size()) put32(t.data() + off, rows);
  }
  db_.setCachedTableCounts(tdefPage_, rows, tv.u32(fmt.offTdefAutoNumber));
}

bool TableWriter::readRaw(RowId id, std::vector<uint8_t>& bytes, RowId& where) {
  Pager& pager = db_.pager();
  const Format& fmt = db_.format();
  if (!id.valid() || id.page >= pager.pageCount()) return false;
  PageRef p = pager.page(id.page);
  if ((*p)[0] != pagetype_w::kData || view(p).u32(fmt.offDataTdef) != def_->page) return false;
  auto slots = readSlots(fmt, *p);
  if (id.row >= slots.size() || (slots[id.row].flags & slotflag::kDeleted)) return false;
  where = id;
  if (slots[id.row].flags & slotflag::kOverflow) {
    if (slots[id.row].end - slots[id.row].start < 4) corrupt("an overflow row pointer is truncated");
    where = RowId::unpack(view(p).u32(slots[id.row].start));
    if (where.page >= pager.pageCount()) corrupt("an overflow row points outside the file");
    PageRef q = pager.page(where.page);
    auto qs = readSlots(fmt, *q);
    if (where.row >= qs.size()) corrupt("an overflow row points at a missing row");
    bytes.assign(q->begin() + qs[where.row].start, q->begin() + qs[where.row].end);
    return true;
  }
  bytes.assign(p->begin() + slots[id.row].start, p->begin() + slots[id.row].end);
  return true;
}

std::vector<Value> TableWriter::read(RowId id) {
  load();
  std::vector<uint8_t> bytes;
  RowId where;
  if (!readRaw(id, bytes, where)) noCurrentRecord();
  RowDecoder dec(db_, *def_);
  std::vector<Value> out;
  dec.decode(ByteView(bytes.data(), bytes.size()), out);
  return out;
}

// A data page whose every slot is deleted and empty (as this writer leaves
// them) holds nothing: it leaves the table's maps and becomes free. Pages
// with deleted rows that still have bytes are kept: they may be overflow rows
// of the product's own making.
void TableWriter::releaseIfEmpty(uint32_t pg) {
  const Format& fmt = db_.format();
  Pager& pager = db_.pager();
  PageRef p = pager.page(pg);
  if ((*p)[0] != pagetype_w::kData || view(p).u32(fmt.offDataTdef) != def_->page) return;
  for (const auto& s : readSlots(fmt, *p))
    if (!(s.flags & slotflag::kDeleted) || s.end > s.start) return;
  if (def_->usedPagesPtr) UsageMapEditor(pager, def_->usedPagesPtr).remove(pg);
  if (def_->freePagesPtr) UsageMapEditor(pager, def_->freePagesPtr).remove(pg);
  freePage(pager, pg);
  if (lastPage_ == pg) lastPageKnown_ = false;
}

template <class F>
auto TableWriter::inChange(F&& f) -> decltype(f()) {
  db_.beginChange();
  try {
    if constexpr (std::is_void_v<decltype(f())>) {
      f();
      db_.commitChange();
    } else {
      auto r = f();
      db_.commitChange();
      return r;
    }
  } catch (...) {
    ix_.clear();
    lv_.reset();
    lastPageKnown_ = false;
    def_.reset();
    db_.rollbackChange();
    throw;
  }
}

RowId TableWriter::insert(const std::vector<Value>& values) {
  db_.requireWritable();
  load();
  std::vector<Value> vals = prepare(values, nullptr, RowId{});
  return inChange([&] {
    const TableDef& d = *def_;
    const Format& fmt = db_.format();
    std::vector<uint8_t> row = buildRow(vals, nullptr);
    RowId id = placeNew(row);
    for (size_t r = 0; r < d.realIndexes.size(); ++r) {
      const RealIndex& ri = d.realIndexes[r];
      if (ri.ignoreNulls() && keyIsAllNull(d, ri, vals)) continue;
      if (!canEncodeKey(fmt, d, ri)) continue;
      indexWriter(r).insert(encodeIndexKey(fmt, d, ri, vals), id);
    }
    uint32_t autoNo = 0, complexNo = 0;
    for (size_t i = 0; i < d.columns.size(); ++i)
      if (d.columns[i].autoLong() && !vals[i].isNull() && vals[i].asInt() > 0)
        (d.columns[i].rawType == coltype::kComplex ? complexNo : autoNo) =
            std::max<uint32_t>(d.columns[i].rawType == coltype::kComplex ? complexNo : autoNo,
                               static_cast<uint32_t>(vals[i].asInt()));
    setCounts(+1, autoNo);
    if (complexNo > complexCounter()) put32(db_.pager().modify(tdefPage_).data() + kTdefComplexCounter, complexNo);
    return id;
  });
}

void TableWriter::update(RowId id, const std::vector<Value>& values) {
  db_.requireWritable();
  load();
  std::vector<uint8_t> oldBytes;
  RowId where;
  if (!readRaw(id, oldBytes, where)) noCurrentRecord();
  std::vector<Value> old;
  RowDecoder dec(db_, *def_);
  ByteView oldView(oldBytes.data(), oldBytes.size());
  dec.decode(oldView, old);
  std::vector<Value> vals = prepare(values, &old, id);
  inChange([&] {
    const TableDef& d = *def_;
    const Format& fmt = db_.format();
    // Long values that did not change keep their stored field; the others
    // give their pages back and are written anew.
    std::vector<std::string> keep(d.columns.size());
    // Locate old long-value fields by their var-table entries.
    auto fieldBytes = [&](const Column& c) -> std::string {
      ColumnBytes cb = locateColumn(fmt, d, oldView, c);
      return cb.present ? std::string(reinterpret_cast<const char*>(cb.data.data), cb.data.size)
                        : std::string();
    };
    for (size_t i = 0; i < d.columns.size(); ++i) {
      const Column& c = d.columns[i];
      if (c.rawType == coltype::kComplex) {
        keep[i] = fieldBytes(c);
        continue;
      }
      if (c.calculated()) {
        // Computed again: a long result's old value gives its pages back.
        std::string f = calculatedIsLong(c) ? fieldBytes(c) : std::string();
        if (!f.empty()) lv_->release(ByteView(reinterpret_cast<const uint8_t*>(f.data()), f.size()));
        continue;
      }
      if (!c.isLongValue()) continue;
      std::string f = fieldBytes(c);
      if (f.empty()) continue;
      if (old[i] == vals[i]) {
        keep[i] = f;
      } else {
        lv_->release(ByteView(reinterpret_cast<const uint8_t*>(f.data()), f.size()));
      }
    }
    std::vector<uint8_t> row = buildRow(vals, &keep);
    storeUpdated(id, where, row);
    for (size_t r = 0; r < d.realIndexes.size(); ++r) {
      const RealIndex& ri = d.realIndexes[r];
      if (!canEncodeKey(fmt, d, ri)) continue;
      if (sameKeyValues(ri, old, vals)) continue;
      bool oldIn = !(ri.ignoreNulls() && keyIsAllNull(d, ri, old));
      bool newIn = !(ri.ignoreNulls() && keyIsAllNull(d, ri, vals));
      auto ok = encodeIndexKey(fmt, d, ri, old);
      auto nk = encodeIndexKey(fmt, d, ri, vals);
      if (oldIn == newIn && ok == nk) continue;
      if (oldIn) indexWriter(r).remove(ok, id);
      if (newIn) indexWriter(r).insert(nk, id);
    }
    setCounts(0, 0);
  });
}

// Puts an updated row in place: over the old bytes when its length is the
// same, else back in its home slot if the page has room; otherwise the home
// slot keeps a pointer to the row's new place.
void TableWriter::storeUpdated(RowId id, RowId where, const std::vector<uint8_t>& row) {
  const Format& fmt = db_.format();
  Pager& pager = db_.pager();
  if (where == id) {
    PageBuf& page = pager.modify(id.page);
    auto info = readSlots(fmt, page);
    if (id.row < info.size() && info[id.row].flags == 0 && info[id.row].end <= page.size() &&
        size_t(info[id.row].end - info[id.row].start) == row.size()) {
      std::copy(row.begin(), row.end(), page.begin() + info[id.row].start);
      return;
    }
  }
  auto slots = readSlotContents(fmt, pager.modify(id.page));
  if (where.page != id.page || where.row != id.row) {
    // Drop the old overflow copy first.
    PageBuf& op = pager.modify(where.page);
    auto os = readSlotContents(fmt, op);
    os[where.row].flags = slotflag::kDeleted;
    os[where.row].bytes.clear();
    writeSlots(fmt, op, os);
    slots = readSlotContents(fmt, pager.modify(id.page));
  }
  auto tryHome = slots;
  tryHome[id.row].flags = 0;
  tryHome[id.row].bytes = row;
  if (writeSlots(fmt, pager.modify(id.page), tryHome)) return;
  RowId target = placeNew(row);
  // The moved row is marked so that scans pass over it; it is reached
  // through the pointer only.
  PageBuf& tp = pager.modify(target.page);
  auto ts = readSlotContents(fmt, tp);
  ts[target.row].flags = slotflag::kDeleted;
  writeSlots(fmt, tp, ts);
  auto ptr = slots;
  ptr[id.row].flags = slotflag::kOverflow;
  ptr[id.row].bytes.assign(4, 0);
  put32(ptr[id.row].bytes.data(), target.packed());
  if (!writeSlots(fmt, pager.modify(id.page), ptr)) throw Error(err::kRecordTooLarge, "Record is too large.");
}

void TableWriter::remove(RowId id) {
  db_.requireWritable();
  load();
  requireMaintainable();
  std::vector<uint8_t> oldBytes;
  RowId where;
  if (!readRaw(id, oldBytes, where)) noCurrentRecord();
  std::vector<Value> old;
  RowDecoder dec(db_, *def_);
  ByteView oldView(oldBytes.data(), oldBytes.size());
  dec.decode(oldView, old);
  inChange([&] {
    const TableDef& d = *def_;
    const Format& fmt = db_.format();
    Pager& pager = db_.pager();
    // Long values give their pages back. Their fields are found the same way
    // the decoder finds them; a value read back equal means the field is the
    // stored one.
    for (size_t i = 0; i < d.columns.size(); ++i) {
      const Column& c = d.columns[i];
      if (!c.isLongValue() || old[i].isNull()) continue;
      ColumnBytes cb = locateColumn(fmt, d, oldView, c);
      if (cb.present && cb.data.size > 0) lv_->release(cb.data);
    }
    if (!(where == id)) {
      PageBuf& op = pager.modify(where.page);
      auto os = readSlotContents(fmt, op);
      os[where.row].flags = slotflag::kDeleted;
      os[where.row].bytes.clear();
      writeSlots(fmt, op, os);
    }
    PageBuf& home = pager.modify(id.page);
    auto slots = readSlotContents(fmt, home);
    slots[id.row].flags = slotflag::kDeleted;
    slots[id.row].bytes.clear();
    writeSlots(fmt, home, slots);
    if (!(where == id)) releaseIfEmpty(where.page);
    releaseIfEmpty(id.page);
    for (size_t r = 0; r < d.realIndexes.size(); ++r) {
      const RealIndex& ri = d.realIndexes[r];
      if (!canEncodeKey(fmt, d, ri)) continue;
      if (ri.ignoreNulls() && keyIsAllNull(d, ri, old)) continue;
      indexWriter(r).remove(encodeIndexKey(fmt, d, ri, old), id);
    }
    setCounts(-1, 0);
  });
}

}  // namespace jet
