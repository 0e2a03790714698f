// Calculated columns on write. A calculated column (extended flags 0xC0)
// stores the last result of its expression (the column's "Expression"
// property, in the query language) as its result type ("ResultType") would
// store it, behind a header:
//   16 zero bytes, u32 length n, n bytes of the value, 3 zero bytes.
// Text results are stored compressed when that is shorter; a Memo result is
// a long value whose content is the whole cell (header included, the text
// as UTF-16LE).
//
// This engine does not evaluate expressions itself: whoever can (the query
// engine) sets an ExpressionEvaluator on the database. The table writer then
// computes every calculated column of each row it stores; without an
// evaluator, or when the evaluator cannot compute a value, the change is
// refused (3251 or the evaluator's error), so no stale value is ever kept.
#pragma once

#include <string>
#include <vector>

#include "jet/format.h"
#include "jet/tabledef.h"
#include "jet/value.h"

namespace jet {

class ExpressionEvaluator {
 public:
  virtual ~ExpressionEvaluator() = default;
  // The value of column's expression for a row of table whose values are
  // row (indexed like table.columns; calculated columns hold what has been
  // computed for the row so far). Throws jet::Error when it cannot.
  virtual Value evaluate(const TableDef& table, const Column& column, const std::vector<Value>& row) = 0;
};

// The column as its result type: the type coerceValue and the cell
// encoding see (text compressed as the product stores it).
Column calculatedResultColumn(const Column& c);

// Whether the calculated column's value is kept in a long value.
bool calculatedIsLong(const Column& c);

// The result v converted to the column's result type. A Decimal result
// keeps the digits it needs (28 at most). Errors: 3421, 3163 as
// coerceValue.
Value coerceCalculated(const Format& fmt, const Column& c, const Value& v);

// The stored cell of a non-null, coerced result (for a long result: the
// long value's content).
std::string encodeCalculatedCell(const Format& fmt, uint16_t codePage, const Column& c, const Value& v);

// Computes every calculated column of row in place (in column order,
// again while one result changes another, at most once per column).
// Errors: 3251 when no evaluator is set or the column has no expression;
// the evaluator's errors otherwise, with the column named.
void computeCalculated(ExpressionEvaluator* evaluator, const Format& fmt, const TableDef& table,
                       std::vector<Value>& row);

}  // namespace jet
