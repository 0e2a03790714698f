// A table definition as stored on its TDEF page chain: columns, indexes,
// row count, usage-map pointers. Parsing is pure: bytes in, TableDef out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format.h"
#include "jet/value.h"

namespace jet {

// Raw column type codes as stored in the file.
namespace coltype {
constexpr uint8_t kBool = 0x01, kByte = 0x02, kInt = 0x03, kLong = 0x04, kMoney = 0x05,
                  kFloat = 0x06, kDouble = 0x07, kDateTime = 0x08, kBinary = 0x09,
                  kText = 0x0A, kOle = 0x0B, kMemo = 0x0C, kGuid = 0x0F, kNumeric = 0x10,
                  kComplex = 0x12, kBigInt = 0x13, kExtDateTime = 0x14;
}

// Column flag bits.
namespace colflag {
constexpr uint8_t kFixed = 0x01, kNullable = 0x02, kAutoLong = 0x04, kReplication = 0x10,
                  kAutoGuid = 0x40, kHyperlink = 0x80;
}

struct Column {
  std::string name;
  uint8_t rawType = 0;
  DataType type = DataType::Null;
  uint16_t number = 0;       // position in the row's null mask (includes deleted columns)
  uint16_t varIndex = 0;     // entry in the row's variable-offset table
  uint16_t fixedOffset = 0;  // offset in the fixed-data area
  uint16_t length = 0;       // stored byte length (0 for long values)
  uint8_t flags = 0;
  uint8_t extFlags = 0;
  uint8_t precision = 0;
  uint8_t scale = 0;
  uint16_t sortOrder = 0;    // text collation id
  uint16_t sortVersion = 0;
  uint16_t codePage = 0;
  int32_t complexId = 0;
  // From the column's properties (MSysObjects.LvProp), filled by the catalogue.
  uint8_t calcResultRaw = 0;  // calculated columns: the raw type of their result
  std::string calcExpression; // calculated columns: their expression ("Expression")
  bool requiredProp = false;
  bool hasRequiredProp = false;

  bool fixed() const { return flags & colflag::kFixed; }
  bool autoNumber() const { return (flags & (colflag::kAutoLong | colflag::kAutoGuid)) != 0; }
  bool autoLong() const { return flags & colflag::kAutoLong; }
  bool autoGuid() const { return flags & colflag::kAutoGuid; }
  bool compressedUnicode() const { return extFlags & 0x01; }
  bool calculated() const { return extFlags & 0xC0; }
  bool isLongValue() const {
    return rawType == coltype::kMemo || rawType == coltype::kOle;
  }
  // Size as reported to users: characters for Text, bytes otherwise, 0 for long values.
  int displaySize(bool jet3) const;
};

struct IndexColumn {
  int column = -1;   // index into TableDef::columns
  bool ascending = true;
};

// A physical index: the b-tree. Several logical indexes may share one.
struct RealIndex {
  int number = 0;
  std::vector<IndexColumn> columns;
  uint32_t usedPagesPtr = 0;
  uint32_t rootPage = 0;
  uint8_t flags = 0;   // 0x01 unique, 0x02 ignore nulls, 0x08 required
  bool unique() const { return flags & 0x01; }
  bool ignoreNulls() const { return flags & 0x02; }
  bool required() const { return flags & 0x08; }
};

// A logical index, as users see it.
struct Index {
  std::string name;
  int number = 0;
  int realIndex = -1;  // position in TableDef::realIndexes
  uint8_t type = 0;    // 1 primary key, 2 foreign key
  bool primary() const { return type == 1; }
  bool foreignKey() const { return type == 2; }
};

struct TableDef {
  uint32_t page = 0;
  std::string name;
  uint32_t rowCount = 0;
  uint32_t nextAutoNumber = 0;
  uint8_t tableType = 0;  // 0x4e user, 0x53 system
  uint16_t maxCols = 0;
  uint16_t varColCount = 0;
  std::vector<Column> columns;  // in column order (by number)
  std::vector<RealIndex> realIndexes;
  std::vector<Index> indexes;   // in definition order
  uint32_t usedPagesPtr = 0;
  uint32_t freePagesPtr = 0;

  int findColumn(const std::string& name) const;  // case-insensitive; -1 when absent
  const RealIndex& realOf(const Index& ix) const { return realIndexes.at(ix.realIndex); }
  // "+A;-B;" rendering of an index's columns.
  std::string indexFieldsText(const Index& ix) const;
};

// Bytes a fixed-length column takes in a row (0 for Boolean, whose value
// is its null-mask bit).
size_t fixedDataWidth(const Column& c);

// The user-facing type of a raw column type code.
DataType dataTypeOf(uint8_t rawType);

// Parses a complete TDEF (pages already concatenated: the first page whole,
// continuation pages without their 8-byte header).
TableDef parseTableDef(const std::vector<uint8_t>& tdef, const Format& fmt, uint16_t codePage);

}  // namespace jet
