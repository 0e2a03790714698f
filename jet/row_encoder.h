// Row encoding: values in, the bytes of one row out. Pure functions; the
// table writer decides where the bytes go.
//
// Row layout (Jet 4 and later; Jet 3 uses one-byte counts and offsets):
//   column count | fixed area | variable data | eod | offsets (reversed)
//   | variable column count | null mask
// The fixed area holds every fixed column at its offset whether Null or
// not; Boolean values live in the null mask (set = True). Jet 3 offsets are
// one byte each; a jump table (one entry per 256 bytes of row) says where
// the offsets pass each multiple of 256.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/format.h"
#include "jet/tabledef.h"
#include "jet/value.h"

namespace jet {

// One column's part of a row: Null, or the bytes stored for it (for
// Boolean columns only `present`, which is the value).
struct CellData {
  bool present = false;
  std::string bytes;
};


// Converts v to the column's own type: numbers between numeric types (with
// range checks), text to numbers, dates, GUIDs and Booleans, anything to
// text. Throws 3421 when the value cannot become the column's type and 3163
// when text or binary is longer than the column. Null stays Null.
Value coerceValue(const Format& fmt, const Column& col, const Value& v);

// The bytes a non-long column stores for a coerced, non-null value.
std::string encodeCellBytes(const Format& fmt, uint16_t codePage, const Column& col, const Value& v);
// Text as a text or memo column stores it.
std::string encodeStoredText(const Format& fmt, uint16_t codePage, const Column& col, const std::string& utf8);

// Builds the row. cells is indexed like TableDef::columns.
std::vector<uint8_t> encodeRow(const Format& fmt, const TableDef& def, const std::vector<CellData>& cells);

// Parses user text as a date ("yyyy-mm-dd[ hh:mm[:ss]]", "m/d/yyyy[ ...]",
// "hh:mm[:ss]"); false when it is not one.
bool parseDateText(const std::string& s, double& serial);

}  // namespace jet
