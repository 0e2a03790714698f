// Index keys: the byte string an index entry stores for a row. Entries are
// ordered by plain byte comparison of these strings (then by row address),
// so every column type is encoded so that byte order is value order:
//
//   per column   a start flag (7F ascending / 80 descending), or only a null
//                flag (00 ascending / FF descending) when the value is Null,
//                followed by the value bytes:
//   Byte                 the byte
//   Integer/Long/Big Integer/Currency/complex id
//                        big-endian two's complement, sign bit flipped
//   Single/Double/Date   big-endian IEEE; positive: sign bit set;
//                        negative: all bits inverted
//   Decimal              sign byte + 16-byte big-endian magnitude, with the
//                        sign byte and inversion rules of the file version
//   Boolean              00 true / FF false (never Null)
//   GUID, Binary         8-byte groups each followed by a length byte (09
//                        when more groups follow)
//   Text, Memo           collation codes (jet/index_codes.h)
//
// Descending columns invert the value bytes (the flags above already say
// which direction). A multi-column key is the concatenation of its columns.
// The write path uses the same functions, so what is produced here is exactly
// what the product writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format.h"
#include "jet/index_codes.h"
#include "jet/tabledef.h"
#include "jet/value.h"

namespace jet {

namespace keyflag {
constexpr uint8_t kAscStart = 0x7F, kAscNull = 0x00, kDescStart = 0x80, kDescNull = 0xFF;
}

// The collation a text column's index keys use.
TextSortOrder textSortOrderFor(const Format& fmt, const Column& col);
// The database's own sort order, from its header's collation id and sort
// version (Jet 3 files: General97 or Unsupported).
TextSortOrder databaseSortOrder(const Format& fmt, uint32_t sortOrder, uint16_t sortVersion);

// Whether a column of this type can be part of an index key we can build.
// When false, *why says why (for messages).
bool canEncodeKeyColumn(const Format& fmt, const Column& col, std::string* why = nullptr);
bool canEncodeKey(const Format& fmt, const TableDef& def, const RealIndex& ix, std::string* why = nullptr);

// Appends one column's part of a key (flag + value bytes). Values of another
// numeric type than the column's are converted; a value that cannot be
// converted throws 3464 (data type mismatch); unsupported column types
// throw 3251.
void appendKeyColumn(const Format& fmt, const Column& col, bool ascending, const Value& v,
                     std::vector<uint8_t>& out);

// The key bytes for a row: rowValues holds every column of the table
// (TableDef::columns order), as TableScan::values() gives them.
std::vector<uint8_t> encodeIndexKey(const Format& fmt, const TableDef& def, const RealIndex& ix,
                                    const std::vector<Value>& rowValues);

// The key bytes for explicit key values: keyValues[i] belongs to the index's
// i-th column. Fewer values than index columns give a key prefix, which is
// also a byte prefix of every full key that starts with those values.
std::vector<uint8_t> encodeIndexKeyValues(const Format& fmt, const TableDef& def, const RealIndex& ix,
                                          const std::vector<Value>& keyValues);

// True when every key column of the row is Null (such rows are left out of an
// index that ignores nulls).
bool keyIsAllNull(const TableDef& def, const RealIndex& ix, const std::vector<Value>& rowValues);
// True when any key column of the row is Null.
bool keyHasNull(const TableDef& def, const RealIndex& ix, const std::vector<Value>& rowValues);

}  // namespace jet
