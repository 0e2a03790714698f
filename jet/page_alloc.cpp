#include "jet/page_alloc.h"

#include <algorithm>
#include <cstring>

#include "jet/error.h"
#include "jet/table.h"
#include "jet/usage_map.h"

namespace jet {

// ---------------------------------------------------------------- slots ---

std::vector<SlotInfo> readSlots(const Format& fmt, const PageBuf& page) {
  ByteView b(page.data(), page.size());
  unsigned count = b.u16(fmt.offDataRowCount);
  if (fmt.offDataRows + 2 * count > fmt.pageSize) corrupt("a data page has too many rows");
  std::vector<SlotInfo> out(count);
  unsigned prevStart = fmt.pageSize;
  for (unsigned i = 0; i < count; ++i) {
    uint16_t raw = b.u16(fmt.offDataRows + 2 * i);
    SlotInfo s;
    s.flags = raw & (slotflag::kDeleted | slotflag::kOverflow);
    s.start = raw & slotflag::kOffsetMask;
    s.end = static_cast<uint16_t>(prevStart);
    if (s.start > s.end || s.start < fmt.offDataRows + 2 * count) {
      if (!(s.flags & slotflag::kDeleted)) corrupt("a row has a bad extent");
      s.start = s.end;  // a damaged deleted slot holds nothing we keep
    }
    prevStart = s.start;
    out[i] = s;
  }
  return out;
}

unsigned dataPageFree(const Format& fmt, const PageBuf& page) {
  ByteView b(page.data(), page.size());
  unsigned count = b.u16(fmt.offDataRowCount);
  unsigned low = fmt.pageSize;
  for (unsigned i = 0; i < count; ++i) {
    unsigned s = b.u16(fmt.offDataRows + 2 * i) & slotflag::kOffsetMask;
    if (s < low && s >= fmt.offDataRows + 2 * count) low = s;
  }
  unsigned table = fmt.offDataRows + 2 * count;
  return low > table ? low - table : 0;
}

std::vector<SlotContent> readSlotContents(const Format& fmt, const PageBuf& page) {
  auto slots = readSlots(fmt, page);
  std::vector<SlotContent> out(slots.size());
  for (size_t i = 0; i < slots.size(); ++i) {
    out[i].flags = slots[i].flags;
    out[i].bytes.assign(page.begin() + slots[i].start, page.begin() + slots[i].end);
  }
  return out;
}

bool writeSlots(const Format& fmt, PageBuf& page, const std::vector<SlotContent>& slots) {
  size_t total = fmt.offDataRows + 2 * slots.size();
  for (const auto& s : slots) total += s.bytes.size();
  if (total > fmt.pageSize || slots.size() > 255) return false;
  unsigned pos = fmt.pageSize;
  for (size_t i = 0; i < slots.size(); ++i) {
    pos -= static_cast<unsigned>(slots[i].bytes.size());
    if (!slots[i].bytes.empty())
      std::memcpy(page.data() + pos, slots[i].bytes.data(), slots[i].bytes.size());
    put16(page.data() + fmt.offDataRows + 2 * i, static_cast<uint16_t>(pos | slots[i].flags));
  }
  unsigned table = static_cast<unsigned>(fmt.offDataRows + 2 * slots.size());
  std::memset(page.data() + table, 0, pos - table);
  put16(page.data() + fmt.offDataRowCount, static_cast<uint16_t>(slots.size()));
  put16(page.data() + fmt.offDataFreeSpace, static_cast<uint16_t>(pos - table));
  return true;
}

bool appendSlot(const Format& fmt, PageBuf& page, const std::vector<uint8_t>& bytes, unsigned& slot) {
  ByteView b(page.data(), page.size());
  unsigned count = b.u16(fmt.offDataRowCount);
  if (count >= 255) return false;
  unsigned low = fmt.pageSize;
  for (unsigned i = 0; i < count; ++i) {
    unsigned st = b.u16(fmt.offDataRows + 2 * i) & slotflag::kOffsetMask;
    if (st < low) low = st;
  }
  unsigned table = fmt.offDataRows + 2 * (count + 1);
  if (low < table || low - table < bytes.size()) return false;
  unsigned pos = low - static_cast<unsigned>(bytes.size());
  if (!bytes.empty()) std::memcpy(page.data() + pos, bytes.data(), bytes.size());
  put16(page.data() + fmt.offDataRows + 2 * count, static_cast<uint16_t>(pos));
  put16(page.data() + fmt.offDataRowCount, static_cast<uint16_t>(count + 1));
  put16(page.data() + fmt.offDataFreeSpace, static_cast<uint16_t>(pos - table));
  slot = count;
  return true;
}

void initDataPage(const Format& fmt, PageBuf& page, uint32_t owner) {
  std::fill(page.begin(), page.end(), 0);
  page[0] = pagetype_w::kData;
  page[1] = 0x01;
  put32(page.data() + fmt.offDataTdef, owner);
  put16(page.data() + fmt.offDataRowCount, 0);
  put16(page.data() + fmt.offDataFreeSpace, static_cast<uint16_t>(fmt.pageSize - fmt.offDataRows));
}

// ----------------------------------------------------------- usage maps ---

UsageMapEditor::UsageMapEditor(Pager& pager, uint32_t mapPtr)
    : pager_(pager), page_(mapPtr >> 8), row_(mapPtr & 0xFF) {
  if (page_ == 0 || page_ >= pager.pageCount()) corrupt("a usage map pointer is outside the file");
}

const uint8_t* UsageMapEditor::rowForRead(size_t& len) {
  PageRef p = pager_.page(page_);
  auto slots = readSlots(pager_.format(), *p);
  if (row_ >= slots.size()) corrupt("a usage map points at a missing row");
  len = slots[row_].end - slots[row_].start;
  if (len < 5) corrupt("a usage map row is too short");
  // The page buffer stays alive in the cache or the change for this call.
  return p->data() + slots[row_].start;
}

uint8_t* UsageMapEditor::rowForWrite(size_t& len) {
  PageBuf& p = pager_.modify(page_);
  auto slots = readSlots(pager_.format(), p);
  if (row_ >= slots.size()) corrupt("a usage map points at a missing row");
  len = slots[row_].end - slots[row_].start;
  if (len < 5) corrupt("a usage map row is too short");
  return p.data() + slots[row_].start;
}

std::vector<uint32_t> UsageMapEditor::pages() {
  return readUsageMap(pager_, (page_ << 8) | row_).pages;
}

bool UsageMapEditor::contains(uint32_t pg) {
  size_t len;
  const uint8_t* r = rowForRead(len);
  const Format& fmt = pager_.format();
  if (r[0] == 0) {
    uint32_t start = ByteView(r, len).u32(1);
    if (pg < start) return false;
    uint64_t bit = pg - start;
    if (bit >= (len - 5) * 8) return false;
    return r[5 + bit / 8] & (1u << (bit % 8));
  }
  size_t perMap = (fmt.pageSize - 4) * 8;
  size_t k = pg / perMap;
  if (1 + 4 * k + 4 > len) return false;
  uint32_t mp = ByteView(r, len).u32(1 + 4 * k);
  if (mp == 0) return false;
  PageRef m = pager_.page(mp);
  size_t bit = pg % perMap;
  return (*m)[4 + bit / 8] & (1u << (bit % 8));
}

void UsageMapEditor::toReference() {
  // Collect the marked pages, then rewrite the row as a list of map pages.
  std::vector<uint32_t> marked = pages();
  const Format& fmt = pager_.format();
  size_t len;
  uint8_t* r = rowForWrite(len);
  std::memset(r, 0, len);
  r[0] = 1;
  (void)fmt;
  for (uint32_t pg : marked) add(pg);
}

void UsageMapEditor::add(uint32_t pg) {
  const Format& fmt = pager_.format();
  size_t len;
  const uint8_t* rr = rowForRead(len);
  if (rr[0] == 0) {
    size_t bits = (len - 5) * 8;
    uint32_t start = ByteView(rr, len).u32(1);
    if (pg >= start && pg - start < bits) {
      uint8_t* r = rowForWrite(len);
      r[5 + (pg - start) / 8] |= uint8_t(1u << ((pg - start) % 8));
      return;
    }
    std::vector<uint32_t> marked = pages();
    uint32_t lo = pg, hi = pg;
    for (uint32_t m : marked) { lo = std::min(lo, m); hi = std::max(hi, m); }
    if (hi - lo < bits) {
      // Move the window so that it starts at a multiple of 8 at or below lo.
      uint32_t newStart = lo & ~7u;
      if (hi - newStart >= bits) newStart = lo;
      uint8_t* r = rowForWrite(len);
      std::memset(r + 1, 0, len - 1);
      put32(r + 1, newStart);
      for (uint32_t m : marked) r[5 + (m - newStart) / 8] |= uint8_t(1u << ((m - newStart) % 8));
      r[5 + (pg - newStart) / 8] |= uint8_t(1u << ((pg - newStart) % 8));
      return;
    }
    toReference();
    rr = rowForRead(len);
  }
  size_t perMap = (fmt.pageSize - 4) * 8;
  size_t k = pg / perMap;
  if (1 + 4 * k + 4 > len)
    throw Error(err::kNotSupported, "The database file has grown beyond what its page maps can describe.");
  uint32_t mp = ByteView(rr, len).u32(1 + 4 * k);
  if (mp == 0) {
    mp = allocatePage(pager_);
    PageBuf& m = pager_.modify(mp);
    std::fill(m.begin(), m.end(), 0);
    m[0] = pagetype_w::kMapPage;
    m[1] = 0x01;
    uint8_t* r = rowForWrite(len);
    put32(r + 1 + 4 * k, mp);
  }
  PageBuf& m = pager_.modify(mp);
  size_t bit = pg % perMap;
  m[4 + bit / 8] |= uint8_t(1u << (bit % 8));
}

void UsageMapEditor::remove(uint32_t pg) {
  const Format& fmt = pager_.format();
  if (!contains(pg)) return;
  size_t len;
  const uint8_t* rr = rowForRead(len);
  if (rr[0] == 0) {
    uint32_t start = ByteView(rr, len).u32(1);
    uint8_t* r = rowForWrite(len);
    r[5 + (pg - start) / 8] &= uint8_t(~(1u << ((pg - start) % 8)));
    return;
  }
  size_t perMap = (fmt.pageSize - 4) * 8;
  uint32_t mp = ByteView(rr, len).u32(1 + 4 * (pg / perMap));
  PageBuf& m = pager_.modify(mp);
  size_t bit = pg % perMap;
  m[4 + bit / 8] &= uint8_t(~(1u << (bit % 8)));
}

// ----------------------------------------------------------- allocation ---

namespace {
bool allZero(const PageBuf& p) {
  for (uint8_t b : p)
    if (b) return false;
  return true;
}

// The global map is only used while it is an inline map; its bits for pages
// beyond its window are left alone.
bool globalInline(Pager& pager, uint32_t& start, size_t& bits, PageRef& holder, size_t& rowStart) {
  if (pager.pageCount() < 2) return false;
  holder = pager.page(1);
  const PageBuf& p = *holder;
  if (p[0] != pagetype_w::kData) return false;
  auto slots = readSlots(pager.format(), p);
  if (slots.empty() || slots[0].end - slots[0].start < 5) return false;
  rowStart = slots[0].start;
  if (p[rowStart] != 0) return false;
  start = ByteView(p.data(), p.size()).u32(rowStart + 1);
  bits = size_t(slots[0].end - slots[0].start - 5) * 8;
  return true;
}
}  // namespace

uint32_t allocatePage(Pager& pager) {
  uint32_t start;
  size_t bits, rowStart;
  PageRef holder;
  if (globalInline(pager, start, bits, holder, rowStart)) {
    const PageBuf& g = *holder;
    for (size_t i = 0; i < bits; ++i) {
      if (!(g[rowStart + 5 + i / 8] & (1u << (i % 8)))) continue;
      uint64_t pg = uint64_t(start) + i;
      if (pg < 3) continue;
      if (pg >= pager.pageCount()) break;
      if (!allZero(*pager.page(static_cast<uint32_t>(pg)))) continue;
      PageBuf& gw = pager.modify(1);
      gw[rowStart + 5 + i / 8] &= uint8_t(~(1u << (i % 8)));
      pager.modify(static_cast<uint32_t>(pg));
      return static_cast<uint32_t>(pg);
    }
  }
  uint32_t pg = pager.appendPage();
  if (globalInline(pager, start, bits, holder, rowStart) && pg >= start && pg - start < bits) {
    PageBuf& gw = pager.modify(1);
    gw[rowStart + 5 + (pg - start) / 8] &= uint8_t(~(1u << ((pg - start) % 8)));
  }
  return pg;
}

void freePage(Pager& pager, uint32_t pg) {
  PageBuf& p = pager.modify(pg);
  std::fill(p.begin(), p.end(), 0);
  uint32_t start;
  size_t bits, rowStart;
  PageRef holder;
  if (globalInline(pager, start, bits, holder, rowStart) && pg >= start && pg - start < bits) {
    PageBuf& gw = pager.modify(1);
    gw[rowStart + 5 + (pg - start) / 8] |= uint8_t(1u << ((pg - start) % 8));
  }
}

}  // namespace jet
