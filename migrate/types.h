// Column types of the source database and what each becomes in a target:
// one table entry per source type, read by both targets. A type the engine
// cannot carry yet has an entry with the reason instead of target types.
#pragma once

#include <string>

#include "jet/tabledef.h"
#include "jet/value.h"

namespace migrate {

enum class Dialect { SQLite, PostgreSQL };

struct TypeRule {
  jet::DataType type;
  const char* sqlite;     // declared type in SQLite; {n} size, {p},{s} precision and scale
  const char* postgres;   // the same in PostgreSQL
  const char* notCarried; // non-null: why columns of this type stay behind
};

// The rule for a source type (never null: unknown types get a refusing rule).
const TypeRule& typeRule(jet::DataType t);
// The declared type of a column in a target ("" when not carried).
// jet3: the file is a Jet 3 one (Text sizes are then bytes of its code page).
std::string targetType(const jet::Column& c, bool jet3, Dialect d);
// Why a column cannot be carried ("" when it can).
std::string notCarriedReason(const jet::Column& c);

}  // namespace migrate
