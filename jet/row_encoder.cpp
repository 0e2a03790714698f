#include "jet/row_encoder.h"

#include <optional>

#include "jet/ext_datetime.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "jet/bytes.h"
#include "jet/error.h"
#include "jet/text.h"

namespace jet {

namespace {

[[noreturn]] void conversionError(const Column& c, const Value& v) {
  throw Error(err::kTypeConversion, "Data type conversion error: '" + v.display() +
                                        "' is not a valid " + dataTypeName(c.type) +
                                        " value for field '" + c.name + "'.");
}

std::string trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

bool parseDouble(const std::string& in, double& out) {
  std::string s = trim(in);
  if (s.empty()) return false;
  // Thousands separators are not accepted; a leading '$' is.
  if (s[0] == '$') s.erase(0, 1);
  errno = 0;
  char* end = nullptr;
  out = std::strtod(s.c_str(), &end);
  if (end == s.c_str() || *end != 0 || errno == ERANGE) return false;
  return std::isfinite(out);
}

// The text without its leading and trailing blanks, as trim() cuts them.
std::string_view trimmedView(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return std::string_view(s).substr(a, b - a);
}

bool parseBool(const std::string& in, bool& out) {
  std::string_view t = trimmedView(in);
  if (t.size() <= 5 && std::all_of(t.begin(), t.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; })) {
    // Plain ASCII (every text of the words below is): compared without
    // copies.
    char u[6] = {};
    for (size_t i = 0; i < t.size(); ++i) u[i] = t[i] >= 'a' && t[i] <= 'z' ? static_cast<char>(t[i] - 'a' + 'A') : t[i];
    std::string_view w(u, t.size());
    if (w == "TRUE" || w == "YES" || w == "ON" || w == "-1" || w == "1") { out = true; return true; }
    if (w == "FALSE" || w == "NO" || w == "OFF" || w == "0") { out = false; return true; }
    return false;
  }
  std::string s = upperName(t);
  if (s == "TRUE" || s == "YES" || s == "ON" || s == "-1" || s == "1") { out = true; return true; }
  if (s == "FALSE" || s == "NO" || s == "OFF" || s == "0") { out = false; return true; }
  return false;
}

bool parseGuid(const std::string& in, std::array<uint8_t, 16>& g) {
  std::string s = trim(in);
  std::string hex;
  for (char c : s)
    if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(c);
    else if (c != '{' && c != '}' && c != '-') return false;
  if (hex.size() != 32) return false;
  uint8_t b[16];
  for (int i = 0; i < 16; ++i) b[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  // Text form: first three groups are little-endian words.
  const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
  for (int i = 0; i < 16; ++i) g[order[i]] = b[i];
  return true;
}

bool parseDecimalText(const std::string& in, int scale, __int128& out) {
  std::string s = trim(in);
  if (s.empty()) return false;
  bool neg = false;
  size_t i = 0;
  if (s[0] == '-' || s[0] == '+') { neg = s[0] == '-'; i = 1; }
  __int128 m = 0;
  int frac = -1;
  bool any = false;
  int roundDigit = -1;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c == '.') { if (frac >= 0) return false; frac = 0; continue; }
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    any = true;
    if (frac >= 0) {
      if (frac >= scale) { if (roundDigit < 0) roundDigit = c - '0'; continue; }
      ++frac;
    }
    m = m * 10 + (c - '0');
    if (m > (__int128(1) << 120)) return false;
  }
  if (!any) return false;
  for (int f = std::max(frac, 0); f < scale; ++f) m *= 10;
  if (roundDigit >= 5) m += 1;
  out = neg ? -m : m;
  return true;
}

int64_t roundToInt(double d) { return static_cast<int64_t>(std::nearbyint(d)); }

// Numeric value of v as a double; false when v is not a number (text that
// does not parse, binary...).
bool numericOf(const Value& v, double& out) {
  if (v.isNumeric()) { out = v.toDouble(); return true; }
  if (v.type() == DataType::DateTime) { out = v.asDouble(); return true; }
  if (v.isText()) {
    // Whole numbers of up to 15 digits (exact as doubles, so strtod would
    // give the same) are read without copies.
    std::string_view t = trimmedView(v.bytes());
    size_t i = !t.empty() && (t[0] == '-' || t[0] == '+') ? 1 : 0;
    if (t.size() > i && t.size() - i <= 15) {
      int64_t m = 0;
      size_t k = i;
      for (; k < t.size() && t[k] >= '0' && t[k] <= '9'; ++k) m = m * 10 + (t[k] - '0');
      if (k == t.size()) {
        out = static_cast<double>(t[0] == '-' ? -m : m);
        if (t[0] == '-' && m == 0) out = -0.0;
        return true;
      }
    }
    if (parseDouble(v.bytes(), out)) return true;
    bool b;
    if (parseBool(v.bytes(), b)) { out = b ? -1 : 0; return true; }
  }
  return false;
}

}  // namespace

namespace {
// Digits at p (exactly n of them) as a number; -1 when they are not digits.
int digitsAt(std::string_view s, size_t p, size_t n) {
  int v = 0;
  for (size_t k = p; k < p + n; ++k) {
    if (s[k] < '0' || s[k] > '9') return -1;
    v = v * 10 + (s[k] - '0');
  }
  return v;
}
}  // namespace

bool parseDateText(const std::string& in, double& serial) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
  {
    // The export's own form, "YYYY-MM-DD" with " HH:MM:SS" or not, read
    // without copies; anything else takes the general path below.
    std::string_view t = trimmedView(in);
    if ((t.size() == 10 || t.size() == 19) && t[4] == '-' && t[7] == '-' &&
        (t.size() == 10 || (t[10] == ' ' && t[13] == ':' && t[16] == ':'))) {
      y = digitsAt(t, 0, 4), mo = digitsAt(t, 5, 2), d = digitsAt(t, 8, 2);
      if (t.size() == 19) h = digitsAt(t, 11, 2), mi = digitsAt(t, 14, 2), se = digitsAt(t, 17, 2);
      if (y >= 100 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31 && h >= 0 && h < 24 && mi >= 0 && mi < 60 &&
          se >= 0 && se < 60) {
        double day = partsToSerial(y, mo, d, 0, 0, 0);
        int yy, mm, dd, a, b, c;
        if (!serialToParts(day, yy, mm, dd, a, b, c) || yy != y || mm != mo || dd != d) return false;
        serial = partsToSerial(y, mo, d, h, mi, se);
        return true;
      }
      y = mo = d = h = mi = se = 0;
    }
  }
  std::string s = trim(in);
  char tail[8] = {0};
  auto timeOk = [&] { return h >= 0 && h < 24 && mi >= 0 && mi < 60 && se >= 0 && se < 60; };
  auto dateOk = [&] { return y >= 100 && y <= 9999 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31; };
  int n;
  if ((n = std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%d%1s", &y, &mo, &d, &h, &mi, &se, tail)) >= 3 &&
      n != 4 && n <= 6 && s.find('-') != std::string::npos && s.find('/') == std::string::npos) {
    if (!dateOk() || !timeOk()) return false;
  } else if ((n = std::sscanf(s.c_str(), "%d/%d/%d %d:%d:%d%1s", &mo, &d, &y, &h, &mi, &se, tail)) >= 3 &&
             n != 4 && n <= 6) {
    if (!dateOk() || !timeOk()) return false;
  } else if ((n = std::sscanf(s.c_str(), "%d:%d:%d%1s", &h, &mi, &se, tail)) >= 2 && n <= 3 &&
             s.find('-') == std::string::npos && s.find('/') == std::string::npos) {
    if (!timeOk()) return false;
    serial = (h * 3600.0 + mi * 60.0 + se) / 86400.0;
    return true;
  } else {
    return false;
  }
  // Day must exist in its month.
  double t = partsToSerial(y, mo, d, 0, 0, 0);
  int yy, mm, dd, a, b, c;
  if (!serialToParts(t, yy, mm, dd, a, b, c) || yy != y || mm != mo || dd != d) return false;
  serial = partsToSerial(y, mo, d, h, mi, se);
  return true;
}

Value coerceValue(const Format& fmt, const Column& c, const Value& v) {
  if (v.isNull()) return v;
  double num = 0;
  switch (c.rawType) {
    case coltype::kBool: {
      if (v.type() == DataType::Boolean) return v;
      bool b;
      if (v.isText() && parseBool(v.bytes(), b)) return Value::boolean(b);
      if (numericOf(v, num)) return Value::boolean(num != 0);
      conversionError(c, v);
    }
    case coltype::kByte: case coltype::kInt: case coltype::kLong: case coltype::kBigInt: {
      int64_t i;
      if (v.isIntegral()) {
        i = v.type() == DataType::Boolean ? (v.asBool() ? -1 : 0) : v.asInt();
      } else if (numericOf(v, num)) {
        if (std::fabs(num) > 9.2e18) conversionError(c, v);
        i = roundToInt(num);
      } else {
        conversionError(c, v);
      }
      switch (c.rawType) {
        case coltype::kByte:
          if (i < 0 || i > 255) conversionError(c, v);
          return Value::byte(static_cast<uint8_t>(i));
        case coltype::kInt:
          if (i < -32768 || i > 32767) conversionError(c, v);
          return Value::integer(static_cast<int16_t>(i));
        case coltype::kLong:
          if (i < std::numeric_limits<int32_t>::min() || i > std::numeric_limits<int32_t>::max())
            conversionError(c, v);
          return Value::longInt(static_cast<int32_t>(i));
        default:
          return Value::bigInt(i);
      }
    }
    case coltype::kMoney: {
      if (v.type() == DataType::Currency) return v;
      if (v.isIntegral() && v.type() != DataType::Boolean) {
        if (std::llabs(v.asInt()) > 922337203685477LL) conversionError(c, v);
        return Value::currency(v.asInt() * 10000);
      }
      if (v.isText()) {
        __int128 m;
        std::string t = trim(v.bytes());
        if (!t.empty() && t[0] == '$') t.erase(0, 1);
        if (parseDecimalText(t, 4, m)) {
          if (m > std::numeric_limits<int64_t>::max() || m < std::numeric_limits<int64_t>::min())
            conversionError(c, v);
          return Value::currency(static_cast<int64_t>(m));
        }
      }
      if (!numericOf(v, num) || std::fabs(num) > 9.2e14) conversionError(c, v);
      return Value::currency(roundToInt(num * 10000.0));
    }
    case coltype::kFloat: {
      if (!numericOf(v, num)) conversionError(c, v);
      if (std::fabs(num) > std::numeric_limits<float>::max()) conversionError(c, v);
      return Value::single(static_cast<float>(num));
    }
    case coltype::kDouble: {
      if (v.type() == DataType::Double) return v;
      if (!numericOf(v, num)) conversionError(c, v);
      return Value::dbl(num);
    }
    case coltype::kDateTime: {
      if (v.type() == DataType::DateTime) return v;
      double serial;
      if (v.isText() && parseDateText(v.bytes(), serial)) return Value::dateTime(serial);
      if (v.isNumeric() && v.type() != DataType::Boolean) return Value::dateTime(v.toDouble());
      if (v.isText() && parseDouble(v.bytes(), num)) return Value::dateTime(num);
      conversionError(c, v);
    }
    case coltype::kExtDateTime: {
      std::optional<ExtDateTime> e;
      if (v.type() == DataType::ExtDateTime || v.isText()) e = parseExtDateTimeText(v.bytes());
      else if (v.type() == DataType::DateTime || (v.isNumeric() && v.type() != DataType::Boolean))
        e = extDateTimeFromSerial(v.toDouble());
      if (!e) conversionError(c, v);
      return Value::text(extDateTimeText(*e), DataType::ExtDateTime);
    }
    case coltype::kGuid: {
      if (v.type() == DataType::GUID) return v;
      std::array<uint8_t, 16> g;
      if (v.isText() && parseGuid(v.bytes(), g)) return Value::guid(g);
      conversionError(c, v);
    }
    case coltype::kNumeric: {
      Decimal d;
      d.scale = c.scale;
      d.precision = c.precision ? c.precision : 18;
      __int128 m;
      if (v.type() == DataType::Decimal) {
        Decimal in = v.asDecimal();
        m = in.mantissa;
        int s = in.scale;
        while (s < c.scale) { m *= 10; ++s; }
        while (s > c.scale) {
          __int128 q = m / 10, r = m % 10;
          m = q + (r >= 5 ? 1 : (r <= -5 ? -1 : 0));
          --s;
        }
      } else if (v.isIntegral() && v.type() != DataType::Boolean) {
        m = v.asInt();
        for (int s = 0; s < c.scale; ++s) m *= 10;
      } else if (v.isText()) {
        if (!parseDecimalText(v.bytes(), c.scale, m)) conversionError(c, v);
      } else if (numericOf(v, num)) {
        std::string t = formatSignificant(num, 15);
        if (!parseDecimalText(t, c.scale, m)) conversionError(c, v);
      } else {
        conversionError(c, v);
      }
      __int128 limit = 1;
      for (int i = 0; i < d.precision; ++i) limit *= 10;
      if (m >= limit || m <= -limit) conversionError(c, v);
      d.mantissa = m;
      return Value::decimal(d);
    }
    case coltype::kText: case coltype::kMemo: {
      std::string s;
      if (v.isText()) s = v.bytes();
      else if (v.type() == DataType::Boolean) s = v.asBool() ? "True" : "False";
      else if (v.isBinary()) s = v.bytes();
      else s = v.display();
      if (c.rawType == coltype::kText) {
        size_t maxChars = fmt.jet3 ? c.length : c.length / 2;
        size_t chars = utf8ToUtf16(s).size();
        if (chars > maxChars)
          throw Error(err::kFieldTooSmall,
                      "The field '" + c.name + "' is too small to accept the amount of data you "
                      "attempted to add (" + std::to_string(chars) + " characters, at most " +
                      std::to_string(maxChars) + ").");
        return Value::text(std::move(s));
      }
      return Value::memo(std::move(s));
    }
    case coltype::kBinary: case coltype::kOle: {
      if (!v.isBinary() && !v.isText() && v.type() != DataType::GUID) conversionError(c, v);
      if (c.rawType == coltype::kBinary && v.bytes().size() > c.length)
        throw Error(err::kFieldTooSmall, "The field '" + c.name +
                                             "' is too small to accept the amount of data you "
                                             "attempted to add.");
      return Value::binary(v.bytes(), c.rawType == coltype::kOle ? DataType::OLE : DataType::Binary);
    }
    default:
      throw Error(err::kNotSupported, "Field '" + c.name + "' has a type that cannot be written.");
  }
}

std::string encodeStoredText(const Format& fmt, uint16_t codePage, const Column& c, const std::string& utf8) {
  std::u16string u = jet::utf8ToUtf16(std::string_view(utf8));
  if (fmt.jet3) return encodeCodePageText(u, codePage);
  return encodeUcs2Text(u, c.compressedUnicode());
}

std::string encodeCellBytes(const Format& fmt, uint16_t codePage, const Column& c, const Value& v) {
  std::string out;
  auto raw = [&](const void* p, size_t n) { out.append(static_cast<const char*>(p), n); };
  switch (c.rawType) {
    case coltype::kByte: { uint8_t b = static_cast<uint8_t>(v.asInt()); raw(&b, 1); break; }
    case coltype::kInt: { uint8_t b[2]; put16(b, static_cast<uint16_t>(v.asInt())); raw(b, 2); break; }
    case coltype::kLong: case coltype::kComplex: {
      uint8_t b[4]; put32(b, static_cast<uint32_t>(v.asInt())); raw(b, 4); break;
    }
    case coltype::kBigInt: case coltype::kMoney: {
      uint8_t b[8]; put64(b, static_cast<uint64_t>(v.asInt())); raw(b, 8); break;
    }
    case coltype::kFloat: {
      float f = static_cast<float>(v.asDouble());
      uint32_t u; std::memcpy(&u, &f, 4);
      uint8_t b[4]; put32(b, u); raw(b, 4); break;
    }
    case coltype::kDouble: case coltype::kDateTime: {
      double d = v.asDouble();
      uint64_t u; std::memcpy(&u, &d, 8);
      uint8_t b[8]; put64(b, u); raw(b, 8); break;
    }
    case coltype::kGuid: out = v.bytes(); break;
    case coltype::kExtDateTime: {
      auto e = parseExtDateTimeText(v.bytes());
      if (!e) conversionError(c, v);
      out = storedExtDateTime(*e);
      break;
    }
    case coltype::kNumeric: {
      Decimal d = v.asDecimal();
      bool neg = d.mantissa < 0;
      unsigned __int128 mag = neg ? static_cast<unsigned __int128>(-d.mantissa)
                                  : static_cast<unsigned __int128>(d.mantissa);
      uint8_t b[17];
      b[0] = neg ? 0x80 : 0x00;
      for (int w = 0; w < 4; ++w) {
        uint32_t word = static_cast<uint32_t>(mag >> (32 * (3 - w)));
        put32(b + 1 + 4 * w, word);
      }
      raw(b, 17);
      break;
    }
    case coltype::kText: {
      out = encodeStoredText(fmt, codePage, c, v.bytes());
      if (c.fixed()) {
        // A fixed text column is padded with blanks to its full width.
        std::string blank = encodeStoredText(fmt, codePage, c, " ");
        if (blank.size() == 3) blank = blank.substr(2);  // compressed marker
        while (out.size() + blank.size() <= c.length) out += blank;
        out.resize(c.length, 0);
      }
      break;
    }
    case coltype::kBinary:
      out = v.bytes();
      if (c.fixed()) out.resize(c.length, 0);
      break;
    default:
      throw Error(err::kNotSupported, "Field '" + c.name + "' has a type that cannot be written.");
  }
  return out;
}

std::vector<uint8_t> encodeRow(const Format& fmt, const TableDef& def, const std::vector<CellData>& cells) {
  const bool jet3 = fmt.jet3;
  // Column count of the row: the highest column number + 1 (numbers include
  // deleted columns), and never less than the definition's maximum.
  size_t colCount = def.maxCols;
  size_t fixedLen = 0;
  int maxVar = -1;
  for (const auto& c : def.columns) {
    colCount = std::max<size_t>(colCount, c.number + 1u);
    if (c.fixed()) fixedLen = std::max(fixedLen, c.fixedOffset + fixedDataWidth(c));
    else maxVar = std::max<int>(maxVar, c.varIndex);
  }
  const size_t nms = (colCount + 7) / 8;
  const size_t cc = jet3 ? 1 : 2;
  std::vector<uint8_t> row(cc + fixedLen, 0);
  if (jet3) row[0] = static_cast<uint8_t>(colCount);
  else put16(row.data(), static_cast<uint16_t>(colCount));
  std::vector<uint8_t> mask(nms, 0);
  for (size_t i = 0; i < def.columns.size(); ++i) {
    const Column& c = def.columns[i];
    const CellData& cell = cells.at(i);
    if (cell.present) mask[c.number / 8] |= uint8_t(1u << (c.number % 8));
    if (c.fixed() && cell.present && c.rawType != coltype::kBool) {
      size_t w = fixedDataWidth(c);
      size_t n = std::min(w, cell.bytes.size());
      std::memcpy(row.data() + cc + c.fixedOffset, cell.bytes.data(), n);
    }
  }
  if (def.varColCount == 0 || maxVar < 0) {
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
  }
  // Variable data in variable-index order; offsets from the row start.
  size_t varCount = static_cast<size_t>(maxVar) + 1;
  std::vector<const CellData*> byVar(varCount, nullptr);
  for (size_t i = 0; i < def.columns.size(); ++i)
    if (!def.columns[i].fixed()) byVar[def.columns[i].varIndex] = &cells[i];
  std::vector<size_t> offs(varCount + 1);
  for (size_t k = 0; k < varCount; ++k) {
    offs[k] = row.size();
    if (byVar[k] && byVar[k]->present) row.insert(row.end(), byVar[k]->bytes.begin(), byVar[k]->bytes.end());
  }
  offs[varCount] = row.size();
  if (!jet3) {
    // eod, then the offsets of var columns last-to-first, then the count.
    size_t base = row.size();
    row.resize(base + 2 * (varCount + 1) + 2);
    // Entry i sits at (count position) - 2*(i+1); entry varCount is eod.
    size_t countPos = row.size() - 2;
    for (size_t i = 0; i <= varCount; ++i) {
      if (offs[i] > 0xFFFF) throw Error(err::kNotSupported, "A row is too long.");
      put16(row.data() + countPos - 2 * (i + 1), static_cast<uint16_t>(offs[i]));
    }
    put16(row.data() + countPos, static_cast<uint16_t>(varCount));
    row.insert(row.end(), mask.begin(), mask.end());
    return row;
  }
  // Jet 3: one-byte offsets plus a jump table sized by the row length.
  size_t dataEnd = row.size();
  size_t numJumps = 0;
  for (;;) {
    size_t len = dataEnd + (varCount + 1) + numJumps + 1 + nms;
    size_t need = (len - 1) / 256;
    if (need == numJumps) break;
    numJumps = need;
  }
  size_t len = dataEnd + (varCount + 1) + numJumps + 1 + nms;
  row.resize(len, 0);
  size_t L = len;
  size_t tablePos = L - nms - 2 - numJumps;  // entry 0
  for (size_t i = 0; i <= varCount; ++i) row[tablePos - i] = static_cast<uint8_t>(offs[i] & 0xFF);
  // Jump entry j names the first offset entry at or past 256 * (j + 1).
  for (size_t j = 0; j < numJumps; ++j) {
    size_t first = 0xFF;
    for (size_t i = 0; i <= varCount; ++i)
      if (offs[i] >= 256 * (j + 1)) { first = i; break; }
    row[L - nms - 2 - j] = static_cast<uint8_t>(first);
  }
  row[L - nms - 1] = static_cast<uint8_t>(varCount);
  std::memcpy(row.data() + L - nms, mask.data(), nms);
  return row;
}

}  // namespace jet
