#include "jet/tabledef.h"

#include <algorithm>

#include "jet/bytes.h"
#include "jet/error.h"
#include "jet/text.h"

namespace jet {

DataType dataTypeOf(uint8_t raw) {
  switch (raw) {
    case coltype::kBool: return DataType::Boolean;
    case coltype::kByte: return DataType::Byte;
    case coltype::kInt: return DataType::Integer;
    case coltype::kLong: return DataType::Long;
    case coltype::kMoney: return DataType::Currency;
    case coltype::kFloat: return DataType::Single;
    case coltype::kDouble: return DataType::Double;
    case coltype::kDateTime: return DataType::DateTime;
    case coltype::kBinary: return DataType::Binary;
    case coltype::kText: return DataType::Text;
    case coltype::kOle: return DataType::OLE;
    case coltype::kMemo: return DataType::Memo;
    case coltype::kGuid: return DataType::GUID;
    case coltype::kNumeric: return DataType::Decimal;
    case coltype::kComplex: return DataType::Complex;
    case coltype::kBigInt: return DataType::BigInt;
    case coltype::kExtDateTime: return DataType::ExtDateTime;
    default: return DataType::Binary;  // unknown types are shown as raw bytes
  }
}

namespace {

std::string readName(ByteView b, size_t& pos, const Format& fmt, uint16_t codePage) {
  size_t len = fmt.sizeNameLength == 1 ? b.u8(pos) : b.u16(pos);
  pos += fmt.sizeNameLength;
  ByteView raw = b.sub(pos, len);
  pos += len;
  return utf16ToUtf8(fmt.jet3 ? decodeCodePageText(raw, codePage) : decodeUcs2Text(raw));
}

}  // namespace

int Column::displaySize(bool jet3) const {
  // A calculated column's stored length includes a 23-byte header.
  if (calculated() && calcResultRaw == coltype::kText) return (length - 23) / 2;
  switch (rawType) {
    case coltype::kText: return jet3 ? length : length / 2;
    case coltype::kMemo: case coltype::kOle: return 0;
    case coltype::kBool: return 1;
    default: return length;
  }
}

size_t fixedDataWidth(const Column& c) {
  switch (c.rawType) {
    case coltype::kBool: return 0;
    case coltype::kByte: return 1;
    case coltype::kInt: return 2;
    case coltype::kLong: case coltype::kFloat: case coltype::kComplex: return 4;
    case coltype::kMoney: case coltype::kDouble: case coltype::kDateTime: case coltype::kBigInt:
      return 8;
    case coltype::kGuid: return 16;
    case coltype::kNumeric: return 17;
    case coltype::kExtDateTime: return 42;
    default: return c.length;
  }
}

int TableDef::findColumn(const std::string& n) const {
  for (size_t i = 0; i < columns.size(); ++i)
    if (equalsNoCase(columns[i].name, n)) return static_cast<int>(i);
  return -1;
}

std::string TableDef::indexFieldsText(const Index& ix) const {
  std::string out;
  if (ix.realIndex < 0 || ix.realIndex >= static_cast<int>(realIndexes.size())) return out;
  for (const auto& ic : realIndexes[ix.realIndex].columns) {
    out += ic.ascending ? "+" : "-";
    out += (ic.column >= 0 && ic.column < static_cast<int>(columns.size())) ? columns[ic.column].name : "?";
    out += ";";
  }
  return out;
}

TableDef parseTableDef(const std::vector<uint8_t>& bytes, const Format& fmt, uint16_t codePage) {
  ByteView b(bytes.data(), bytes.size());
  if (b.u8(0) != 0x02) corrupt("a table definition page has the wrong page type");
  TableDef t;
  t.rowCount = b.u32(fmt.offTdefRowCount);
  t.nextAutoNumber = b.u32(fmt.offTdefAutoNumber);
  t.tableType = b.u8(fmt.offTdefTableType);
  t.maxCols = b.u16(fmt.offTdefMaxCols);
  t.varColCount = b.u16(fmt.offTdefVarCols);
  uint32_t colCount = b.u16(fmt.offTdefColCount);
  uint32_t logCount = b.u32(fmt.offTdefLogicalIdxCount);
  uint32_t realCount = b.u32(fmt.offTdefRealIdxCount);
  t.usedPagesPtr = b.u32(fmt.offTdefUsedPages);
  t.freePagesPtr = b.u32(fmt.offTdefFreePages);
  // Counts that cannot fit in the definition are damage, not big tables.
  if (realCount > 1000 || logCount > 1000 || colCount > 4096 || realCount > logCount + 1000)
    corrupt("a table definition has impossible counts");

  size_t pos = fmt.offTdefRealIdxStart + size_t(realCount) * fmt.sizeRealIdxRowCount;
  std::vector<Column> cols(colCount);
  for (uint32_t i = 0; i < colCount; ++i) {
    ByteView d = b.sub(pos + size_t(i) * fmt.sizeColumnDesc, fmt.sizeColumnDesc);
    Column& c = cols[i];
    c.rawType = d.u8(fmt.offColType);
    c.type = dataTypeOf(c.rawType);
    c.number = d.u16(fmt.offColNumber);
    c.varIndex = d.u16(fmt.offColVarIndex);
    c.flags = d.u8(fmt.offColFlags);
    if (!fmt.jet3) c.extFlags = d.u8(fmt.offColExtFlags);
    c.fixedOffset = d.u16(fmt.offColFixedOffset);
    c.length = d.u16(fmt.offColLength);
    if (c.rawType == coltype::kText || c.rawType == coltype::kMemo) {
      c.sortOrder = d.u16(fmt.offColSortOrder);
      if (fmt.jet3) {
        c.codePage = d.u16(fmt.offColCodePage);
      } else {
        c.sortVersion = d.u8(fmt.offColSortOrder + 3);
      }
    } else if (c.rawType == coltype::kNumeric) {
      c.precision = d.u8(fmt.offColPrecision);
      c.scale = d.u8(fmt.offColScale);
    } else if (c.rawType == coltype::kComplex && !fmt.jet3) {
      c.complexId = d.i32(fmt.offColComplexId);
    }
  }
  pos += size_t(colCount) * fmt.sizeColumnDesc;
  for (uint32_t i = 0; i < colCount; ++i) cols[i].name = readName(b, pos, fmt, codePage);

  // Column order is the column number order.
  std::vector<uint16_t> originalNumbers;
  std::stable_sort(cols.begin(), cols.end(),
                   [](const Column& a, const Column& c) { return a.number < c.number; });
  t.columns = std::move(cols);
  auto colByNumber = [&](uint16_t num) -> int {
    for (size_t i = 0; i < t.columns.size(); ++i)
      if (t.columns[i].number == num) return static_cast<int>(i);
    return -1;
  };

  for (uint32_t i = 0; i < realCount; ++i) {
    ByteView d = b.sub(pos + size_t(i) * fmt.sizeRealIdxDesc, fmt.sizeRealIdxDesc);
    RealIndex r;
    r.number = static_cast<int>(i);
    for (int k = 0; k < 10; ++k) {
      uint16_t num = d.u16(fmt.offRealIdxColumns + k * 3);
      uint8_t order = d.u8(fmt.offRealIdxColumns + k * 3 + 2);
      if (num == 0xFFFF) continue;
      IndexColumn ic;
      ic.column = colByNumber(num);
      if (ic.column < 0) corrupt("an index names a column that does not exist");
      ic.ascending = order == 0x01;
      r.columns.push_back(ic);
    }
    r.usedPagesPtr = d.u32(fmt.offRealIdxUsedPages);
    r.rootPage = d.u32(fmt.offRealIdxRoot);
    r.flags = d.u8(fmt.offRealIdxFlags);
    t.realIndexes.push_back(std::move(r));
  }
  pos += size_t(realCount) * fmt.sizeRealIdxDesc;

  for (uint32_t i = 0; i < logCount; ++i) {
    ByteView d = b.sub(pos + size_t(i) * fmt.sizeLogicalIdxDesc, fmt.sizeLogicalIdxDesc);
    Index ix;
    ix.number = d.i32(fmt.offLogIdxNumber);
    int32_t real = d.i32(fmt.offLogIdxRealNumber);
    ix.realIndex = (real >= 0 && real < static_cast<int32_t>(realCount)) ? real : -1;
    ix.type = d.u8(fmt.offLogIdxType);
    t.indexes.push_back(std::move(ix));
  }
  pos += size_t(logCount) * fmt.sizeLogicalIdxDesc;
  for (uint32_t i = 0; i < logCount; ++i) t.indexes[i].name = readName(b, pos, fmt, codePage);
  return t;
}

}  // namespace jet
