// Per-version facts of the file format, kept as data. Everything that differs
// between Jet 3 (Access 97), Jet 4 (2000-2003) and ACE (.accdb, 2007+) is a
// field here; code asks the traits instead of testing versions.
#pragma once

#include <cstdint>
#include <string>

namespace jet {

enum class Version : uint8_t { Jet3, Jet4, Ace12, Ace14, Ace16, Ace17 };

struct Format {
  Version version;
  uint32_t pageSize;
  bool jet3;              // Jet 3 layout (1-byte row offsets, code-page text)
  bool ace;               // .accdb
  // Header page
  uint32_t headerCryptLen;      // bytes of the header RC4-masked from 0x18
  uint32_t offSortOrder;        // text sort order (collation id)
  uint32_t passwordLen;         // bytes at 0x42
  // Data pages
  uint32_t offDataRowCount;     // 2-byte row count on a data page
  uint32_t offDataRows;         // first 2-byte row offset
  uint32_t offDataFreeSpace;
  uint32_t offDataTdef;
  // Table definition
  uint32_t offTdefRowCount;
  uint32_t offTdefAutoNumber;
  uint32_t offTdefTableType;
  uint32_t offTdefMaxCols;
  uint32_t offTdefVarCols;
  uint32_t offTdefColCount;
  uint32_t offTdefLogicalIdxCount;
  uint32_t offTdefRealIdxCount;
  uint32_t offTdefUsedPages;
  uint32_t offTdefFreePages;
  uint32_t offTdefRealIdxStart;   // first per-index row-count block
  uint32_t sizeRealIdxRowCount;   // 8 (Jet 3) or 12
  uint32_t sizeColumnDesc;        // 18 or 25
  uint32_t offColType, offColNumber, offColVarIndex, offColSortOrder, offColCodePage,
      offColPrecision, offColScale, offColFlags, offColExtFlags, offColFixedOffset, offColLength,
      offColComplexId;
  uint32_t sizeNameLength;        // 1 (Jet 3) or 2
  uint32_t sizeRealIdxDesc;       // 39 or 52
  uint32_t offRealIdxColumns;     // within a real index descriptor
  uint32_t offRealIdxUsedPages, offRealIdxRoot, offRealIdxFlags;
  uint32_t sizeLogicalIdxDesc;    // 20 or 28
  uint32_t offLogIdxNumber, offLogIdxRealNumber, offLogIdxRelType, offLogIdxRelIdx,
      offLogIdxRelTable, offLogIdxCascadeUps, offLogIdxCascadeDels, offLogIdxType;
  // Rows
  uint32_t sizeRowColCount;       // 1 or 2
  uint32_t sizeRowVarOffset;      // 1 or 2
  uint32_t maxRowSize;
  // Index pages
  uint32_t offIndexPrev, offIndexNext, offIndexTail, offIndexPrefixLen;
  uint32_t offIndexBitmask;       // start of the entry bitmask
  uint32_t offIndexEntries;       // first entry
  // Usage map pages
  uint32_t usageMapInlineBytes;   // size of an inline map's bitmap
  // Long values
  uint32_t offLvalRowCount;

  const char* name() const;       // "V1997 [VERSION_3]"-style names need the catalogue; this is the bare version
};

const Format& formatFor(Version v);
// Maps the 4-byte version field at 0x14 to a version; false when unknown.
bool versionFromCode(uint32_t code, Version& out);

}  // namespace jet
