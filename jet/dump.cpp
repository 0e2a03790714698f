#include "jet/dump.h"

#include "jet/complex.h"
#include "jet/error.h"
#include "jet/text.h"

namespace jet {

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
            appendDumpEscaped(body, complex->displayText(i, vals[i]));
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
