#include "output/csv_reader.h"

#include "jet/error.h"

namespace output {

int CsvReader::get() { return in_.get(); }
int CsvReader::peek() { return in_.peek(); }

bool CsvReader::next(CsvRecord& rec) {
  if (!started_) {
    started_ = true;
    if (peek() == 0xEF) {
      char bom[3] = {};
      in_.read(bom, 3);
      if (in_.gcount() != 3 || bom[1] != '\xBB' || bom[2] != '\xBF') {
        in_.clear();
        in_.seekg(0);
      }
    }
  }
  for (;;) {
    rec.fields.clear();
    rec.line = line_;
    std::string field;
    bool any = false;     // anything read for this record
    bool quoted = false;  // a quoted field was read ("" alone is a record)
    for (;;) {
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
