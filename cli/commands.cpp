#include "cli/commands.h"

#include <functional>
#include <map>

#include "jet/database.h"
#include "jet/dump.h"
#include "jet/error.h"
#include "output/table_csv.h"

namespace cli {

// Runs a query-language statement (cmd_sql.cpp).
int cmdSql(const Args& a, std::ostream& out);
// Commands that write (cmd_write.cpp).
int cmdCheck(const Args& a, std::ostream& out);
int cmdCreate(const Args& a, std::ostream& out);
int cmdSample(const Args& a, std::ostream& out);
int cmdImport(const Args& a, std::ostream& out);
// Carries the database into SQLite or PostgreSQL (cmd_migrate.cpp).
int cmdMigrate(const Args& a, std::ostream& out);
// The structure printout into a PDF (cmd_report.cpp).
int cmdReport(const Args& a, std::ostream& out);
// Writes a table's attachments to files (cmd_attachments.cpp).
int cmdAttachments(const Args& a, std::ostream& out);

namespace {

std::unique_ptr<jet::Database> openDb(const Args& a) {
  jet::OpenOptions o;
  o.password = a.password;
  o.readOnly = true;
  return jet::Database::open(a.positional.at(0), o);
}

const char* kindName(jet::ObjectKind k) {
  switch (k) {
    case jet::ObjectKind::Table: return "table";
    case jet::ObjectKind::SystemTable: return "system";
    case jet::ObjectKind::LinkedTable: return "linked";
    case jet::ObjectKind::LinkedOdbc: return "linked-odbc";
    case jet::ObjectKind::Query: return "query";
    case jet::ObjectKind::Other: return "other";
  }
  return "other";
}

int cmdTables(const Args& a, std::ostream& out) {
  auto db = openDb(a);
  for (const auto* e : db->tables(true)) {
    out << e->name << '\t' << kindName(e->kind) << '\t';
    if (e->isTable()) out << db->table(*e)->rowCount;
    out << '\n';
  }
  for (const auto* e : db->queryEntries()) out << e->name << "\tquery\t\n";
  return 0;
}

int cmdSchema(const Args& a, std::ostream& out) {
  auto db = openDb(a);
  jet::writeSchema(*db, out);
  return 0;
}

int cmdRows(const Args& a, std::ostream& out) {
  auto db = openDb(a);
  jet::writeDump(*db, a.positional.size() > 1 ? a.positional[1] : "", out, true);
  return 0;
}

int cmdQueries(const Args& a, std::ostream& out) {
  auto db = openDb(a);
  jet::writeQueries(*db, out);
  return 0;
}

int cmdExport(const Args& a, std::ostream& out) {
  if (a.positional.size() < 2) return 2;
  auto db = openDb(a);
  output::writeTableCsv(*db, a.positional[1], out);
  return 0;
}

struct Command {
  size_t minArgs;
  std::function<int(const Args&, std::ostream&)> fn;
};

std::map<std::string, Command>& table() {
  static std::map<std::string, Command> t = {
      {"tables", {1, cmdTables}},   {"schema", {1, cmdSchema}},
      {"rows", {1, cmdRows}},       {"queries", {1, cmdQueries}},
      {"export", {2, cmdExport}},
      {"check", {1, cmdCheck}},     {"create", {1, cmdCreate}},
      {"sample", {1, cmdSample}},   {"import", {3, cmdImport}},
      {"sql", {2, cmdSql}},
      {"migrate", {2, cmdMigrate}},
      {"report", {2, cmdReport}},
      {"attachments", {3, cmdAttachments}},
  };
  return t;
}

}  // namespace

std::vector<std::string> extraUsage() {
  return {
      "  sql FILE \"STATEMENT\"     run a statement (actions print N rows affected); --param NAME=VALUE,\n                           --query NAME runs a saved query of any type\n",
      "  check FILE               integrity check of every table and index\n",
      "  create FILE              a new, empty database: FILE.mdb the Access 2000 format, FILE.accdb\n"
      "                           the Access 2007 format; --format 2010|2016|2019 a later .accdb version\n",
      "  sample FILE              the sample database (the format chosen as for create)\n",
      "  import FILE TABLE CSV    append the CSV file's rows to TABLE\n",
      "  attachments FILE TABLE OUTDIR  every attachment of TABLE as files, one folder per row\n",
      "  migrate FILE TARGET      the whole database into sqlite:PATH or PostgreSQL (a libpq\n"
      "                           connection string); --tables T1,T2 --schema-only --data-only\n"
      "                           --pg-schema NAME --replace\n",
      "  report FILE OUT.pdf [TABLE ...]  the structure printout of the tables (all user tables\n"
      "                           when none is named) into one PDF\n",
  };
}

int run(const std::string& cmd, const Args& args, std::ostream& out) {
  auto it = table().find(cmd);
  if (it == table().end() || args.positional.size() < it->second.minArgs) return 2;
  return it->second.fn(args, out);
}

}  // namespace cli
