#include "output/csv_writer.h"

#include "jet/error.h"

namespace output {

void appendCsvField(std::string& out, std::string_view s) {
  bool need = !s.empty() && (s.front() == ' ' || s.back() == ' ');
  if (!need) need = s.find_first_of(",\"\r\n") != std::string_view::npos;
  if (!need) {
    out.append(s);
    return;
  }
  out.push_back('"');
  for (char c : s) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

std::string csvQuote(std::string_view s) {
  std::string out;
  appendCsvField(out, s);
  return out;
}

void CsvWriter::flush() {
  if (!buf_.empty()) out_.write(buf_.data(), static_cast<std::streamsize>(buf_.size()));
  buf_.clear();
  if (!out_) throw jet::Error(jet::err::kIoError, "The file could not be written (disk full or not writable).");
}

}  // namespace output
