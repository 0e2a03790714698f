// Operators of the expression language with the product's meaning: Null
// propagation, numeric widening, text converted where a number or a date is
// needed, comparisons without regard to case.
#pragma once

#include <string>

#include "jet/value.h"
#include "sql/collate.h"

namespace sql {

enum class BinOp { Add, Sub, Mul, Div, IntDiv, Mod, Pow, Concat, Eq, Ne, Lt, Gt, Le, Ge, And, Or, Xor, Eqv, Imp, Like };

BinOp binOpFromText(const std::string& op);  // "+", "AND", ...
const char* binOpText(BinOp op);
bool isComparison(BinOp op);
bool isLogical(BinOp op);

jet::Value arithmetic(BinOp op, const jet::Value& a, const jet::Value& b);
jet::Value concatenate(const jet::Value& a, const jet::Value& b);  // Null as ""
jet::Value negate(const jet::Value& a);
jet::Value logicalNot(const jet::Value& a);
jet::Value logical(BinOp op, const jet::Value& a, const jet::Value& b);

// Compares two non-Null values: texts by the statement's collation; a text
// against a number or a date is converted (error 3464 when it cannot be).
int compareValues(const jet::Value& a, const jet::Value& b, const Collation& coll);
// = <> < > <= >= with Null propagation: Boolean or Null.
jet::Value comparison(BinOp op, const jet::Value& a, const jet::Value& b, const Collation& coll);
// Total order for sorting and grouping: Null first, never throws.
// The order classes of compareForSort: 0 Null, 1 numbers and dates, 2 text,
// 3 anything else; values of different classes sort by class.
int sortClass(const jet::Value& v);
// Texts by the collation.
int compareForSort(const jet::Value& a, const jet::Value& b, const Collation& coll);
// True for values that group together (Null with Null; texts the collation
// finds equal).
bool sameGroup(const jet::Value& a, const jet::Value& b, const Collation& coll);
// A key that is equal for values that group together; for hashing.
std::string groupKey(const jet::Value& v, const Collation& coll);

// Truth of a condition: Null and False are false.
bool isTrue(const jet::Value& v);

// Result type of an operator applied to operands of the given types, as the
// product reports computed columns.
jet::DataType arithmeticType(BinOp op, jet::DataType a, jet::DataType b);
jet::DataType widerNumeric(jet::DataType a, jet::DataType b);
bool singleQuotient(jet::DataType a, jet::DataType b);

}  // namespace sql
