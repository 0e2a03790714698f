// The one CSV writer of the program: glimmer-cli export and the window's
// "Export to CSV" both write through it. Fields are quoted as RFC 4180 asks
// (a field holding a comma, a quote, CR or LF is enclosed in quotes, its
// quotes doubled); a field with a leading or trailing blank is quoted too, so
// readers that trim keep the blanks. Records end in CRLF. The text is written
// as it is given: UTF-8 in, UTF-8 out, no byte order mark.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace output {

// Appends s to out as one CSV field (quoted where needed).
void appendCsvField(std::string& out, std::string_view s);
// One field in its CSV form.
std::string csvQuote(std::string_view s);

// Buffers records and hands them to the stream in blocks of about 64 KiB, so
// no whole file is ever held in memory. The stream's state is checked at each
// block: a failed write throws jet::Error 3043 (disk or network error).
class CsvWriter {
 public:
  explicit CsvWriter(std::ostream& out) : out_(out) {}
  ~CsvWriter() = default;
  CsvWriter(const CsvWriter&) = delete;
  CsvWriter& operator=(const CsvWriter&) = delete;

  // Appends one field to the record being written.
  void field(std::string_view s) {
    if (!first_) buf_.push_back(',');
    first_ = false;
    appendCsvField(buf_, s);
  }
  // Appends text already in CSV form (for callers that format values in place).
  void rawField(std::string_view s) {
    if (!first_) buf_.push_back(',');
    first_ = false;
    buf_.append(s);
  }
  // Ends the record (CRLF) and passes a full block on.
  void endRecord() {
    buf_ += "\r\n";
    first_ = true;
    if (buf_.size() >= kBlock) flush();
  }
  // Writes everything buffered so far.
  void flush();

  // The buffer of the record being written, for callers that append CSV text
  // directly (fields separated by ',' and quoted with appendCsvField).
  std::string& buffer() { return buf_; }

  static constexpr size_t kBlock = size_t{1} << 16;

 private:
  std::ostream& out_;
  std::string buf_;
  bool first_ = true;
};

}  // namespace output
