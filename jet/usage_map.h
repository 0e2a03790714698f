// Usage maps: bitmaps of pages owned by a table or an index. A map lives in a
// row somewhere in the file and is either inline (start page + bitmap) or a
// list of map pages (type 0x05), each a bitmap over a fixed page range.
#pragma once

#include <cstdint>
#include <vector>

#include "jet/pager.h"

namespace jet {

struct UsageMap {
  enum class Kind { Inline, Reference } kind = Kind::Inline;
  uint32_t startPage = 0;               // inline: first page the bitmap covers
  std::vector<uint32_t> mapPages;       // reference: map page numbers (0 = none)
  std::vector<uint32_t> pages;          // every page marked in the map, ascending
};

// Reads the map stored in the row that mapPtr (page << 8 | row) points at.
UsageMap readUsageMap(Pager& pager, uint32_t mapPtr);

}  // namespace jet
