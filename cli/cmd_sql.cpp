// glimmer-cli sql FILE "STATEMENT" [--param NAME=VALUE ...]: runs a statement
// of the query language and prints its result (column names, then rows in
// the dump format). A saved query runs as Select * from [Its Name].
#include "cli/commands.h"
#include "jet/database.h"
#include "jet/error.h"
#include "sql/engine.h"

namespace cli {

int cmdSql(const Args& a, std::ostream& out) {
  if (a.positional.size() < 2) return 2;
  sql::Params params;
  for (const auto& p : a.params) {
    size_t eq = p.find('=');
    if (eq == std::string::npos || eq == 0)
      throw jet::Error(jet::err::kSyntax, "--param needs NAME=VALUE, not '" + p + "'.");
    params[p.substr(0, eq)] = sql::paramFromText(p.substr(eq + 1));
  }
  jet::OpenOptions o;
  o.password = a.password;
  o.readOnly = true;
  auto db = jet::Database::open(a.positional[0], o);
  out << sql::runToText(*db, a.positional[1], params);
  return 0;
}

}  // namespace cli
