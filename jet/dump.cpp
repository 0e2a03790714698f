#include "jet/dump.h"

#include <array>
#include <charconv>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "jet/error.h"
#include "jet/text.h"

namespace jet {

uint32_t crc32(const std::string& bytes) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char ch : bytes) c = table[(c ^ ch) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

namespace {
std::string escapeText(const std::string& s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}
}  // namespace

std::string dumpCell(const Value& v) {
  switch (v.type()) {
    case DataType::Null: return "NULL";
    case DataType::Boolean: return v.asBool() ? "true" : "false";
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt:
      return std::to_string(v.asInt());
    case DataType::Currency: return formatScaled(v.asInt(), 4);
    case DataType::Single: return formatSignificant(v.asDouble(), 9);
    case DataType::Double: return formatSignificant(v.asDouble(), 17);
    case DataType::DateTime: return formatDateTime(v.asDouble());
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime:
      return escapeText(v.bytes());
    case DataType::Binary: case DataType::OLE: {
      char buf[32];
      std::snprintf(buf, sizeof buf, "%08x", crc32(v.bytes()));
      return "bin:" + std::to_string(v.bytes().size()) + ":" + buf;
    }
    case DataType::GUID: return formatGuid(v.bytes());
    case DataType::Decimal: {
      Decimal d = v.asDecimal();
      return formatScaled(d.mantissa, d.scale);
    }
    case DataType::Complex: return "complex:" + std::to_string(v.asInt());
  }
  return "";
}

std::string csvCell(const Value& v) {
  switch (v.type()) {
    case DataType::Null: return "";
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime: return v.bytes();
    case DataType::Binary: case DataType::OLE: {
      static const char* hex = "0123456789abcdef";
      std::string out;
      out.reserve(v.bytes().size() * 2);
      for (unsigned char c : v.bytes()) {
        out.push_back(hex[c >> 4]);
        out.push_back(hex[c & 15]);
      }
      return out;
    }
    default: return dumpCell(v);
  }
}

void appendCsvField(std::string& out, const std::string& s) {
  bool need = !s.empty() && (s.front() == ' ' || s.back() == ' ');
  for (char c : s) {
    if (c == ',' || c == '"' || c == '\n' || c == '\r') {
      need = true;
      break;
    }
  }
  if (!need) {
    out += s;
    return;
  }
  out.push_back('"');
  for (char c : s) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
}

std::string csvQuote(const std::string& s) {
  std::string out;
  appendCsvField(out, s);
  return out;
}

void writeSchema(Database& db, std::ostream& out) {
  out << "format\t" << db.formatName() << "\n";
  for (const CatalogEntry* e : db.tables(false)) {
    if (e->kind != ObjectKind::Table) continue;
    auto def = db.table(*e);
    out << "table\t" << e->name << "\t" << def->rowCount << "\n";
    for (const auto& c : def->columns) {
      out << "  col\t" << c.name << "\t" << static_cast<int>(c.type) << "\t"
          << c.displaySize(db.format().jet3) << "\trequired=" << (c.requiredProp ? "true" : "false")
          << "\tautonumber=" << (c.autoNumber() ? "true" : "false") << "\n";
    }
    for (const auto& ix : def->indexes) {
      bool hasReal = ix.realIndex >= 0;
      uint8_t fl = hasReal ? def->realOf(ix).flags : 0;
      if (ix.primary()) fl |= 0x01 | 0x08;  // a primary key is unique and required
      out << "  idx\t" << ix.name << "\t" << def->indexFieldsText(ix) << "\tprimary="
          << (ix.primary() ? "true" : "false") << "\tunique=" << ((fl & 0x01) ? "true" : "false")
          << "\trequired=" << ((fl & 0x08) ? "true" : "false")
          << "\tignorenulls=" << ((fl & 0x02) ? "true" : "false") << "\n";
    }
  }
}

void writeDump(Database& db, const std::string& table, std::ostream& out) {
  std::vector<std::string> names;
  if (!table.empty()) {
    auto def = db.table(table);
    names.push_back(def->name);
  } else {
    for (const CatalogEntry* e : db.tables(false))
      if (e->kind == ObjectKind::Table) names.push_back(e->name);
  }
  for (const auto& name : names) {
    std::string body;
    try {
      auto scan = db.scan(name);
      while (scan->next()) {
        const auto& vals = scan->values();
        for (size_t i = 0; i < vals.size(); ++i) {
          if (i) body += '\t';
          body += dumpCell(vals[i]);
        }
        body += '\n';
      }
    } catch (const Error&) {
      if (!table.empty()) throw;
      out << "## " << name << " UNREADABLE\n";
      continue;
    }
    out << "## " << name << "\n" << body;
  }
}

void writeQueries(Database& db, std::ostream& out) {
  for (const auto& q : db.queries()) out << "-- " << q.name << " [" << q.typeName << "]\n" << q.sql << "\n";
}

namespace {

// Appends one value in its CSV form (quoted where needed).
void appendCsvValue(std::string& buf, const Value& v) {
  switch (v.type()) {
    case DataType::Null: return;
    case DataType::Text: case DataType::Memo: appendCsvField(buf, v.bytes()); return;
    case DataType::Boolean: buf += v.asBool() ? "true" : "false"; return;
    case DataType::Byte: case DataType::Integer: case DataType::Long: case DataType::BigInt: {
      char tmp[24];
      auto r = std::to_chars(tmp, tmp + sizeof tmp, v.asInt());
      buf.append(tmp, static_cast<size_t>(r.ptr - tmp));
      return;
    }
    case DataType::Currency: appendScaled(buf, v.asInt(), 4); return;
    case DataType::Single: appendSignificant(buf, v.asDouble(), 9); return;
    case DataType::Double: appendSignificant(buf, v.asDouble(), 17); return;
    case DataType::DateTime: appendDateTime(buf, v.asDouble()); return;
    default: appendCsvField(buf, csvCell(v)); return;
  }
}

void appendCsvRow(TableScan& scan, size_t ncols, std::string& buf) {
  for (size_t i = 0; i < ncols; ++i) {
    if (i) buf += ',';
    appendCsvValue(buf, scan.value(i));
  }
  buf += "\r\n";
}

// Large tables are converted on two threads: each opens the file on its own
// (the pager is not shared between threads) and converts every other block of
// pages; the blocks are written in page order, so the output is the same as
// a serial scan. At most a few blocks wait in memory at any time.
bool writeCsvParallel(Database& db, const std::string& table, const std::vector<uint32_t>& pages,
                      size_t ncols, std::ostream& out) {
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
        while (scan.next()) appendCsvRow(scan, ncols, buf);
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
    std::lock_guard<std::mutex> lk(mu);
    spare.push_back(std::move(chunk));
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

void writeCsv(Database& db, const std::string& table, std::ostream& out) {
  auto scan = db.scan(table);
  const auto& def = scan->def();
  const size_t ncols = def.columns.size();
  std::string buf;
  for (size_t i = 0; i < ncols; ++i) {
    if (i) buf += ',';
    appendCsvField(buf, def.columns[i].name);
  }
  buf += "\r\n";
  out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
  buf.clear();
  if (writeCsvParallel(db, def.name, scan->pages(), ncols, out)) return;
  // Rows are written in blocks; no whole-table buffer.
  while (scan->next()) {
    appendCsvRow(*scan, ncols, buf);
    if (buf.size() > (1u << 16)) {
      out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
      buf.clear();
    }
  }
  out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
}

}  // namespace jet
