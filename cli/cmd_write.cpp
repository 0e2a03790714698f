// glimmer-cli commands that change or create databases: check, create,
// sample, import.
#include <fstream>

#include "cli/commands.h"
#include "jet/check.h"
#include "jet/create.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/integrity.h"
#include "jet/sample.h"
#include "jet/table_writer.h"
#include "output/csv_reader.h"
#include "sql/calculated.h"

namespace cli {

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

// The format of a new file: its name decides (.accdb: 2007, else 2000);
// --format YEAR chooses another version of the same family.
jet::Version newFormat(const Args& a) {
  const std::string& path = a.positional.at(0);
  jet::Version byName = jet::newFileVersion(path);
  for (const auto& opt : a.options) {
    if (opt.rfind("--format=", 0) != 0) continue;
    jet::Version v = jet::versionForYear(opt.substr(9));
    bool ace = v != jet::Version::Jet4;
    if (ace != (byName != jet::Version::Jet4))
      throw jet::Error(jet::err::kNotSupported,
                       ace ? "The " + opt.substr(9) + " format is kept in .accdb files; '" + path + "' is not one."
                           : "An .accdb file cannot hold the 2000 format; use a name ending in .mdb.");
    return v;
  }
  return byName;
}

int cmdCreate(const Args& a, std::ostream& out) {
  jet::createDatabase(a.positional.at(0), newFormat(a));
  out << "created " << a.positional[0] << '\n';
  return 0;
}

int cmdSample(const Args& a, std::ostream& out) {
  jet::createSampleDatabase(a.positional.at(0), newFormat(a));
  out << "created " << a.positional[0] << '\n';
  return 0;
}

int cmdImport(const Args& a, std::ostream& out) {
  const std::string& file = a.positional.at(0);
  const std::string& table = a.positional.at(1);
  const std::string& csvPath = a.positional.at(2);
  std::ifstream in(csvPath, std::ios::binary);
  if (!in) throw jet::Error(jet::err::kFileNotFound, "Could not find file '" + csvPath + "'.");
  // Records are read one at a time: a large file is never held whole.
  output::CsvReader csv(in);
  output::CsvRecord header, rec;
  if (!csv.next(header)) throw jet::Error(jet::err::kSyntax, "The file '" + csvPath + "' has no header line.");
  jet::OpenOptions o;
  o.password = a.password;
  auto db = jet::Database::open(file, o);
  db->requireWritable();
  sql::provideExpressionEvaluator(*db);  // calculated fields of the imported rows
  jet::IntegrityWriter w(*db, table);
  auto def = w.def();
  std::vector<int> target;
  for (const auto& name : header.fields) {
    int c = def->findColumn(name);
    if (c < 0)
      throw jet::Error(jet::err::kItemNotFound,
                       "Line 1: the table '" + def->name + "' has no field named '" + name + "'.");
    target.push_back(c);
  }
  jet::ChangeScope change(*db);
  size_t n = 0;
  while (csv.next(rec)) {
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
