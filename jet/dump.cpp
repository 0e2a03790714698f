#include "jet/dump.h"

#include <array>

#include "jet/complex.h"
#include "jet/error.h"
#include "jet/text.h"

namespace jet {

uint32_t crc32(const std::string& bytes) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char ch : bytes) c = table[(c ^ ch) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

namespace {
std::string escapeText(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}
}  // namespace

std::string dumpCell(const Value& v) {
  switch (v.type()) {
    case DataType::Null: return "NULL";
    case DataType::Boolean: return v.asBool() ? "true" : "false";
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      return std::to_string(v.asInt());
    case DataType::Currency: return formatScaled(v.asInt(), 4);
    case DataType::Single: return formatSignificant(v.asDouble(), 9);
    case DataType::Double: return formatSignificant(v.asDouble(), 17);
    case DataType::DateTime: return formatDateTime(v.asDouble());
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime:
      return escapeText(v.bytes());
    case DataType::Binary: case DataType::OLE: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%08x", crc32(v.bytes()));
      return "bin:" + std::to_string(v.bytes().size()) + ":" + buf;
    }
    case DataType::GUID: return formatGuid(v.bytes());
    case DataType::Decimal: {
      Decimal d = v.asDecimal();
      return formatScaled(d.mantissa, d.scale);
    }
    case DataType::Complex: return "complex:" + std::to_string(v.asInt());
  }
  return "";
}

void writeSchema(Database& db, std::ostream& out) {
  out << "format\t" << db.formatName() << "\n";
  for (const CatalogEntry* e : db.tables(false)) {
    if (e->kind != ObjectKind::Table) continue;
    auto def = db.table(*e);
    out << "table\t" << e->name << "\t" << def->rowCount << "\n";
    for (const auto& c : def->columns) {
      out << "  col\t" << c.name << "\t" << static_cast<int>(c.type) << "\t"
          << c.displaySize(db.format().jet3) << "\trequired=" << (c.requiredProp ? "true" : "false")
          << "\tautonumber=" << (c.autoNumber() ? "true" : "false") << "\n";
    }
    for (const auto& ix : def->indexes) {
      bool hasReal = ix.realIndex >= 0;
      uint8_t fl = hasReal ? def->realOf(ix).flags : 0;
      if (ix.primary()) fl |= 0x01 | 0x08;  // a primary key is unique and required
      out << "  idx\t" << ix.name << "\t" << def->indexFieldsText(ix) << "\tprimary="
          << (ix.primary() ? "true" : "false") << "\tunique=" << ((fl & 0x01) ? "true" : "false")
          << "\trequired=" << ((fl & 0x08) ? "true" : "false")
          << "\tignorenulls=" << ((fl & 0x02) ? "true" : "false") << "\n";
    }
  }
}

void writeDump(Database& db, const std::string& table, std::ostream& out) {
  writeDump(db, table, out, false);
}

void writeDump(Database& db, const std::string& table, std::ostream& out, bool complexText) {
  std::vector<std::string> names;
  if (!table.empty()) {
    auto def = db.table(table);
    names.push_back(def->name);
  } else {
    for (const CatalogEntry* e : db.tables(false))
      if (e->kind == ObjectKind::Table) names.push_back(e->name);
  }
  for (const auto& name : names) {
    std::string body;
    try {
      auto scan = db.scan(name);
      std::unique_ptr<ComplexReader> complex;
      if (complexText) complex = std::make_unique<ComplexReader>(db, db.table(name));
      while (scan->next()) {
        const auto& vals = scan->values();
        for (size_t i = 0; i < vals.size(); ++i) {
          if (i) body += '\t';
          if (complex && vals[i].type() == DataType::Complex)
            body += escapeText(complex->displayText(i, vals[i]));
          else
            body += dumpCell(vals[i]);
        }
        body += '\n';
      }
    } catch (const Error&) {
      if (!table.empty()) throw;
      out << "## " << name << " UNREADABLE\n";
      continue;
    }
    out << "## " << name << "\n" << body;
  }
}

void writeQueries(Database& db, std::ostream& out) {
  for (const auto& q : db.queries()) out << "-- " << q.name << " [" << q.typeName << "]\n" << q.sql << "\n";
}

}  // namespace jet
