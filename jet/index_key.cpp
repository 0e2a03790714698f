#include "jet/index_key.h"

#include <optional>

#include "jet/ext_datetime.h"

#include <cmath>
#include <cstring>

#include "jet/error.h"

namespace jet {
namespace {

constexpr uint16_t kGeneralSortOrder = 1033;  // 0x409, "General"

[[noreturn]] void mismatch(const Column& col, const Value& v) {
  throw Error(err::kDataTypeMismatch,
              std::string("Data type mismatch in criteria expression: a ") + dataTypeName(v.type()) +
                  " value cannot be a key of the " + dataTypeName(col.type) + " field '" + col.name + "'.");
}

void invert(uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) p[i] = static_cast<uint8_t>(~p[i]);
}

void putBigEndian(uint8_t* p, uint64_t v, int n) {
  for (int i = n - 1; i >= 0; --i) {
    p[i] = static_cast<uint8_t>(v);
    v >>= 8;
  }
}

double toDoubleFor(const Column& col, const Value& v) {
  switch (v.type()) {
    case DataType::Single: case DataType::Double: case DataType::DateTime:
      return v.asDouble();
    case DataType::Boolean: return v.asBool() ? -1.0 : 0.0;
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
    case DataType::Currency: case DataType::Decimal:
      return v.toDouble();
    default: mismatch(col, v);
  }
}

__int128 pow10i(int n) {
  __int128 r = 1;
  for (int i = 0; i < n; ++i) r *= 10;
  return r;
}

// Scaled integer of a value at the given scale (rounded half away from zero).
__int128 scaledFor(const Column& col, const Value& v, int scale) {
  switch (v.type()) {
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      return static_cast<__int128>(v.asInt()) * pow10i(scale);
    case DataType::Boolean: return (v.asBool() ? -1 : 0) * pow10i(scale);
    case DataType::Currency: {
      __int128 m = v.asInt();
      if (scale >= 4) return m * pow10i(scale - 4);
      __int128 d = pow10i(4 - scale);
      __int128 q = m / d, r = m % d;
      if (2 * (r < 0 ? -r : r) >= d) q += (m < 0 ? -1 : 1);
      return q;
    }
    case DataType::Decimal: {
      Decimal dv = v.asDecimal();
      if (scale >= dv.scale) return dv.mantissa * pow10i(scale - dv.scale);
      __int128 d = pow10i(dv.scale - scale);
      __int128 q = dv.mantissa / d, r = dv.mantissa % d;
      if (2 * (r < 0 ? -r : r) >= d) q += (dv.mantissa < 0 ? -1 : 1);
      return q;
    }
    case DataType::Single: case DataType::Double: case DataType::DateTime: {
      long double x = std::round(static_cast<long double>(v.asDouble()) * static_cast<long double>(pow10i(scale)));
      if (!std::isfinite(x) || std::fabs(x) > 1.7e38L) mismatch(col, v);
      return static_cast<__int128>(x);
    }
    default: mismatch(col, v);
  }
}

int64_t intFor(const Column& col, const Value& v) {
  if (v.type() == DataType::Complex) return v.asInt();
  if (col.rawType == coltype::kMoney) {
    __int128 s = scaledFor(col, v, 4);
    if (s > INT64_MAX || s < INT64_MIN) mismatch(col, v);
    return static_cast<int64_t>(s);
  }
  switch (v.type()) {
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      return v.asInt();
    case DataType::Boolean: return v.asBool() ? -1 : 0;
    case DataType::Currency: case DataType::Decimal: case DataType::Single: case DataType::Double:
    case DataType::DateTime: {
      __int128 s = scaledFor(col, v, 0);
      if (s > INT64_MAX || s < INT64_MIN) mismatch(col, v);
      return static_cast<int64_t>(s);
    }
    default: mismatch(col, v);
  }
}

// Integers: big-endian, sign bit flipped so negatives sort first.
void appendInteger(int64_t n, int width, bool asc, std::vector<uint8_t>& out) {
  uint8_t b[8];
  putBigEndian(b, static_cast<uint64_t>(n), width);
  b[0] ^= 0x80;
  if (!asc) invert(b, width);
  out.insert(out.end(), b, b + width);
}

void appendFloating(const uint8_t* bigEndian, int width, bool asc, std::vector<uint8_t>& out) {
  uint8_t b[8];
  std::memcpy(b, bigEndian, width);
  bool negative = (b[0] & 0x80) != 0;
  if (!negative) b[0] ^= 0x80;
  if (negative == asc) invert(b, width);
  out.insert(out.end(), b, b + width);
}

// Binary data in groups of 8 bytes, each followed by a length byte: 9 when
// more data follows, else the group's used length. Descending inverts the
// data, but the 09 continuation bytes stay as they are.
void appendBinary(const uint8_t* p, size_t n, bool asc, std::vector<uint8_t>& out) {
  while (n > 8) {
    size_t at = out.size();
    out.insert(out.end(), p, p + 8);
    if (!asc) invert(out.data() + at, 8);
    out.push_back(9);
    p += 8;
    n -= 8;
  }
  if (n > 0) {
    uint8_t g[9] = {};
    std::memcpy(g, p, n);
    g[8] = static_cast<uint8_t>(n);
    if (!asc) invert(g, 9);
    out.insert(out.end(), g, g + 9);
  }
}

}  // namespace

TextSortOrder textSortOrderFor(const Format& fmt, const Column& col) {
  if (fmt.jet3) {
    return (col.sortOrder == 0 || col.sortOrder == kGeneralSortOrder) ? TextSortOrder::General97
                                                                      : TextSortOrder::Unsupported;
  }
  if (col.sortOrder == 0) {
    bool general2010 = fmt.version != Version::Jet4 && fmt.version != Version::Ace12;
    return general2010 ? TextSortOrder::General : TextSortOrder::GeneralLegacy;
  }
  if (col.sortOrder == kGeneralSortOrder) {
    if (col.sortVersion == 0) return TextSortOrder::GeneralLegacy;
    if (col.sortVersion == 1) return TextSortOrder::General;
  }
  return TextSortOrder::Unsupported;
}

TextSortOrder databaseSortOrder(const Format& fmt, uint32_t sortOrder, uint16_t sortVersion) {
  Column c;
  c.sortOrder = static_cast<uint16_t>(sortOrder);
  c.sortVersion = sortVersion;
  return sortOrder > 0xFFFF ? TextSortOrder::Unsupported : textSortOrderFor(fmt, c);
}

bool canEncodeKeyColumn(const Format& fmt, const Column& col, std::string* why) {
  switch (col.rawType) {
    case coltype::kBool: case coltype::kByte: case coltype::kInt: case coltype::kLong:
    case coltype::kMoney: case coltype::kFloat: case coltype::kDouble: case coltype::kDateTime:
    case coltype::kBinary: case coltype::kGuid: case coltype::kNumeric: case coltype::kComplex:
    case coltype::kBigInt: case coltype::kExtDateTime:
      return true;
    case coltype::kText: case coltype::kMemo:
      if (textSortOrderFor(fmt, col) != TextSortOrder::Unsupported) return true;
      if (why)
        *why = "field '" + col.name + "' uses text sort order " + std::to_string(col.sortOrder) +
               " (version " + std::to_string(col.sortVersion) + "), which is not supported";
      return false;
    default:
      if (why) *why = "field '" + col.name + "' has a type that cannot be indexed";
      return false;
  }
}

bool canEncodeKey(const Format& fmt, const TableDef& def, const RealIndex& ix, std::string* why) {
  for (const IndexColumn& ic : ix.columns) {
    if (ic.column < 0 || static_cast<size_t>(ic.column) >= def.columns.size()) {
      if (why) *why = "index refers to a missing field";
      return false;
    }
    if (!canEncodeKeyColumn(fmt, def.columns[ic.column], why)) return false;
  }
  return true;
}

void appendKeyColumn(const Format& fmt, const Column& col, bool asc, const Value& v,
                     std::vector<uint8_t>& out) {
  // Booleans have no Null in the file; a missing value is False.
  if (col.rawType == coltype::kBool) {
    bool b = v.isNull() ? false : (v.type() == DataType::Boolean ? v.asBool() : toDoubleFor(col, v) != 0);
    out.push_back(asc ? keyflag::kAscStart : keyflag::kDescStart);
    out.push_back(b == asc ? 0x00 : 0xFF);
    return;
  }
  if (v.isNull()) {
    out.push_back(asc ? keyflag::kAscNull : keyflag::kDescNull);
    return;
  }
  std::string why;
  if (!canEncodeKeyColumn(fmt, col, &why))
    throw Error(err::kNotSupported, "Cannot build an index key: " + why + ".");
  out.push_back(asc ? keyflag::kAscStart : keyflag::kDescStart);

  switch (col.rawType) {
    case coltype::kByte: {
      int64_t n = intFor(col, v);
      if (n < 0 || n > 255) mismatch(col, v);
      out.push_back(static_cast<uint8_t>(asc ? n : ~n));
      return;
    }
    case coltype::kInt: {
      int64_t n = intFor(col, v);
      if (n < INT16_MIN || n > INT16_MAX) mismatch(col, v);
      appendInteger(n, 2, asc, out);
      return;
    }
    case coltype::kLong: case coltype::kComplex: {
      int64_t n = intFor(col, v);
      if (n < INT32_MIN || n > INT32_MAX) mismatch(col, v);
      appendInteger(n, 4, asc, out);
      return;
    }
    case coltype::kMoney: case coltype::kBigInt:
      appendInteger(intFor(col, v), 8, asc, out);
      return;
    case coltype::kExtDateTime: {
      // Ticks since 0001-01-01: one number in the order of the dates.
      std::optional<ExtDateTime> e;
      if (v.type() == DataType::ExtDateTime || v.isText()) e = parseExtDateTimeText(v.bytes());
      else if (v.type() == DataType::DateTime) e = extDateTimeFromSerial(v.asDouble());
      if (!e) mismatch(col, v);
      appendInteger(e->totalTicks(), 8, asc, out);
      return;
    }
    case coltype::kFloat: {
      float f = static_cast<float>(toDoubleFor(col, v));
      uint32_t bits;
      std::memcpy(&bits, &f, 4);
      uint8_t b[4];
      putBigEndian(b, bits, 4);
      appendFloating(b, 4, asc, out);
      return;
    }
    case coltype::kDouble: case coltype::kDateTime: {
      double d = toDoubleFor(col, v);
      uint64_t bits;
      std::memcpy(&bits, &d, 8);
      uint8_t b[8];
      putBigEndian(b, bits, 8);
      appendFloating(b, 8, asc, out);
      return;
    }
    case coltype::kNumeric: {
      __int128 m = scaledFor(col, v, col.scale);
      bool negative = m < 0;
      unsigned __int128 mag = negative ? static_cast<unsigned __int128>(-m) : static_cast<unsigned __int128>(m);
      uint8_t b[17];
      b[0] = negative ? 0x80 : 0x00;
      for (int i = 16; i >= 1; --i) {
        b[i] = static_cast<uint8_t>(mag);
        mag >>= 8;
      }
      // Jet 3 and Jet 4 files keep the older rule, under which descending
      // indexes place negative numbers first.
      bool olderRule = fmt.jet3 || fmt.version == Version::Jet4;
      if (olderRule) {
        if (negative == asc) invert(b, 17);
        b[0] = negative ? 0x00 : 0xFF;
      } else {
        b[0] = 0xFF;
        if (negative == asc) invert(b, 17);
      }
      out.insert(out.end(), b, b + 17);
      return;
    }
    case coltype::kGuid: {
      if (v.type() != DataType::GUID || v.bytes().size() != 16) mismatch(col, v);
      const auto* r = reinterpret_cast<const uint8_t*>(v.bytes().data());
      // Stored little-endian in its first three groups; keys use the
      // written-out order.
      uint8_t b[16] = {r[3], r[2], r[1], r[0], r[5], r[4], r[7], r[6],
                       r[8], r[9], r[10], r[11], r[12], r[13], r[14], r[15]};
      appendBinary(b, 16, asc, out);
      return;
    }
    case coltype::kBinary: {
      if (!v.isBinary() && v.type() != DataType::GUID) mismatch(col, v);
      const std::string& s = v.bytes();
      appendBinary(reinterpret_cast<const uint8_t*>(s.data()), s.size(), asc, out);
      return;
    }
    case coltype::kText: case coltype::kMemo: {
      TextSortOrder order = textSortOrderFor(fmt, col);
      if (v.isText()) appendTextSortKeyUtf8(order, v.bytes(), asc, out);
      else if (v.isBinary()) mismatch(col, v);
      else appendTextSortKeyUtf8(order, v.display(), asc, out);
      return;
    }
    default:
      break;
  }
  throw Error(err::kNotSupported, "Cannot build an index key for field '" + col.name + "'.");
}

std::vector<uint8_t> encodeIndexKey(const Format& fmt, const TableDef& def, const RealIndex& ix,
                                    const std::vector<Value>& rowValues) {
  std::vector<uint8_t> out;
  for (const IndexColumn& ic : ix.columns) {
    if (ic.column < 0 || static_cast<size_t>(ic.column) >= def.columns.size() ||
        static_cast<size_t>(ic.column) >= rowValues.size())
      throw Error(err::kCorrupt, "The database file is damaged: an index refers to a missing field.");
    appendKeyColumn(fmt, def.columns[ic.column], ic.ascending, rowValues[ic.column], out);
  }
  return out;
}

std::vector<uint8_t> encodeIndexKeyValues(const Format& fmt, const TableDef& def, const RealIndex& ix,
                                          const std::vector<Value>& keyValues) {
  if (keyValues.size() > ix.columns.size())
    throw Error(err::kItemNotFound, "More key values than the index has fields.");
  std::vector<uint8_t> out;
  for (size_t i = 0; i < keyValues.size(); ++i) {
    const IndexColumn& ic = ix.columns[i];
    if (ic.column < 0 || static_cast<size_t>(ic.column) >= def.columns.size())
      throw Error(err::kCorrupt, "The database file is damaged: an index refers to a missing field.");
    appendKeyColumn(fmt, def.columns[ic.column], ic.ascending, keyValues[i], out);
  }
  return out;
}

namespace {
bool keyColumnNull(const TableDef& def, const IndexColumn& ic, const std::vector<Value>& row) {
  if (ic.column < 0 || static_cast<size_t>(ic.column) >= row.size()) return true;
  if (static_cast<size_t>(ic.column) < def.columns.size() &&
      def.columns[ic.column].rawType == coltype::kBool)
    return false;
  return row[ic.column].isNull();
}
}  // namespace

bool keyIsAllNull(const TableDef& def, const RealIndex& ix, const std::vector<Value>& rowValues) {
  for (const IndexColumn& ic : ix.columns)
    if (!keyColumnNull(def, ic, rowValues)) return false;
  return true;
}

bool keyHasNull(const TableDef& def, const RealIndex& ix, const std::vector<Value>& rowValues) {
  for (const IndexColumn& ic : ix.columns)
    if (keyColumnNull(def, ic, rowValues)) return true;
  return false;
}

}  // namespace jet
