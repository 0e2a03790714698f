#include "jet/format.h"

namespace jet {
namespace {

Format makeJet3() {
  Format f{};
  f.version = Version::Jet3;
  f.pageSize = 2048;
  f.jet3 = true;
  f.ace = false;
  f.headerCryptLen = 126;
  f.offSortOrder = 0x3A;
  f.passwordLen = 20;
  f.offDataFreeSpace = 2;
  f.offDataTdef = 4;
  f.offDataRowCount = 8;
  f.offDataRows = 10;
  f.offTdefRowCount = 12;
  f.offTdefAutoNumber = 16;
  f.offTdefTableType = 20;
  f.offTdefMaxCols = 21;
  f.offTdefVarCols = 23;
  f.offTdefColCount = 25;
  f.offTdefLogicalIdxCount = 27;
  f.offTdefRealIdxCount = 31;
  f.offTdefUsedPages = 35;
  f.offTdefFreePages = 39;
  f.offTdefRealIdxStart = 43;
  f.sizeRealIdxRowCount = 8;
  f.sizeColumnDesc = 18;
  f.offColType = 0;
  f.offColNumber = 1;
  f.offColVarIndex = 3;
  f.offColSortOrder = 9;
  f.offColCodePage = 11;
  f.offColPrecision = 11;
  f.offColScale = 12;
  f.offColFlags = 13;
  f.offColExtFlags = 0;  // none in Jet 3
  f.offColFixedOffset = 14;
  f.offColLength = 16;
  f.offColComplexId = 0;
  f.sizeNameLength = 1;
  f.sizeRealIdxDesc = 39;
  f.offRealIdxColumns = 0;
  f.offRealIdxUsedPages = 30;
  f.offRealIdxRoot = 34;
  f.offRealIdxFlags = 38;
  f.sizeLogicalIdxDesc = 20;
  f.offLogIdxNumber = 0;
  f.offLogIdxRealNumber = 4;
  f.offLogIdxRelType = 8;
  f.offLogIdxRelIdx = 9;
  f.offLogIdxRelTable = 13;
  f.offLogIdxCascadeUps = 17;
  f.offLogIdxCascadeDels = 18;
  f.offLogIdxType = 19;
  f.sizeRowColCount = 1;
  f.sizeRowVarOffset = 1;
  f.maxRowSize = 2012;
  f.offIndexPrev = 8;
  f.offIndexNext = 12;
  f.offIndexTail = 16;
  f.offIndexPrefixLen = 20;
  f.offIndexBitmask = 0x16;
  f.offIndexEntries = 0xF8;
  f.usageMapInlineBytes = 128;
  f.offLvalRowCount = 8;
  return f;
}

Format makeJet4(Version v) {
  Format f{};
  f.version = v;
  f.pageSize = 4096;
  f.jet3 = false;
  f.ace = v != Version::Jet4;
  f.headerCryptLen = 128;
  f.offSortOrder = 0x6E;
  f.passwordLen = 40;
  f.offDataFreeSpace = 2;
  f.offDataTdef = 4;
  f.offDataRowCount = 12;
  f.offDataRows = 14;
  f.offTdefRowCount = 16;
  f.offTdefAutoNumber = 20;
  f.offTdefTableType = 40;
  f.offTdefMaxCols = 41;
  f.offTdefVarCols = 43;
  f.offTdefColCount = 45;
  f.offTdefLogicalIdxCount = 47;
  f.offTdefRealIdxCount = 51;
  f.offTdefUsedPages = 55;
  f.offTdefFreePages = 59;
  f.offTdefRealIdxStart = 63;
  f.sizeRealIdxRowCount = 12;
  f.sizeColumnDesc = 25;
  f.offColType = 0;
  f.offColNumber = 5;
  f.offColVarIndex = 7;
  f.offColSortOrder = 11;
  f.offColCodePage = 0;  // none: Jet 4 text is UCS-2
  f.offColPrecision = 11;
  f.offColScale = 12;
  f.offColFlags = 15;
  f.offColExtFlags = 16;
  f.offColFixedOffset = 21;
  f.offColLength = 23;
  f.offColComplexId = 11;
  f.sizeNameLength = 2;
  f.sizeRealIdxDesc = 52;
  f.offRealIdxColumns = 4;
  f.offRealIdxUsedPages = 34;
  f.offRealIdxRoot = 38;
  f.offRealIdxFlags = 46;
  f.sizeLogicalIdxDesc = 28;
  f.offLogIdxNumber = 4;
  f.offLogIdxRealNumber = 8;
  f.offLogIdxRelType = 12;
  f.offLogIdxRelIdx = 13;
  f.offLogIdxRelTable = 17;
  f.offLogIdxCascadeUps = 21;
  f.offLogIdxCascadeDels = 22;
  f.offLogIdxType = 23;
  f.sizeRowColCount = 2;
  f.sizeRowVarOffset = 2;
  f.maxRowSize = 4060;
  f.offIndexPrev = 12;
  f.offIndexNext = 16;
  f.offIndexTail = 20;
  f.offIndexPrefixLen = 24;
  f.offIndexBitmask = 0x1B;
  f.offIndexEntries = 0x1E0;
  f.usageMapInlineBytes = 64;
  f.offLvalRowCount = 12;
  return f;
}

}  // namespace

const Format& formatFor(Version v) {
  static const Format jet3 = makeJet3();
  static const Format jet4 = makeJet4(Version::Jet4);
  static const Format ace12 = makeJet4(Version::Ace12);
  static const Format ace14 = makeJet4(Version::Ace14);
  static const Format ace16 = makeJet4(Version::Ace16);
  static const Format ace17 = makeJet4(Version::Ace17);
  switch (v) {
    case Version::Jet3: return jet3;
    case Version::Jet4: return jet4;
    case Version::Ace12: return ace12;
    case Version::Ace14: return ace14;
    case Version::Ace16: return ace16;
    case Version::Ace17: return ace17;
  }
  return jet4;
}

bool versionFromCode(uint32_t code, Version& out) {
  switch (code) {
    case 0: out = Version::Jet3; return true;
    case 1: out = Version::Jet4; return true;
    case 2: out = Version::Ace12; return true;
    case 0x103: case 3: out = Version::Ace14; return true;
    case 5: case 0x105: out = Version::Ace16; return true;
    case 6: case 0x106: out = Version::Ace17; return true;
    default: return false;
  }
}

const char* Format::name() const {
  switch (version) {
    case Version::Jet3: return "Jet 3";
    case Version::Jet4: return "Jet 4";
    case Version::Ace12: return "ACE 12";
    case Version::Ace14: return "ACE 14";
    case Version::Ace16: return "ACE 16";
    case Version::Ace17: return "ACE 17";
  }
  return "unknown";
}

}  // namespace jet
