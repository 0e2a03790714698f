#include "jet/long_value_writer.h"

#include <set>

#include "jet/bytes.h"
#include "jet/error.h"
#include "jet/page_alloc.h"
#include "jet/usage_map.h"

namespace jet {

std::map<uint16_t, LongValueMaps> parseLongValueMaps(const std::vector<uint8_t>& bytes, const Format& fmt) {
  std::map<uint16_t, LongValueMaps> out;
  ByteView b(bytes.data(), bytes.size());
  auto nameLen = [&](size_t pos) -> size_t {
    return fmt.sizeNameLength == 1 ? b.u8(pos) : b.u16(pos);
  };
  uint32_t colCount = b.u16(fmt.offTdefColCount);
  uint32_t logCount = b.u32(fmt.offTdefLogicalIdxCount);
  uint32_t realCount = b.u32(fmt.offTdefRealIdxCount);
  size_t pos = fmt.offTdefRealIdxStart + size_t(realCount) * fmt.sizeRealIdxRowCount +
               size_t(colCount) * fmt.sizeColumnDesc;
  for (uint32_t i = 0; i < colCount; ++i) pos += fmt.sizeNameLength + nameLen(pos);
  pos += size_t(realCount) * fmt.sizeRealIdxDesc + size_t(logCount) * fmt.sizeLogicalIdxDesc;
  for (uint32_t i = 0; i < logCount; ++i) pos += fmt.sizeNameLength + nameLen(pos);
  for (int guard = 0; guard < 4096 && pos + 2 <= b.size; ++guard) {
    uint16_t col = b.u16(pos);
    if (col == 0xFFFF || pos + 10 > b.size) break;
    LongValueMaps m;
    m.used = b.u32(pos + 2);
    m.free = b.u32(pos + 6);
    out[col] = m;
    pos += 10;
  }
  return out;
}

LongValueWriter::LongValueWriter(Pager& pager, uint32_t ownedMapPtr, std::map<uint16_t, LongValueMaps> columnMaps)
    : pager_(pager), owned_(ownedMapPtr), columnMaps_(std::move(columnMaps)) {}

LongValueWriter::Target& LongValueWriter::targetFor(uint16_t col) {
  LongValueMaps m;
  auto it = columnMaps_.find(col);
  if (it != columnMaps_.end() && it->second.used) m = it->second;
  else m.used = owned_;
  Target& t = targets_[m.used];
  t.maps = m;
  return t;
}

void LongValueWriter::forgetPage(uint32_t pg) {
  for (auto& [k, t] : targets_) {
    if (t.current == pg) t.current = 0;
    if (t.maps.used) UsageMapEditor(pager_, t.maps.used).remove(pg);
    if (t.maps.free) UsageMapEditor(pager_, t.maps.free).remove(pg);
  }
  if (owned_) UsageMapEditor(pager_, owned_).remove(pg);
  for (auto& [c, m] : columnMaps_) {
    if (m.used) UsageMapEditor(pager_, m.used).remove(pg);
    if (m.free) UsageMapEditor(pager_, m.free).remove(pg);
  }
}

RowId LongValueWriter::putRow(Target& t, const std::vector<uint8_t>& bytes) {
  const Format& fmt = pager_.format();
  uint32_t& current_ = t.current;
  if (!current_ && !t.searched && t.maps.used) {
    // Start with the last long-value page of the map that has room left.
    t.searched = true;
    auto pages = readUsageMap(pager_, t.maps.used).pages;
    int looked = 0;
    for (auto it = pages.rbegin(); it != pages.rend() && looked < 8; ++it) {
      PageRef p = pager_.page(*it);
      if ((*p)[0] != pagetype_w::kData || view(p).u32(fmt.offDataTdef) != kLvalTag) continue;
      ++looked;
      if (dataPageFree(fmt, *p) >= bytes.size() + 2 && view(p).u16(fmt.offDataRowCount) < 255) {
        current_ = *it;
        break;
      }
    }
  }
  if (current_) {
    PageBuf& p = pager_.modify(current_);
    if (dataPageFree(fmt, p) >= bytes.size() + 2) {
      auto slots = readSlotContents(fmt, p);
      SlotContent s;
      s.bytes = bytes;
      slots.push_back(std::move(s));
      if (writeSlots(fmt, p, slots)) return RowId{current_, static_cast<uint16_t>(slots.size() - 1)};
    }
  }
  uint32_t pg = allocatePage(pager_);
  PageBuf& p = pager_.modify(pg);
  initDataPage(fmt, p, kLvalTag);
  std::vector<SlotContent> slots(1);
  slots[0].bytes = bytes;
  if (!writeSlots(fmt, p, slots)) corrupt("a long-value piece does not fit a page");
  if (t.maps.used) UsageMapEditor(pager_, t.maps.used).add(pg);
  if (t.maps.free) UsageMapEditor(pager_, t.maps.free).add(pg);
  current_ = pg;
  return RowId{pg, 0};
}

std::string LongValueWriter::write(uint16_t colNumber, const std::string& data, size_t inlineRoom) {
  Target& t = targetFor(colNumber);
  const Format& fmt = pager_.format();
  std::string field(12, '\0');
  auto* f = reinterpret_cast<uint8_t*>(field.data());
  uint32_t len = static_cast<uint32_t>(data.size());
  if (data.size() > 0x3FFFFFFF) throw Error(err::kFieldTooSmall, "A long value is too long.");
  if (data.size() <= kMaxInline && data.size() <= inlineRoom) {
    put32(f, len | 0x80000000u);
    return field + data;
  }
  // Largest row a long-value page takes: the page less its header and one
  // slot; a chained piece also carries the 4-byte pointer.
  const size_t maxRow = fmt.pageSize - fmt.offDataRows - 2;
  if (data.size() <= maxRow) {
    RowId id = putRow(t, std::vector<uint8_t>(data.begin(), data.end()));
    put32(f, len | 0x40000000u);
    put32(f + 4, id.packed());
    return field;
  }
  const size_t chunk = maxRow - 4;
  // Write the pieces back to front so each knows its successor.
  size_t pieces = (data.size() + chunk - 1) / chunk;
  uint32_t next = 0;
  for (size_t i = pieces; i-- > 0;) {
    size_t off = i * chunk;
    size_t n = std::min(chunk, data.size() - off);
    std::vector<uint8_t> row(4 + n);
    put32(row.data(), next);
    std::copy(data.begin() + off, data.begin() + off + n, row.begin() + 4);
    // Each full piece fills a page of its own.
    t.current = 0;
    next = putRow(t, row).packed();
  }
  t.current = 0;
  put32(f, len);
  put32(f + 4, next);
  return field;
}

void LongValueWriter::release(ByteView fieldView) {
  if (fieldView.size < 12) return;
  uint32_t word = fieldView.u32(0);
  uint32_t kind = word & 0xC0000000u;
  if (kind == 0x80000000u) return;
  const Format& fmt = pager_.format();
  RowId id = RowId::unpack(fieldView.u32(4));
  std::set<uint32_t> seen;
  for (int guard = 0; id.valid() && guard < 1000000; ++guard) {
    if (!seen.insert(id.packed()).second || id.page >= pager_.pageCount()) break;
    PageBuf& p = pager_.modify(id.page);
    if (p[0] != pagetype_w::kData || ByteView(p.data(), p.size()).u32(fmt.offDataTdef) != kLvalTag) break;
    auto slots = readSlotContents(fmt, p);
    if (id.row >= slots.size() || (slots[id.row].flags & slotflag::kDeleted)) break;
    uint32_t next = 0;
    if (kind == 0 && slots[id.row].bytes.size() >= 4) next = ByteView(slots[id.row].bytes.data(), 4).u32(0);
    slots[id.row].flags = slotflag::kDeleted;
    slots[id.row].bytes.clear();
    bool anyLive = false;
    for (const auto& s : slots)
      if (!(s.flags & slotflag::kDeleted)) anyLive = true;
    if (!anyLive) {
      // The page holds nothing any more: give it back.
      forgetPage(id.page);
      freePage(pager_, id.page);
    } else {
      writeSlots(fmt, p, slots);
    }
    if (kind != 0) break;
    id = RowId::unpack(next);
  }
}

}  // namespace jet
