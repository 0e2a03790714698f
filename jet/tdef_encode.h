// Table definitions of new tables as bytes: the column, index and
// logical-index descriptors of the Jet 3 (Access 97) and Jet 4 / ACE layouts,
// and their split over TDEF pages. Used by create.cpp; pure (no I/O).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "jet/format.h"
#include "jet/pager.h"
#include "jet/tabledef.h"

namespace jet::tdefenc {

constexpr uint16_t kGeneralSort = 0x0409;

struct BCol {
  std::string name;
  uint8_t raw = 0;
  uint16_t len = 0;
  uint8_t flags = 0;
  uint8_t ext = 0;
  uint8_t prec = 0, scale = 0;
  bool required = false;
  uint8_t sortVersion = 0;  // text: 1 for the general sort order of 2010 and later
  int32_t complexId = 0;    // attachment / multi-value: its MSysComplexColumns.ComplexID
  // Assigned by layout():
  uint16_t varIndex = 0, fixedOffset = 0;
  bool fixed() const { return flags & 0x01; }
  bool longValue() const { return raw == coltype::kMemo || raw == coltype::kOle; }
};
struct BReal {
  std::vector<std::pair<int, bool>> cols;  // column number, ascending
  uint8_t flags = 0;
  uint32_t map = 0, root = 0;
};
struct BLog {
  std::string name;
  int real = 0;
  uint8_t type = 0;
};
struct BTable {
  std::string name;
  uint8_t tableType = 0x4E;
  std::vector<BCol> cols;
  std::vector<BReal> reals;
  std::vector<BLog> logs;
  uint32_t used = 0, free = 0;
  std::map<uint16_t, std::pair<uint32_t, uint32_t>> lvMaps;
};


// Text of the 2010 formats and later sorts by the newer general order.
bool newerGeneralSort(const Format& fmt);
// Variable-column numbers and fixed offsets of the columns, in order.
void layout(BTable& t);
// A Jet 4 name: 2-byte length, UCS-2 text.
void putName(std::vector<uint8_t>& out, const std::string& name);
template <class T>
void putLE(std::vector<uint8_t>& out, T v) {
  for (size_t i = 0; i < sizeof(T); ++i) out.push_back(static_cast<uint8_t>(uint64_t(v) >> (8 * i)));
}
// The definition's bytes in the layout of fmt (names of Jet 3 files in
// codePage), first page header included.
std::vector<uint8_t> encodeTdef(const Format& fmt, const BTable& t, uint16_t codePage);
// Splits a definition over pages: the first page whole, continuation pages
// with an 8-byte header each.
std::vector<PageBuf> tdefPages(const Format& fmt, const std::vector<uint8_t>& bytes);

}  // namespace jet::tdefenc
