#include "migrate/types.h"

#include <string_view>

namespace migrate {

namespace {

using jet::DataType;

const TypeRule kRules[] = {
    {DataType::Boolean, "BOOLEAN", "boolean", nullptr},
    {DataType::Byte, "SMALLINT", "smallint", nullptr},
    {DataType::Integer, "SMALLINT", "smallint", nullptr},
    {DataType::Long, "INTEGER", "integer", nullptr},
    {DataType::BigInt, "BIGINT", "bigint", nullptr},
    // SQLite: the exact decimal as text (a NUMERIC column would keep a
    // double past 15 digits); the declared type's TEXT gives text affinity.
    {DataType::Currency, "DECIMAL TEXT(19,4)", "numeric(19,4)", nullptr},
    {DataType::Decimal, "DECIMAL TEXT({p},{s})", "numeric({p},{s})", nullptr},
    {DataType::Single, "REAL", "real", nullptr},
    {DataType::Double, "DOUBLE PRECISION", "double precision", nullptr},
    {DataType::DateTime, "DATETIME", "timestamp(3)", nullptr},
    {DataType::Text, "VARCHAR({n})", "varchar({n})", nullptr},
    {DataType::Memo, "TEXT", "text", nullptr},
    {DataType::Binary, "BLOB", "bytea", nullptr},
    {DataType::OLE, "BLOB", "bytea", nullptr},
    {DataType::GUID, "CHAR(38)", "uuid", nullptr},
    // Text yyyy-mm-dd hh:mm:ss.fffffff in both: a timestamp would round
    // the last of the seven fraction digits away.
    {DataType::ExtDateTime, "DATETIME", "varchar(27)", nullptr},
    // A child table of its own (plan.cpp), never a column.
    {DataType::Complex, nullptr, nullptr, nullptr},
};

const TypeRule kUnknown = {DataType::Null, nullptr, nullptr, "the column's type is not known"};

void replaceAll(std::string& s, std::string_view what, const std::string& with) {
  for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + with.size()))
    s.replace(p, what.size(), with);
}

}  // namespace

const TypeRule& typeRule(jet::DataType t) {
  for (const auto& r : kRules)
    if (r.type == t) return r;
  return kUnknown;
}

std::string notCarriedReason(const jet::Column& c) {
  const TypeRule& r = typeRule(c.type);
  if (r.notCarried) return r.notCarried;
  return "";
}

std::string targetType(const jet::Column& c, bool jet3, Dialect d) {
  const TypeRule& r = typeRule(c.type);
  const char* pattern = d == Dialect::SQLite ? r.sqlite : r.postgres;
  if (!pattern) return "";
  // A calculated Decimal's scale belongs to each value, not to the column.
  if (c.type == DataType::Decimal && c.calculated()) return d == Dialect::SQLite ? "DECIMAL TEXT" : "numeric";
  std::string out = pattern;
  int chars = c.displaySize(jet3);
  if (chars <= 0) chars = 255;
  replaceAll(out, "{n}", std::to_string(chars));
  int p = c.precision ? c.precision : 18;
  int s = c.scale <= p ? c.scale : p;
  replaceAll(out, "{p}", std::to_string(p));
  replaceAll(out, "{s}", std::to_string(s));
  return out;
}

}  // namespace migrate
