#include "jet/usage_map.h"

#include <algorithm>

#include "jet/error.h"
#include "jet/table.h"

namespace jet {

namespace {
// Locates row slot `row` on a page that uses the data-page row layout.
ByteView rowSlice(const Format& fmt, const PageRef& p, unsigned row) {
  ByteView b = view(p);
  unsigned count = b.u16(fmt.offDataRowCount);
  if (row >= count) corrupt("a usage map points at a missing row");
  unsigned start = b.u16(fmt.offDataRows + 2 * row) & 0x1FFF;
  unsigned end = row == 0 ? fmt.pageSize : (b.u16(fmt.offDataRows + 2 * (row - 1)) & 0x1FFF);
  if (start >= end || end > fmt.pageSize) corrupt("a usage map row has a bad extent");
  return b.sub(start, end - start);
}
}  // namespace

UsageMap readUsageMap(Pager& pager, uint32_t mapPtr) {
  const Format& fmt = pager.format();
  RowId id = RowId::unpack(mapPtr);
  PageRef p = pager.page(id.page);
  ByteView m = rowSlice(fmt, p, id.row);
  UsageMap um;
  uint8_t type = m.u8(0);
  uint32_t total = pager.pageCount();
  if (type == 0) {
    um.kind = UsageMap::Kind::Inline;
    um.startPage = m.u32(1);
    size_t bits = (m.size - 5) * 8;
    for (size_t i = 0; i < bits; ++i) {
      if (m.data[5 + i / 8] & (1u << (i % 8))) {
        uint64_t pg = uint64_t(um.startPage) + i;
        if (pg < total) um.pages.push_back(static_cast<uint32_t>(pg));
      }
    }
  } else if (type == 1) {
    um.kind = UsageMap::Kind::Reference;
    size_t perMap = (fmt.pageSize - 4) * 8;
    size_t n = (m.size - 1) / 4;
    for (size_t k = 0; k < n; ++k) {
      uint32_t mp = m.u32(1 + 4 * k);
      um.mapPages.push_back(mp);
      if (mp == 0) continue;
      PageRef mpg = pager.page(mp);
      ByteView b = view(mpg);
      if (b.u8(0) != 0x05) corrupt("a usage map page has the wrong page type");
      for (size_t i = 0; i < perMap; ++i) {
        if (b.data[4 + i / 8] & (1u << (i % 8))) {
          uint64_t pg = uint64_t(k) * perMap + i;
          if (pg < total) um.pages.push_back(static_cast<uint32_t>(pg));
        }
      }
    }
  } else {
    corrupt("a usage map has an unknown type");
  }
  return um;
}

}  // namespace jet
