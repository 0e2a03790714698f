#include "output/csv_reader.h"

#include "jet/error.h"

namespace output {

bool CsvReader::fill() {
  pos_ = len_ = 0;
  if (!in_) return false;
  in_.read(buf_.data(), static_cast<std::streamsize>(buf_.size()));
  len_ = static_cast<size_t>(in_.gcount());
  return len_ > 0;
}

bool CsvReader::next(CsvRecord& rec) {
  if (!started_) {
    started_ = true;
    // A whole first block is read, so a byte order mark is in it if there is one.
    fill();
    if (len_ >= 3 && buf_[0] == '\xEF' && buf_[1] == '\xBB' && buf_[2] == '\xBF') pos_ = 3;
  }
  for (;;) {
    rec.fields.clear();
    rec.line = line_;
    std::string field;
    bool any = false;     // anything read for this record
    bool quoted = false;  // a quoted field was read ("" alone is a record)
    for (;;) {
      // The plain characters of an unquoted field are taken a run at a time.
      if (pos_ < len_ && !field.empty()) {
        size_t end = pos_;
        while (end < len_) {
          char ch = buf_[end];
          if (ch == ',' || ch == '\r' || ch == '\n') break;
          ++end;
        }
        field.append(buf_.data() + pos_, end - pos_);
        pos_ = end;
      }
      int c = get();
      if (c == EOF) {
        if (!any) return false;
        rec.fields.push_back(std::move(field));
        return true;
      }
      any = true;
      if (c == '"' && field.empty()) {
        // A quoted field: up to the closing quote.
        quoted = true;
        size_t opened = line_;
        for (;;) {
          // Runs of characters other than quotes and line feeds at a time.
          size_t end = pos_;
          while (end < len_ && buf_[end] != '"' && buf_[end] != '\n') ++end;
          field.append(buf_.data() + pos_, end - pos_);
          pos_ = end;
          int q = get();
          if (q == EOF)
            throw jet::Error(jet::err::kSyntax,
                             "Line " + std::to_string(opened) + ": a quoted field is not closed.");
          if (q == '"') {
            if (peek() == '"') {
              get();
              field.push_back('"');
              continue;
            }
            break;
          }
          if (q == '\n') ++line_;
          field.push_back(static_cast<char>(q));
        }
        int after = peek();
        if (after != ',' && after != '\r' && after != '\n' && after != EOF)
          throw jet::Error(jet::err::kSyntax,
                           "Line " + std::to_string(line_) + ": text after a closing quote.");
        continue;
      }
      if (c == ',') {
        rec.fields.push_back(std::move(field));
        field.clear();
        continue;
      }
      if (c == '\r' && peek() == '\n') continue;
      if (c == '\n' || c == '\r') {
        ++line_;
        rec.fields.push_back(std::move(field));
        break;
      }
      field.push_back(static_cast<char>(c));
    }
    // An empty line is no record.
    if (!quoted && rec.fields.size() == 1 && rec.fields[0].empty()) continue;
    return true;
  }
}

}  // namespace output
