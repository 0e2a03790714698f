#include "readback.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "jet/complex.h"
#include "jet/dump.h"
#include "jet/ext_datetime.h"

namespace migratetest {

namespace {

// A decimal text (digits, point, exponent) as a mantissa at the given scale.
__int128 scaledFrom(const std::string& s, int scale) {
  __int128 m = 0;
  int exp = 0, fracDigits = 0;
  bool neg = false, point = false;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      m = m * 10 + (c - '0');
      if (point) ++fracDigits;
    } else if (c == '.') {
      point = true;
    } else if (c == 'e' || c == 'E') {
      exp = std::atoi(s.c_str() + i + 1);
      break;
    }
  }
  int shift = scale - fracDigits + exp;
  for (; shift > 0; --shift) m *= 10;
  for (; shift < 0; ++shift) m /= 10;
  return neg ? -m : m;
}

double serialFromIso(const std::string& s) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double sec = 0;
  std::sscanf(s.c_str(), "%d-%d-%d %d:%d:%lf", &y, &mo, &d, &h, &mi, &sec);
  double days = jet::partsToSerial(y, mo, d, 0, 0, 0);
  double frac = (h * 3600 + mi * 60 + sec) / 86400.0;
  return days < 0 ? days - frac : days + frac;
}

}  // namespace

jet::Value fromText(const jet::Column& c, const char* text, size_t len, bool pg) {
  using jet::DataType;
  using jet::Value;
  if (!text) return Value();
  std::string s(text, len);
  switch (c.type) {
    case DataType::Boolean: return Value::boolean(s == "t" || s == "1" || s == "true");
    case DataType::Byte: return Value::byte(static_cast<uint8_t>(std::atoi(s.c_str())));
    case DataType::Integer: return Value::integer(static_cast<int16_t>(std::atoi(s.c_str())));
    case DataType::Long: return Value::longInt(static_cast<int32_t>(std::atol(s.c_str())));
    case DataType::BigInt: return Value::bigInt(std::atoll(s.c_str()));
    case DataType::Currency: return Value::currency(static_cast<int64_t>(scaledFrom(s, 4)));
    case DataType::Decimal: {
      jet::Decimal d;
      // Both targets keep the value's own scale (a calculated column's varies).
      size_t point = s.find('.');
      d.scale = point != std::string::npos ? static_cast<uint8_t>(s.size() - point - 1) : 0;
      d.precision = c.precision;
      d.mantissa = scaledFrom(s, d.scale);
      return Value::decimal(d);
    }
    case DataType::Single: return Value::single(static_cast<float>(std::strtod(s.c_str(), nullptr)));
    case DataType::Double: return Value::dbl(std::strtod(s.c_str(), nullptr));
    case DataType::DateTime: return Value::dateTime(serialFromIso(s));
    case DataType::Binary: case DataType::OLE: {
      if (!pg) return Value::binary(s, c.type);
      std::string bytes;
      for (size_t i = 2; i + 1 < s.size(); i += 2) bytes.push_back(static_cast<char>(std::stoi(s.substr(i, 2), nullptr, 16)));
      return Value::binary(bytes, c.type);
    }
    case DataType::GUID: {
      std::string hex;
      for (char ch : s)
        if (std::isxdigit(static_cast<unsigned char>(ch))) hex.push_back(ch);
      std::array<uint8_t, 16> raw{};
      // formatGuid writes the first three groups little-endian.
      static const int order[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
      for (int i = 0; i < 16 && hex.size() == 32; ++i)
        raw[order[i]] = static_cast<uint8_t>(std::stoi(hex.substr(i * 2, 2), nullptr, 16));
      return Value::guid(raw);
    }
    case DataType::ExtDateTime: {
      auto e = jet::parseExtDateTimeText(s);
      return e ? Value::text(jet::extDateTimeText(*e), DataType::ExtDateTime) : Value::text("bad: " + s);
    }
    case DataType::Memo: return Value::memo(s);
    default: return Value::text(s);
  }
}

std::string dumpRow(const std::vector<jet::Value>& row) {
  std::string line;
  for (size_t i = 0; i < row.size(); ++i) line += (i ? "\t" : "") + jet::dumpCell(row[i]);
  return line;
}

std::vector<std::string> sourceRows(jet::Database& db, const std::string& table) {
  std::ostringstream os;
  jet::writeDump(db, table, os);
  std::vector<std::string> lines;
  std::istringstream is(os.str());
  std::string line;
  while (std::getline(is, line))
    if (line.rfind("## ", 0) != 0) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> expectedRows(jet::Database& db, const migrate::TablePlan& t) {
  std::vector<std::string> out;
  if (!t.child) {
    auto scan = db.scan(t.name);
    int32_t n = 0;
    while (scan->next()) {
      jet::Value rowNumber = jet::Value::longInt(++n);
      std::vector<jet::Value> row;
      for (const auto& c : t.columns) row.push_back(c.rowNumber ? rowNumber : scan->values()[c.source]);
      out.push_back(dumpRow(row));
    }
  } else {
    const migrate::ChildSource& src = *t.child;
    auto scan = db.scan(src.parent);
    jet::ComplexReader reader(db, db.table(src.parent));
    int32_t n = 0;
    while (scan->next()) {
      std::vector<jet::Value> key;
      ++n;
      if (src.keySources.empty()) key.push_back(jet::Value::longInt(n));
      for (size_t k : src.keySources) key.push_back(scan->values()[k]);
      const jet::Value& id = scan->values()[src.column];
      if (src.kind == jet::ComplexKind::Attachment) {
        for (const auto& a : reader.attachments(src.column, id)) {
          auto row = key;
          row.push_back(jet::Value::text(a.name));
          row.push_back(jet::Value::text(a.type));
          row.push_back(jet::Value::binary(a.data, jet::DataType::OLE));
          out.push_back(dumpRow(row));
        }
      } else {
        for (const auto& v : reader.values(src.column, id)) {
          auto row = key;
          row.push_back(v);
          out.push_back(dumpRow(row));
        }
      }
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace migratetest
