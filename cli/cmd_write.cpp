// glimmer-cli commands that change or create databases: check, create,
// sample, import.
#include <fstream>
#include <sstream>

#include "cli/commands.h"
#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/sample.h"
#include "jet/table_writer.h"

namespace cli {

namespace {

// Splits CSV text into records (RFC 4180: quoted fields may hold commas,
// quotes doubled, line breaks). Each record remembers its first line.
struct CsvRecord {
  size_t line = 0;
  std::vector<std::string> fields;
};

std::vector<CsvRecord> parseCsv(const std::string& text) {
  std::vector<CsvRecord> out;
  CsvRecord cur;
  std::string field;
  bool inQuotes = false, fieldQuoted = false, any = false;
  size_t line = 1;
  cur.line = 1;
  auto endField = [&] {
    cur.fields.push_back(field);
    field.clear();
    fieldQuoted = false;
  };
  auto endRecord = [&] {
    endField();
    if (!(cur.fields.size() == 1 && cur.fields[0].empty())) out.push_back(cur);
    cur = CsvRecord();
    cur.line = line;
  };
  size_t i = 0;
  if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;
  for (; i < text.size(); ++i) {
    char c = text[i];
    any = true;
    if (inQuotes) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') { field.push_back('"'); ++i; }
        else inQuotes = false;
      } else {
        if (c == '\n') ++line;
        field.push_back(c);
      }
      continue;
    }
    if (c == '"' && field.empty() && !fieldQuoted) { inQuotes = true; fieldQuoted = true; continue; }
    if (c == ',') { endField(); continue; }
    if (c == '\r') continue;
    if (c == '\n') { ++line; endRecord(); continue; }
    field.push_back(c);
  }
  if (inQuotes) throw jet::Error(jet::err::kSyntax, "Line " + std::to_string(cur.line) + ": a quoted field is not closed.");
  if (any && (!field.empty() || !cur.fields.empty())) endRecord();
  return out;
}

}  // namespace

int cmdCheck(const Args& a, std::ostream& out) {
  jet::OpenOptions o;
  o.password = a.password;
  o.readOnly = true;
  auto db = jet::Database::open(a.positional.at(0), o);
  bool strict = false;
  for (const auto& opt : a.options)
    if (opt == "--strict") strict = true;
  auto r = jet::checkDatabase(*db, strict);
  for (const auto& p : r.problems) out << p << '\n';
  for (const auto& n : r.notes) out << "note: " << n << '\n';
  if (r.ok()) out << "ok\n";
  return r.ok() ? 0 : 1;
}

int cmdCreate(const Args& a, std::ostream& out) {
  jet::createDatabase(a.positional.at(0));
  out << "created " << a.positional[0] << '\n';
  return 0;
}

int cmdSample(const Args& a, std::ostream& out) {
  jet::createSampleDatabase(a.positional.at(0));
  out << "created " << a.positional[0] << '\n';
  return 0;
}

int cmdImport(const Args& a, std::ostream& out) {
  const std::string& file = a.positional.at(0);
  const std::string& table = a.positional.at(1);
  const std::string& csvPath = a.positional.at(2);
  std::ifstream in(csvPath, std::ios::binary);
  if (!in) throw jet::Error(jet::err::kFileNotFound, "Could not find file '" + csvPath + "'.");
  std::stringstream ss;
  ss << in.rdbuf();
  auto records = parseCsv(ss.str());
  if (records.empty()) throw jet::Error(jet::err::kSyntax, "The file '" + csvPath + "' has no header line.");
  jet::OpenOptions o;
  o.password = a.password;
  auto db = jet::Database::open(file, o);
  db->requireWritable();
  jet::TableWriter w(*db, table);
  auto def = w.def();
  std::vector<int> target;
  for (const auto& name : records[0].fields) {
    int c = def->findColumn(name);
    if (c < 0)
      throw jet::Error(jet::err::kItemNotFound,
                       "Line 1: the table '" + def->name + "' has no field named '" + name + "'.");
    target.push_back(c);
  }
  jet::ChangeScope change(*db);
  size_t n = 0;
  for (size_t r = 1; r < records.size(); ++r) {
    const auto& rec = records[r];
    if (rec.fields.size() != target.size())
      throw jet::Error(jet::err::kSyntax, "Line " + std::to_string(rec.line) + ": " +
                                              std::to_string(rec.fields.size()) + " fields, the header has " +
                                              std::to_string(target.size()) + ".");
    std::vector<jet::Value> vals(def->columns.size());
    for (size_t k = 0; k < target.size(); ++k)
      if (!rec.fields[k].empty()) vals[target[k]] = jet::Value::text(rec.fields[k]);
    try {
      w.insert(vals);
    } catch (const jet::Error& e) {
      throw jet::Error(e.number(), "Line " + std::to_string(rec.line) + ": " + e.what());
    }
    ++n;
  }
  change.commit();
  out << "imported " << n << " rows into " << def->name << '\n';
  return 0;
}

}  // namespace cli
