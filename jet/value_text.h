// Every way a cell value becomes text, in one place: one function per
// purpose, built from a few shared primitives. Nothing else in jet/, sql/,
// catalogue/, output/ or migrate/ turns a value into text on its own; they
// call one of these. Included by jet/value.h, so every user of a value has it.
//
// The purposes, and who uses them:
//   toText / appendText      The engine's conversion: CStr, &, Str, LIKE and
//                            implicit conversions in sql/ (sql/convert.h
//                            re-exports it), the grid's text (through
//                            displayText) and the window's "Export to CSV"
//                            (output/shown_csv, the allocation-free form).
//   displayText              The text a grid cell or a bound box shows:
//                            toText, but binary data and attachment / list
//                            ids as a short note (catalogue's dao::displayText
//                            is this one; catalogue/complex_text joins it).
//   canonicalText            The engine's own plain form (Value::display):
//                            ISO dates, Currency to 4 places, no exponents,
//                            binary as 0x hex. Text stored when a number or
//                            date goes into a Text field, text sort keys of
//                            non-text values, relationship and integrity
//                            matching, attachment file names, and the joined
//                            entries of a complex column (jet/complex).
//   dumpCell                 The row dump (glimmer-cli dump, sql, tests):
//                            NULL, true/false, round-trip digits, ISO dates,
//                            escaped text, binary as bin:LEN:CRC32.
//   exportText / appendExportText
//                            glimmer-cli export (output/table_csv): the dump
//                            forms, but text as it is (CSV quotes it), Null
//                            empty and binary as lowercase hex.
//   literalText              A value as a literal of the query language, for
//                            the SQL text regenerated from a parse tree
//                            (sql/ast): #m/d/yyyy h:mm:ss# in 24 hours,
//                            numbers that read back exactly.
//   appendIsoDateTimeMillis  A date for other databases (migrate/): ISO to
//                            the millisecond, years 1 to 9999 only.
//
// Where the purposes differ (each difference is deliberate):
//   Null        toText "", canonicalText "", dumpCell "NULL", export "".
//   Boolean     "True"/"False" everywhere but the dump and export ("true").
//   Single      toText 7 significant digits and an exponent from 1E+07 or
//               below 1E-07 ("1E+20"); canonicalText 7 digits, never an
//               exponent; dump / export 9 digits (reads back exactly).
//   Double      the same with 15 (toText, canonicalText) and 17 (dump).
//   Currency    toText drops the zeros that end the fraction ("-1.5");
//               canonicalText, dump and export keep 4 places ("-1.5000").
//   Decimal     toText drops the fraction's trailing zeros; the others keep
//               the column's scale.
//   Date/Time   toText m/d/yyyy, h:mm:ss AM/PM, or both, time alone inside
//               (-1, 1); "" when out of range. canonicalText yyyy-MM-dd,
//               HH:mm:ss, or both; "#invalid date#" out of range. Dump and
//               export always yyyy-MM-dd HH:mm:ss, "#invalid date#" outside
//               years 0 to 9999. literalText #m/d/yyyy# or with H:mm:ss.
//               Before 1899-12-30 the whole part counts back while the
//               fraction still runs forward (-1.25 is 1899-12-29 06:00).
//   Binary      toText the bytes as they are; displayText a note;
//               canonicalText 0x and up to 64 bytes in hex; dump bin:LEN:CRC.
//   Date/Time Extended  its canonical text (jet/ext_datetime) in every
//               purpose, escaped in the dump.
//
// Also turning values into text, and left where they are on purpose:
//   jet/ext_datetime  extDateTimeText: the held form of a Date/Time Extended
//                     value (its codec), used as the value itself.
//   sql/fn_format     Format(): the product's format patterns, built on
//                     dateText, numberText and serialToParts.
//   sql/ast           TOP n written with "%.15g" (a count, not a value).
//   migrate/          the other databases' own forms: shortest round-trip
//                     numbers and binary timestamps for PostgreSQL COPY,
//                     "%.17g" literals for translated queries.
#pragma once

#include <cstdint>
#include <string>

namespace jet {

class Value;

// ---------------------------------------------------------------- purposes

std::string toText(const Value& v);
void appendText(std::string& out, const Value& v);  // no allocation but out's growth
std::string displayText(const Value& v);
std::string canonicalText(const Value& v);
std::string dumpCell(const Value& v);
std::string exportText(const Value& v);
void appendExportText(std::string& out, const Value& v);
std::string literalText(const Value& v);
// false, with nothing appended, outside years 1 to 9999.
bool appendIsoDateTimeMillis(std::string& out, double serial);

// -------------------------------------------------------------- primitives

// The engine's number text: 15 significant digits (7 for Single), an
// exponent ("1.5E+20", "1E-16") when the decimal exponent is that many or
// more, or below minus that many; NaN, Infinity, -Infinity.
std::string numberText(double v, bool single = false);
void appendNumberText(std::string& out, double v, int digits);
// The engine's date text: m/d/yyyy, h:mm:ss AM/PM, or both; "" out of range.
std::string dateText(double serial);
void appendDateText(std::string& out, double serial);
// yyyy-MM-dd HH:mm:ss; "#invalid date#" outside years 0 to 9999.
std::string formatDateTime(double serial);
void appendDateTime(std::string& out, double serial);
// n significant digits, correctly rounded, never an exponent.
std::string formatSignificant(double v, int digits);
void appendSignificant(std::string& out, double v, int digits);
// A plain decimal with scale places ("-0.0005"); the trimmed form drops the
// zeros that end the fraction, and a bare point.
std::string formatScaled(__int128 mantissa, int scale);
void appendScaled(std::string& out, __int128 mantissa, int scale);
void appendTrimmedScaled(std::string& out, __int128 mantissa, int scale);
// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}, the first three groups stored
// little-endian; "{}" when raw16 is not 16 bytes.
std::string formatGuid(const std::string& raw16);
void appendGuid(std::string& out, const std::string& raw16);
// Escapes \ tab LF CR as the dump writes them.
void appendDumpEscaped(std::string& out, const std::string& text);
uint32_t crc32(const std::string& bytes);

// A day serial (days since 1899-12-30, the fraction the time of day) to
// calendar parts, rounded to the second; false when out of range.
bool serialToParts(double serial, int& y, int& mo, int& d, int& h, int& mi, int& s);
double partsToSerial(int y, int mo, int d, int h, int mi, int s);

}  // namespace jet
