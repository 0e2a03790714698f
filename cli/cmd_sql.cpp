// glimmer-cli sql FILE "STATEMENT" [--param NAME=VALUE ...]: runs a statement
// of the query language. A query prints its result (column names, then rows
// in the dump format); an action statement (UPDATE, DELETE, INSERT, SELECT
// ... INTO, data definition) changes the file and prints "N rows affected".
// With --query the second argument names a saved query of any type.
#include <algorithm>

#include "cli/commands.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/text.h"
#include "sql/action.h"
#include "sql/engine.h"
#include "sql/parser.h"

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
  const bool saved = std::find(a.options.begin(), a.options.end(), "--query") != a.options.end();
  jet::OpenOptions o;
  o.password = a.password;
  o.readOnly = true;
  std::string statement = a.positional[1];
  bool action = false;
  if (saved) {
    auto db = jet::Database::open(a.positional[0], o);
    bool found = false;
    for (const auto& q : db->queries()) {
      if (!jet::equalsNoCase(q.name, statement)) continue;
      found = true;
      action = q.typeName != "SELECT" && q.typeName != "UNION" && q.typeName != "CROSS_TAB";
      statement = sql::selectAllFrom(q.name);
    }
    if (!found)
      throw jet::Error(jet::err::kNoSuchObject, "The database engine cannot find the input table or query '" +
                                                    a.positional[1] + "'.");
    if (!action) {
      out << sql::runToText(*db, statement, params);
      return 0;
    }
    db.reset();
    o.readOnly = false;
    db = jet::Database::open(a.positional[0], o);
    out << sql::runSavedAction(*db, a.positional[1], params) << " rows affected\n";
    return 0;
  }
  // Parsed before the file is opened for writing: a statement that does not
  // parse touches nothing.
  sql::QueryP q = sql::parseStatement(statement);
  if (!sql::isAction(*q)) {
    auto db = jet::Database::open(a.positional[0], o);
    out << sql::runToText(*db, statement, params);
    return 0;
  }
  o.readOnly = false;
  auto db = jet::Database::open(a.positional[0], o);
  int64_t n = sql::runAction(*db, *q, params);
  out << n << " rows affected\n";
  return 0;
}

}  // namespace cli
