#include "jet/complex.h"

#include <zlib.h>

#include <cstring>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/text.h"

namespace jet {
namespace {

// The biggest content an attachment may claim: the file format itself ends at
// 2 GB, and one value cannot be larger than that.
constexpr uint32_t kMaxContent = 0x7FFFFFFFu;

uint32_t le32(const std::string& s, size_t off) {
  uint32_t v;
  std::memcpy(&v, s.data() + off, 4);
  return v;
}

bool startsWithNoCase(const std::string& s, const char* prefix) {
  size_t n = std::strlen(prefix);
  return s.size() >= n && equalsNoCase(std::string_view(s).substr(0, n), prefix);
}

[[noreturn]] void badAttachment(const std::string& what) {
  corrupt("an attachment's stored data is damaged (" + what + ")");
}

std::string inflateExactly(const std::string& stored, size_t off, uint32_t length) {
  // Deflate cannot expand more than about 1032 to 1: a claim beyond that is
  // damage, and refusing it keeps a damaged length from asking for memory.
  size_t in = stored.size() - off;
  if (length / 1032 > in + 64) badAttachment("its stated length is impossible");
  std::string out(length, '\0');
  z_stream z{};
  if (inflateInit(&z) != Z_OK) badAttachment("the decompressor could not start");
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stored.data() + off));
  z.avail_in = static_cast<uInt>(in);
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(length);
  int rc = inflate(&z, Z_FINISH);
  size_t produced = length - z.avail_out;
  bool extra = false;
  if (rc == Z_BUF_ERROR && z.avail_out == 0) {
    // The output is full but the stream goes on: more data than stated.
    unsigned char probe;
    z.next_out = &probe;
    z.avail_out = 1;
    extra = inflate(&z, Z_FINISH) != Z_STREAM_END || z.avail_out == 0;
  }
  inflateEnd(&z);
  if (extra) badAttachment("it holds more data than stated");
  if (rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && produced == length))
    badAttachment("the compressed stream is broken");
  if (produced != length) badAttachment("it holds less data than stated");
  return out;
}

}  // namespace

std::string unwrapAttachmentData(const std::string& stored) {
  if (stored.empty()) return {};
  if (stored.size() < 8) badAttachment("the wrapper is cut short");
  uint32_t kind = le32(stored, 0);
  uint32_t length = le32(stored, 4);
  if (length > kMaxContent) badAttachment("its stated length is impossible");
  std::string content;
  if (kind == 0) {
    if (stored.size() - 8 < length) badAttachment("it holds less data than stated");
    content = stored.substr(8, length);
  } else if (kind == 1) {
    content = inflateExactly(stored, 8, length);
  } else {
    badAttachment("unknown wrapper kind " + std::to_string(kind));
  }
  if (content.size() < 12) badAttachment("the file header is cut short");
  uint32_t headerLen = le32(content, 0);
  uint32_t extChars = le32(content, 8);
  if (headerLen < 12 || headerLen > content.size() || extChars > (headerLen - 12) / 2)
    badAttachment("the file header does not fit");
  return content.substr(headerLen);
}

bool safeFileName(const std::string& name, std::string& out) {
  out.clear();
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F) continue;
    out.push_back(ch == '/' || ch == '\\' ? '_' : ch);
  }
  // Blanks and dots at either end carry no meaning in a name and would let
  // "..", " .." and the like through.
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  size_t lead = 0;
  while (lead < out.size() && out[lead] == ' ') ++lead;
  out.erase(0, lead);
  if (!out.empty() && out[0] == '.') out.insert(out.begin(), '_');
  return !out.empty();
}

struct ComplexReader::Flat {
  ComplexKind kind = ComplexKind::Other;
  std::string column;
  std::shared_ptr<const TableDef> def;
  std::unique_ptr<RowDecoder> decoder;
  int valueCol = -1;  // multi-value / history entry value
  int nameCol = -1, typeCol = -1, urlCol = -1, timeCol = -1, dataCol = -1;
  struct Entry {
    RowId row;
    Value value;  // multi-value: the value; attachment: the file name
  };
  std::map<int32_t, std::vector<Entry>> entries;
};

ComplexReader::ComplexReader(Database& db, std::shared_ptr<const TableDef> table)
    : db_(db), table_(std::move(table)) {}

ComplexReader::~ComplexReader() = default;

ComplexReader::Flat& ComplexReader::flat(size_t col) {
  auto it = flats_.find(col);
  if (it != flats_.end()) return *it->second;
  if (col >= table_->columns.size() || table_->columns[col].rawType != coltype::kComplex)
    throw Error(err::kDataTypeMismatch, "The column is not an attachment or multi-value field.");
  const Column& c = table_->columns[col];
  auto damaged = [&](const std::string& what) -> void {
    corrupt("the attachment or multi-value field '" + c.name + "' of '" + table_->name + "' " + what);
  };
  const CatalogEntry* tableEntry = nullptr;
  for (const auto& e : db_.objects())
    if (e.isTable() && e.tdefPage == table_->page) tableEntry = &e;

  // The column's row in MSysComplexColumns.
  int32_t flatId = 0, typeId = 0;
  bool found = false;
  {
    if (!db_.find("MSysComplexColumns")) damaged("has no entry in MSysComplexColumns");
    auto scan = db_.scan("MSysComplexColumns");
    const TableDef& sd = scan->def();
    int cId = sd.findColumn("ComplexID"), cFlat = sd.findColumn("FlatTableID"),
        cType = sd.findColumn("ComplexTypeObjectID"), cTable = sd.findColumn("ConceptualTableID");
    if (cId < 0 || cFlat < 0 || cType < 0) damaged("has no entry in MSysComplexColumns");
    while (scan->next()) {
      Value id = scan->value(static_cast<size_t>(cId));
      if (id.isNull() || id.asInt() != c.complexId) continue;
      if (tableEntry && cTable >= 0) {
        Value t = scan->value(static_cast<size_t>(cTable));
        if (!t.isNull() && t.asInt() != tableEntry->id) continue;
      }
      flatId = static_cast<int32_t>(scan->value(static_cast<size_t>(cFlat)).asInt());
      typeId = static_cast<int32_t>(scan->value(static_cast<size_t>(cType)).asInt());
      found = true;
      break;
    }
  }
  if (!found) damaged("has no entry in MSysComplexColumns (complex id " + std::to_string(c.complexId) + ")");
  const CatalogEntry* flatEntry = nullptr;
  const CatalogEntry* typeEntry = nullptr;
  for (const auto& e : db_.objects()) {
    if (!e.isTable()) continue;
    if (e.id == flatId) flatEntry = &e;
    if (e.id == typeId) typeEntry = &e;
  }
  if (!flatEntry) damaged("names a hidden table that does not exist");
  if (!typeEntry) damaged("names a type template that does not exist");

  auto f = std::make_unique<Flat>();
  f->column = c.name;
  f->def = db_.table(*flatEntry);
  auto typeDef = db_.table(*typeEntry);
  if (startsWithNoCase(typeEntry->name, "MSysComplexType_Attachment")) f->kind = ComplexKind::Attachment;
  else if (startsWithNoCase(typeEntry->name, "MSysComplexTypeVH")) f->kind = ComplexKind::VersionHistory;
  else f->kind = ComplexKind::MultiValue;

  int fkCol = -1;
  for (size_t i = 0; i < f->def->columns.size(); ++i) {
    const Column& fc = f->def->columns[i];
    if (typeDef->findColumn(fc.name) >= 0) {
      if (f->valueCol < 0 && (fc.type == DataType::Text || fc.type == DataType::Memo ||
                              f->kind == ComplexKind::MultiValue))
        f->valueCol = static_cast<int>(i);
      continue;
    }
    if (fc.autoNumber()) continue;
    if (fc.type == DataType::Long && fkCol < 0) fkCol = static_cast<int>(i);
  }
  if (fkCol < 0) damaged("has a hidden table without the column linking it to the rows");
  if (f->kind == ComplexKind::Attachment) {
    f->nameCol = f->def->findColumn("FileName");
    f->typeCol = f->def->findColumn("FileType");
    f->urlCol = f->def->findColumn("FileURL");
    f->timeCol = f->def->findColumn("FileTimeStamp");
    f->dataCol = f->def->findColumn("FileData");
    if (f->nameCol < 0 || f->dataCol < 0) damaged("is an attachment field whose hidden table lacks FileName or FileData");
    f->valueCol = f->nameCol;
  }
  if (f->valueCol < 0) damaged("has a hidden table without a value column");

  TableScan scan(db_, f->def);
  while (scan.next()) {
    Value key = scan.value(static_cast<size_t>(fkCol));
    if (key.isNull()) continue;
    f->entries[static_cast<int32_t>(key.asInt())].push_back(
        Flat::Entry{scan.rowId(), scan.value(static_cast<size_t>(f->valueCol))});
  }
  f->decoder = std::make_unique<RowDecoder>(db_, *f->def);
  auto& ref = *f;
  flats_.emplace(col, std::move(f));
  return ref;
}

ComplexKind ComplexReader::kind(size_t col) { return flat(col).kind; }

const Column& ComplexReader::valueColumn(size_t col) {
  Flat& f = flat(col);
  return f.def->columns[static_cast<size_t>(f.valueCol)];
}

std::vector<Attachment> ComplexReader::attachments(size_t col, const Value& v) {
  Flat& f = flat(col);
  std::vector<Attachment> out;
  if (v.isNull() || f.kind != ComplexKind::Attachment) return out;
  auto it = f.entries.find(static_cast<int32_t>(v.asInt()));
  if (it == f.entries.end()) return out;
  for (const auto& e : it->second) {
    PageRef holder;
    ByteView row;
    if (!readRow(db_.pager(), *f.def, e.row, holder, row))
      corrupt("an attachment of '" + f.column + "' vanished while it was read");
    std::vector<Value> vals;
    f.decoder->decode(row, vals);
    Attachment a;
    a.name = vals[static_cast<size_t>(f.nameCol)].bytes();
    if (f.typeCol >= 0) a.type = vals[static_cast<size_t>(f.typeCol)].bytes();
    if (f.urlCol >= 0) a.url = vals[static_cast<size_t>(f.urlCol)].bytes();
    if (f.timeCol >= 0 && vals[static_cast<size_t>(f.timeCol)].type() == DataType::DateTime)
      a.timeStamp = vals[static_cast<size_t>(f.timeCol)].asDouble();
    try {
      a.data = unwrapAttachmentData(vals[static_cast<size_t>(f.dataCol)].bytes());
    } catch (const Error& err) {
      throw Error(err.number(), std::string(err.what()) + " File '" + a.name + "' of '" + f.column + "'.");
    }
    out.push_back(std::move(a));
  }
  return out;
}

std::vector<Value> ComplexReader::values(size_t col, const Value& v) {
  Flat& f = flat(col);
  std::vector<Value> out;
  if (v.isNull()) return out;
  auto it = f.entries.find(static_cast<int32_t>(v.asInt()));
  if (it == f.entries.end()) return out;
  for (const auto& e : it->second) out.push_back(e.value);
  return out;
}

std::string ComplexReader::displayText(size_t col, const Value& v) {
  std::string out;
  for (const Value& x : values(col, v)) {
    if (!out.empty()) out += "; ";
    out += x.display();
  }
  return out;
}

}  // namespace jet
