// The one CSV reader of the program (glimmer-cli import): RFC 4180 records
// read one at a time from a stream, so a large file is never held whole.
// Quoted fields may hold commas, doubled quotes and line breaks; records end
// in CRLF or LF; a UTF-8 byte order mark at the start is skipped; empty lines
// are skipped. Text outside quotes is taken as it stands (a quote in the
// middle of an unquoted field is kept). The stream is read in blocks of
// 64 KiB into the reader's own buffer.
#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <vector>

namespace output {

struct CsvRecord {
  size_t line = 0;  // line of the file the record starts on (1-based)
  std::vector<std::string> fields;
};

class CsvReader {
 public:
  explicit CsvReader(std::istream& in) : in_(in), buf_(kBlock) {}

  // Reads the next record into rec; false at the end of the input. A quoted
  // field left open at the end of the input, or text after a closing quote,
  // throws jet::Error 3075 naming the line.
  bool next(CsvRecord& rec);

 private:
  static constexpr size_t kBlock = 64 * 1024;
  int get() { return pos_ < len_ || fill() ? static_cast<unsigned char>(buf_[pos_++]) : -1; }
  int peek() { return pos_ < len_ || fill() ? static_cast<unsigned char>(buf_[pos_]) : -1; }
  // Reads the next block; false at the end of the input.
  bool fill();

  std::istream& in_;
  std::vector<char> buf_;
  size_t pos_ = 0, len_ = 0;
  size_t line_ = 1;
  bool started_ = false;
};

}  // namespace output
