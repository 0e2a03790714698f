#include "output/table_csv.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <thread>

#include "jet/complex.h"
#include "jet/error.h"
#include "output/csv_writer.h"

namespace output {

using jet::Database;
using jet::DataType;
using jet::Error;
using jet::OpenOptions;
using jet::TableScan;
using jet::Value;

bool appendPlainCsvValue(std::string& buf, const Value& v) {
  switch (v.type()) {
    case DataType::Null: return true;
    case DataType::Text: case DataType::Memo: appendCsvField(buf, v.bytes()); return true;
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      jet::appendText(buf, v);
      return true;
    default: return false;
  }
}

namespace {

// Appends one value in its CSV form (quoted where needed).
void appendCsvValue(std::string& buf, const Value& v) {
  if (appendPlainCsvValue(buf, v)) return;
  if (v.type() == DataType::ExtDateTime) {
    appendCsvField(buf, v.bytes());
    return;
  }
  // Every other export form is without commas, quotes, line breaks or edge blanks.
  jet::appendExportText(buf, v);
}

using CellFn = void (*)(std::string&, const Value&);

// complex: the reader of the table's attachment and multi-value columns,
// whose cells take their shown text (file names or values joined by "; ").
void appendCsvRow(TableScan& scan, size_t ncols, std::string& buf, CellFn cell,
                  jet::ComplexReader* complex = nullptr) {
  for (size_t i = 0; i < ncols; ++i) {
    if (i) buf += ',';
    Value v = scan.value(i);
    if (complex && v.type() == DataType::Complex) {
      appendCsvField(buf, complex->displayText(i, v));
      continue;
    }
    cell(buf, v);
  }
  buf += "\r\n";
}

// Large tables are converted on two threads: each opens the file on its own
// (the pager is not shared between threads) and converts every other block of
// pages; the blocks are written in page order, so the output is the same as
// a serial scan. At most a few blocks wait in memory at any time.
// Returns false when it did not run (small table, one processor); sets
// stopped when progress said stop.
bool writeCsvParallel(Database& db, const std::string& table, const std::vector<uint32_t>& pages,
                      size_t ncols, std::ostream& out, CellFn cell,
                      const std::function<bool(size_t, size_t)>& progress, bool& stopped) {
  constexpr size_t kBlockPages = 32;
  constexpr size_t kWorkers = 2;
  constexpr size_t kWindow = 8;  // blocks converted ahead of the writer
  if (db.path().empty() || pages.size() < 4 * kBlockPages || std::thread::hardware_concurrency() < 2)
    return false;
  const size_t nblocks = (pages.size() + kBlockPages - 1) / kBlockPages;
  std::mutex mu;
  std::condition_variable cv;
  std::map<size_t, std::string> done;
  std::vector<std::string> spare;
  size_t written = 0;
  std::string failure;
  int failureNumber = 0;
  bool stop = false;
  OpenOptions opts;
  opts.readOnly = true;
  opts.password = db.header().password;
  opts.cachePages = 256;

  auto worker = [&](size_t w) {
    try {
      auto own = Database::open(db.path(), opts);
      auto def = own->table(table);
      for (size_t b = w; b < nblocks; b += kWorkers) {
        {
          std::unique_lock<std::mutex> lk(mu);
          cv.wait(lk, [&] { return stop || b < written + kWindow; });
          if (stop) return;
        }
        std::vector<uint32_t> part(pages.begin() + b * kBlockPages,
                                   pages.begin() + std::min(pages.size(), (b + 1) * kBlockPages));
        TableScan scan(*own, def, std::move(part));
        // Buffers go round between the workers and the writer, so their
        // memory is mapped once rather than for every block.
        std::string buf;
        {
          std::lock_guard<std::mutex> lk(mu);
          if (!spare.empty()) {
            buf = std::move(spare.back());
            spare.pop_back();
          }
        }
        buf.clear();
        buf.reserve(kBlockPages * own->format().pageSize * 2);
        while (scan.next()) appendCsvRow(scan, ncols, buf, cell);
        std::lock_guard<std::mutex> lk(mu);
        done[b] = std::move(buf);
        cv.notify_all();
      }
    } catch (const Error& e) {
      std::lock_guard<std::mutex> lk(mu);
      if (failure.empty()) { failure = e.what(); failureNumber = e.number(); }
      stop = true;
      cv.notify_all();
    }
  };
  std::vector<std::thread> threads;
  for (size_t w = 0; w < kWorkers; ++w) threads.emplace_back(worker, w);
  while (true) {
    std::string chunk;
    {
      std::unique_lock<std::mutex> lk(mu);
      cv.wait(lk, [&] { return stop || written == nblocks || done.count(written); });
      if (stop || written == nblocks) break;
      chunk = std::move(done[written]);
      done.erase(written);
      ++written;
      cv.notify_all();
    }
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    {
      std::lock_guard<std::mutex> lk(mu);
      spare.push_back(std::move(chunk));
    }
    if (progress && !progress(std::min(pages.size(), written * kBlockPages), pages.size())) {
      stopped = true;
      break;
    }
  }
  {
    std::lock_guard<std::mutex> lk(mu);
    stop = true;
    cv.notify_all();
  }
  for (auto& t : threads) t.join();
  if (!failure.empty()) throw Error(failureNumber, failure);
  return true;
}

}  // namespace

void writeTableCsv(Database& db, const std::string& table, std::ostream& out) {
  writeTableCsv(db, table, out, TableCsvOptions{});
}

bool writeTableCsv(Database& db, const std::string& table, std::ostream& out, const TableCsvOptions& options) {
  CellFn cell = options.cell ? options.cell : &appendCsvValue;
  auto scan = db.scan(table);
  const auto& def = scan->def();
  const size_t ncols = def.columns.size();
  CsvWriter csv(out);
  for (size_t i = 0; i < ncols; ++i) csv.field(def.columns[i].name);
  csv.endRecord();
  csv.flush();
  bool stopped = false;
  // Attachment and multi-value cells need the table's reader, and the
  // row-by-row path below.
  std::unique_ptr<jet::ComplexReader> complex;
  if (std::any_of(def.columns.begin(), def.columns.end(),
                  [](const auto& c) { return c.type == DataType::Complex; }))
    complex = std::make_unique<jet::ComplexReader>(db, db.table(def.name));
  if (!complex && writeCsvParallel(db, def.name, scan->pages(), ncols, out, cell, options.progress, stopped)) {
    if (!out) throw Error(jet::err::kIoError, "The file could not be written (disk full or not writable).");
    return !stopped;
  }
  // Rows are written in blocks; no whole-table buffer.
  size_t rows = 0;
  while (scan->next()) {
    appendCsvRow(*scan, ncols, csv.buffer(), cell, complex.get());
    if (csv.buffer().size() >= CsvWriter::kBlock) csv.flush();
    if ((++rows & 4095) == 0 && options.progress && !options.progress(0, 0)) return false;
  }
  csv.flush();
  return true;
}

}  // namespace output
