// glimmer-cli migrate FILE TARGET [--tables T1,T2] [--schema-only | --data-only]
//   [--pg-schema NAME] [--replace] [--password PW]
// Carries the database's tables, rows, keys, relationships and saved SELECT
// queries into SQLite (sqlite:PATH) or PostgreSQL (a libpq connection
// string), all or nothing. Progress goes to stderr, the summary to stdout.
#include <cstdio>
#include <iostream>

#include "cli/commands.h"
#include "jet/database.h"
#include "jet/error.h"
#include "migrate/migrate.h"

namespace cli {

namespace {

std::vector<std::string> splitList(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= s.size()) {
    size_t comma = s.find(',', start);
    if (comma == std::string::npos) comma = s.size();
    if (comma > start) out.push_back(s.substr(start, comma - start));
    start = comma + 1;
  }
  return out;
}

}  // namespace

int cmdMigrate(const Args& a, std::ostream& out) {
  migrate::Options opts;
  std::vector<std::string> pos;
  std::string pgSchema;
  // Options with values are read from the raw arguments (main's split does
  // not know which options take one).
  const auto& raw = a.raw;
  for (size_t i = 0; i < raw.size(); ++i) {
    const std::string& s = raw[i];
    auto value = [&](const std::string& opt) -> std::string {
      if (s.size() > opt.size() && s.rfind(opt + "=", 0) == 0) return s.substr(opt.size() + 1);
      if (i + 1 >= raw.size()) throw jet::Error(jet::err::kSyntax, opt + " needs a value.");
      return raw[++i];
    };
    if (s == "--password" || s == "-p") ++i;
    else if (s.rfind("--password=", 0) == 0) continue;
    else if (s == "--tables" || s.rfind("--tables=", 0) == 0) opts.tables = splitList(value("--tables"));
    else if (s == "--pg-schema" || s.rfind("--pg-schema=", 0) == 0) pgSchema = value("--pg-schema");
    else if (s == "--schema-only") opts.schemaOnly = true;
    else if (s == "--data-only") opts.dataOnly = true;
    else if (s == "--replace") opts.replace = true;
    else if (s.rfind("--", 0) == 0) throw jet::Error(jet::err::kSyntax, "migrate does not know the option " + s + ".");
    else pos.push_back(s);
  }
  // pos[0] is the command's own name.
  if (pos.size() != 3) return 2;
  opts.progress = [](const migrate::Progress& p) {
    double rate = p.seconds > 0 ? static_cast<double>(p.rows) / p.seconds : 0;
    std::fprintf(stderr, "%s: %llu of %llu rows, %.0f rows/s%s\n", p.table.c_str(),
                 static_cast<unsigned long long>(p.rows), static_cast<unsigned long long>(p.total), rate,
                 p.done ? ", done" : "");
  };
  jet::OpenOptions o;
  o.password = a.password;
  o.readOnly = true;
  o.cachePages = 256;
  auto db = jet::Database::open(pos[1], o);
  auto target = migrate::openTarget(pos[2], pgSchema);
  migrate::Summary sum = migrate::migrateDatabase(*db, *target, opts);
  out << migrate::summaryText(sum);
  return 0;
}

}  // namespace cli
