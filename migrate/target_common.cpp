#include "migrate/target.h"

#include <cmath>
#include <cstdio>

#include "jet/ext_datetime.h"
#include "jet/value.h"

namespace migrate {

std::string quoteIdent(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"') out += "\"\"";
    else out.push_back(c);
  }
  return out + "\"";
}

std::string indexName(const std::string& table, const std::string& index, Dialect d) {
  std::string n = table + "_" + index;
  // PostgreSQL keeps 63 bytes of a name; longer ones are shortened with a hash
  // of the whole so that two long names stay apart.
  if (d == Dialect::PostgreSQL && n.size() > 63) {
    uint32_t h = 2166136261u;
    for (unsigned char c : n) h = (h ^ c) * 16777619u;
    char buf[12];
    std::snprintf(buf, sizeof buf, "_%08x", h);
    size_t keep = 54;
    while (keep > 0 && (static_cast<unsigned char>(n[keep]) & 0xC0) == 0x80) --keep;  // whole characters
    n = n.substr(0, keep) + buf;
  }
  return n;
}

std::string defaultSql(const ColumnPlan& c, Dialect d) {
  using jet::DataType;
  const DefaultValue& v = c.defaultValue;
  DataType t = c.column->type;
  bool textual = t == DataType::Text || t == DataType::Memo;
  switch (v.kind) {
    case DefaultValue::None: return "";
    case DefaultValue::Text: {
      if (!textual) return "";
      std::string out = "'";
      for (char ch : v.text) out += ch == '\'' ? std::string("''") : std::string(1, ch);
      return out + "'";
    }
    case DefaultValue::Boolean:
      if (t == DataType::Boolean) return d == Dialect::PostgreSQL ? (v.text == "1" ? "TRUE" : "FALSE") : v.text;
      if (textual) return "";
      return v.text == "1" ? "-1" : "0";  // True is -1 as a number
    case DefaultValue::Number:
      if (textual) return "'" + v.text + "'";
      if (t == DataType::Boolean) return d == Dialect::PostgreSQL ? (v.text == "0" ? "FALSE" : "TRUE") : (v.text == "0" ? "0" : "1");
      if (t == DataType::DateTime || t == DataType::GUID || t == DataType::Binary || t == DataType::OLE) return "";
      return v.text;
  }
  return "";
}

bool isoDateTime(double serial, std::string& out) { return jet::appendIsoDateTimeMillis(out, serial); }

bool isoExtDateTime(const std::string& text, std::string& out) {
  auto v = jet::parseExtDateTimeText(text);
  if (!v) return false;
  std::string s = jet::extDateTimeText(*v);  // yyyy-MM-dd HH:mm:ss[.fffffff]
  out += s;
  if (s.size() == 19) out += ".0000000";
  return true;
}

}  // namespace migrate
