// Page allocation and usage-map editing.
//
// Every table and index owns usage maps (see usage_map.h): the table's map of
// owned pages, its map of pages with free space, and each index's map. Page 1
// holds the global map, in which a set bit marks a page that is free for
// reuse (pages past the end of the file are marked too).
//
// New pages come from the end of the file; pages that this engine freed
// earlier (zero-filled and marked free in the global map) are reused first.
// All edits happen inside the pager's current change.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/pager.h"

namespace jet {

namespace pagetype_w {
constexpr uint8_t kData = 0x01, kTdef = 0x02, kIndexNode = 0x03, kIndexLeaf = 0x04, kMapPage = 0x05;
}

// Location of the global usage map.
constexpr uint32_t kGlobalMapPtr = (1u << 8) | 0;

// Edits one usage map in place.
class UsageMapEditor {
 public:
  UsageMapEditor(Pager& pager, uint32_t mapPtr);
  bool contains(uint32_t pg);
  // Marks pg. An inline map whose window cannot hold pg moves its window
  // when every marked page still fits, and otherwise becomes a reference map
  // (map pages allocated as needed).
  void add(uint32_t pg);
  void remove(uint32_t pg);
  std::vector<uint32_t> pages();

 private:
  // Row bytes of the map inside the (dirty) page.
  uint8_t* rowForWrite(size_t& len);
  const uint8_t* rowForRead(size_t& len);
  void toReference();
  Pager& pager_;
  uint32_t page_;
  unsigned row_;
};

// A fresh zero-filled page for the current change, either reused or
// appended; the global map is updated.
uint32_t allocatePage(Pager& pager);
// Gives a page back: zero-fills it and marks it free in the global map.
void freePage(Pager& pager, uint32_t pg);

// Row slots on a page with the data-page layout.
struct SlotInfo {
  uint16_t start = 0, end = 0;
  uint16_t flags = 0;  // 0x8000 deleted, 0x4000 overflow pointer
};
namespace slotflag {
constexpr uint16_t kDeleted = 0x8000, kOverflow = 0x4000, kOffsetMask = 0x1FFF;
}
std::vector<SlotInfo> readSlots(const Format& fmt, const PageBuf& page);
// Free bytes between the slot table and the lowest row.
unsigned dataPageFree(const Format& fmt, const PageBuf& page);
// Rewrites every row of the page from the given slot contents (rows packed
// from the end of the page in slot order) and updates the free-space field.
// Returns false (page unchanged) when they do not fit.
struct SlotContent {
  uint16_t flags = 0;
  std::vector<uint8_t> bytes;
};
bool writeSlots(const Format& fmt, PageBuf& page, const std::vector<SlotContent>& slots);
std::vector<SlotContent> readSlotContents(const Format& fmt, const PageBuf& page);
// Adds one row in a new slot below the lowest row; false when it does not
// fit (or the page has 255 slots).
bool appendSlot(const Format& fmt, PageBuf& page, const std::vector<uint8_t>& bytes, unsigned& slot);
// Initialises a data page header: owner is the table's definition page, or
// 0 for usage-map pages, or the 'LVAL' tag for long-value pages.
void initDataPage(const Format& fmt, PageBuf& page, uint32_t owner);
constexpr uint32_t kLvalTag = 0x4C41564C;  // "LVAL"

}  // namespace jet
