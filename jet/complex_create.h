// Creating attachment and multi-value fields (ACE files only) the way the
// product lays them out:
//  - the field itself: type 101, a 4-byte auto-numbered complex id with a
//    unique index "<field>_<32 hex digits>" in its table;
//  - a row of MSysComplexColumns: ColumnName, ComplexID (the id the field's
//    descriptor carries), ConceptualTableID (the table), FlatTableID (the
//    hidden table) and ComplexTypeObjectID (the template table);
//  - the template table MSysComplexType_Attachment (FileURL, FileName,
//    FileType, FileData, FileTimeStamp, FileFlags) or MSysComplexType_<value
//    type> (Value), made once per file when missing;
//  - the hidden flat table "f_<32 hex digits>_<field>" (at most 64
//    bytes): the foreign key "_<field>" to the row's complex id, the
//    template's columns in name order, and the entry's own auto-number
//    "<table>_<field>", with the indexes "_<field>", IdxFKPrimaryScalar (the
//    key with FileName or Value, unique) and the primary key
//    MSysComplexPKIndex.
// Only empty fields are made: values are not written by this engine.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "jet/create.h"

namespace jet::detail {

// Catalogue flags and extra column flags of tables the engine makes for
// its own bookkeeping.
struct HiddenTableOptions {
  uint32_t objectFlags = 0;        // MSysObjects.Flags
  std::vector<uint8_t> extFlags;   // per column, or-ed into the descriptor
};

// create.cpp: createTable with options; returns the new table's object id.
int32_t createTableObject(Database& db, const TableSpec& spec, const HiddenTableOptions& opt);

// Refuses a complex field the file cannot hold: 3259 outside the ACE
// formats, 3259 for a value type multi-value fields do not take.
void checkComplexColumn(const Format& fmt, const ColumnSpec& c);

// Makes the template (when missing), the flat table and the
// MSysComplexColumns row of field c of table `table` (object id tableId,
// already reserved); returns the field's ComplexID. Inside the caller's
// change.
int32_t createComplexParts(Database& db, const std::string& table, int32_t tableId, const ColumnSpec& c);

// 32 random upper-case hex digits, as the product names hidden objects.
std::string hiddenNameSuffix();
// The longest start of UTF-8 text s of at most maxBytes bytes that ends on
// a whole character (names are limited to 64 bytes).
std::string utf8Prefix(const std::string& s, size_t maxBytes);

}  // namespace jet::detail
