// Conversions between values the way the product's expression service does
// them: text to number and date, values to text, truth values.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "jet/value.h"

namespace sql {

// Text to number: optional blanks, sign, digits, decimal point, exponent,
// &H / &O prefixes. nullopt when the text is not a number.
std::optional<double> parseNumber(const std::string& text);
// Text to a day serial: m/d/y, y-m-d, d-mmm-y, month names, times with
// AM/PM; a two-digit year 30..99 is 19xx, 00..29 is 20xx.
std::optional<double> parseDate(const std::string& text);

// The text form used by CStr, & and implicit conversions (US style dates),
// and its number and date parts: jet/value_text.h.
using jet::dateText;
using jet::numberText;
using jet::toText;

// Numbers: CDbl rules (text parsed, Boolean -1/0, date serial). Throws 3464
// (type mismatch) for text that is not a number. Value must not be Null.
double toDouble(const jet::Value& v);
// Date serial (text parsed as a date or a number). Throws 3464.
double toDate(const jet::Value& v);
// Truth value: numbers non-zero, text "True"/"False"/"Yes"/"No"/"On"/"Off" or
// numeric. Throws 3464.
bool toBool(const jet::Value& v);
// Currency units (1/10000), rounded half to even. Throws 3464 / 6-overflow as 3421.
int64_t toCurrencyUnits(const jet::Value& v);

// Rounds half to even to the given number of decimals (the product's Round).
double roundHalfEven(double v, int decimals);

[[noreturn]] void typeMismatch();
[[noreturn]] void overflow();

// Integral range checks for the C* conversions (CInt, CLng, CByte).
int64_t toIntegerChecked(double d, int64_t lo, int64_t hi);

// Numeric rank for the result of arithmetic: Byte < Integer < Long <
// Currency < Single < Double; Decimal and Big Integer fit in between.
int numericRank(jet::DataType t);

}  // namespace sql
