// Complex columns (type 101): attachments, multi-value lists and memo version
// histories. The row of the table holds only an integer, the complex value's
// id; the entries are rows of a hidden "flat" table that MSysComplexColumns
// names for the column (MSysComplexColumns.ComplexID = the column's complex
// id, FlatTableID = the flat table's object id, ComplexTypeObjectID = the
// template table whose columns the entries carry). Each entry row names its
// complex value in the flat table's one column that is neither a template
// column nor its auto-number (called "_<column>" by the product).
//
// Attachment data (the entry's FileData) is stored wrapped:
//   u32 kind (0 stored as is, 1 deflated with zlib), u32 length of the content,
//   content (deflated when kind is 1). The content is a header, then the file:
//   u32 header length, u32 (always 1), u32 extension length in UTF-16 code
//   units including its terminating zero, the extension in UTF-16LE; the
//   file's bytes follow from the header length on.
//
// Damaged structure (a missing MSysComplexColumns row or flat table, a bad
// wrapper, a deflate stream that does not give the stated length) throws
// jet::Error 3049 naming the column; nothing is guessed.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jet/table.h"
#include "jet/tabledef.h"
#include "jet/value.h"

namespace jet {

class Database;

enum class ComplexKind { Attachment, MultiValue, VersionHistory, Other };

// One attached file.
struct Attachment {
  std::string name;      // FileName as stored (not checked: see safeFileName)
  std::string type;      // FileType, the extension without its dot
  std::string url;       // FileURL (empty for files held in the database)
  double timeStamp = 0;  // FileTimeStamp day serial; 0 when Null
  std::string data;      // the file's bytes, unwrapped and inflated
};

// Unwraps and inflates a stored FileData value. Errors: 3049.
std::string unwrapAttachmentData(const std::string& stored);

// A file name of an attachment reduced to one safe path component: no
// directory parts (/ and \ become _), no NUL or control characters, not
// "", "." or ".."; false when nothing usable remains.
bool safeFileName(const std::string& name, std::string& out);

// The complex columns of one table, read on demand. Each flat table is read
// once, on first use of its column, and its entries kept grouped by complex
// value id (file data is read only when attachments() asks for it).
class ComplexReader {
 public:
  // table: a user table of db. Columns that are not complex are ignored.
  ComplexReader(Database& db, std::shared_ptr<const TableDef> table);
  ~ComplexReader();

  // Kind of column col (an index into the table's columns). Errors: 3049
  // when col is complex and its flat table cannot be found.
  ComplexKind kind(size_t col);
  // The hidden table's column that holds each entry's value (the file name
  // for attachments): its type is the type of the values() of col.
  const Column& valueColumn(size_t col);
  // The attachments of complex value v (the column's value in a row), in the
  // flat table's order. Null gives none.
  std::vector<Attachment> attachments(size_t col, const Value& v);
  // Multi-value (and history) entries of v: the entry's value column.
  std::vector<Value> values(size_t col, const Value& v);
  // The text a cell shows: the file names, or the values as text, joined by
  // "; " ("" for none).
  std::string displayText(size_t col, const Value& v);

 private:
  struct Flat;
  Flat& flat(size_t col);
  Database& db_;
  std::shared_ptr<const TableDef> table_;
  std::map<size_t, std::unique_ptr<Flat>> flats_;
};

}  // namespace jet
