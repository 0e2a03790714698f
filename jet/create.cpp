#include "jet/create.h"

#include <chrono>
#include <cstring>
#include <map>

#include "jet/bytes.h"
#include "jet/codec.h"
#include "jet/complex_create.h"
#include "jet/error.h"
#include "jet/ext_datetime.h"
#include "jet/index_writer.h"
#include "jet/page_alloc.h"
#include "jet/table_writer.h"
#include "jet/tdef_encode.h"
#include "jet/text.h"

namespace jet {

namespace {

using namespace tdefenc;

constexpr int32_t kTablesId = 0x0F000001, kDatabasesId = 0x0F000002, kRelationshipsId = 0x0F000003;
constexpr int32_t kRootId = 0x0F000000, kMSysDbId = 0x10000000;
constexpr size_t kMapRowLen = 69;  // Jet 4 inline usage map: type, start page, 64 bytes
const uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};
// Owner and the built-in accounts of the default workgroup, as the product
// stores them in MSysObjects.Owner and MSysACEs.SID.
const std::string kOwnerSid("\xA7\x31", 2);
const std::string kAdminSid("\xA7\x33", 2);
const std::string kUsersSid("\xA6\x33", 2);
const std::string kAdminsSid("\xA7\x36", 2);

BCol colOf(const std::string& name, uint8_t raw, uint16_t len, uint8_t flags, uint8_t ext = 0) {
  BCol c;
  c.name = name;
  c.raw = raw;
  c.len = len;
  c.flags = flags;
  c.ext = ext;
  return c;
}

// The system tables of a new database, in page order 2, 3, 4, 5 (and 6,
// the table of complex columns, in the ACE formats).
std::vector<BTable> systemTables(bool ace) {
  const uint8_t F = 0x13, V = 0x12;  // fixed / variable system columns
  std::vector<BTable> ts(ace ? 5 : 4);
  BTable& o = ts[0];
  o.name = "MSysObjects";
  o.tableType = 0x53;
  o.cols = {colOf("Id", coltype::kLong, 4, F), colOf("ParentId", coltype::kLong, 4, F),
            colOf("Name", coltype::kText, 510, V), colOf("Type", coltype::kInt, 2, F),
            colOf("DateCreate", coltype::kDateTime, 8, F), colOf("DateUpdate", coltype::kDateTime, 8, F),
            colOf("Owner", coltype::kBinary, 510, 0x32), colOf("Flags", coltype::kLong, 4, F),
            colOf("Database", coltype::kMemo, 0, V), colOf("Connect", coltype::kMemo, 0, V),
            colOf("ForeignName", coltype::kText, 510, V), colOf("RmtInfoShort", coltype::kBinary, 510, V),
            colOf("RmtInfoLong", coltype::kOle, 0, V), colOf("Lv", coltype::kOle, 0, V),
            colOf("LvProp", coltype::kOle, 0, V), colOf("LvModule", coltype::kOle, 0, V),
            colOf("LvExtra", coltype::kOle, 0, V)};
  o.reals = {BReal{{{1, true}, {2, true}}, 0x81}, BReal{{{0, true}}, 0x81}};
  o.logs = {BLog{"ParentIdName", 0, 0}, BLog{"Id", 1, 1}};
  BTable& a = ts[1];
  a.name = "MSysACEs";
  a.tableType = 0x53;
  a.cols = {colOf("ObjectId", coltype::kLong, 4, F), colOf("SID", coltype::kBinary, 510, 0x32),
            colOf("ACM", coltype::kLong, 4, F), colOf("FInheritable", coltype::kBool, 1, F)};
  a.reals = {BReal{{{0, true}}, 0x88}};
  a.logs = {BLog{"ObjectId", 0, 0}};
  BTable& q = ts[2];
  q.name = "MSysQueries";
  q.tableType = 0x53;
  q.cols = {colOf("ObjectId", coltype::kLong, 4, F), colOf("Attribute", coltype::kByte, 1, F),
            colOf("Order", coltype::kBinary, 510, V), colOf("Name1", coltype::kText, 510, V),
            colOf("Name2", coltype::kText, 510, V), colOf("Expression", coltype::kMemo, 0, V),
            colOf("Flag", coltype::kInt, 2, F), colOf("LvExtra", coltype::kLong, 4, F)};
  q.reals = {BReal{{{0, true}, {1, true}, {2, true}}, 0x81}};
  q.logs = {BLog{"ObjectIdAttribute", 0, 1}};
  BTable& r = ts[3];
  r.name = "MSysRelationships";
  r.tableType = 0x53;
  r.cols = {colOf("szRelationship", coltype::kText, 510, V), colOf("grbit", coltype::kLong, 4, F),
            colOf("ccolumn", coltype::kLong, 4, F), colOf("icolumn", coltype::kLong, 4, F),
            colOf("szObject", coltype::kText, 510, V), colOf("szColumn", coltype::kText, 510, V),
            colOf("szReferencedObject", coltype::kText, 510, V),
            colOf("szReferencedColumn", coltype::kText, 510, V)};
  r.reals = {BReal{{{0, true}}, 0x82}, BReal{{{4, true}}, 0x82}, BReal{{{6, true}}, 0x82}};
  r.logs = {BLog{"szRelationship", 0, 0}, BLog{"szObject", 1, 0}, BLog{"szReferencedObject", 2, 0}};
  if (ace) {
    // Attachment and multi-value fields are listed here; a new database
    // has none, but the product expects the table.
    BTable& x = ts[4];
    x.name = "MSysComplexColumns";
    x.cols = {colOf("ColumnName", coltype::kText, 510, V), colOf("ComplexTypeObjectID", coltype::kLong, 4, F),
              colOf("FlatTableID", coltype::kLong, 4, F), colOf("ConceptualTableID", coltype::kLong, 4, F),
              colOf("ComplexID", coltype::kLong, 4, static_cast<uint8_t>(F | colflag::kAutoLong))};
    x.reals = {BReal{{{4, true}}, 0x8B}, BReal{{{3, true}}, 0x8A}, BReal{{{2, true}}, 0x8A}};
    x.logs = {BLog{"IdxID", 0, 1}, BLog{"IdxConceptualTableID", 1, 0}, BLog{"IdxFlatTableID", 2, 0}};
  }
  for (auto& t : ts) layout(t);
  return ts;
}

double nowSerial() {
  using namespace std::chrono;
  double secs = duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
  return 25569.0 + secs / 86400.0;
}

// Property blob (MSysObjects.LvProp): object properties and per-column
// properties.
struct PropVal {
  std::string name;
  uint8_t type;  // data engine type code of the value
  std::string bytes;
};
// codePage: Jet 3 files keep the names in their code page under the "KKD"
// mark (0: the UCS-2 names and "MR2" mark of later formats).
std::string encodeProperties(const std::vector<PropVal>& object,
                             const std::vector<std::pair<std::string, std::vector<PropVal>>>& columns,
                             uint16_t codePage = 0) {
  auto encodeName = [&](const std::string& n) {
    return codePage ? encodeCodePageText(utf8ToUtf16(n), codePage) : encodeUcs2Text(utf8ToUtf16(n), false);
  };
  std::vector<std::string> names;
  auto nameIdx = [&](const std::string& n) -> uint16_t {
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == n) return static_cast<uint16_t>(i);
    names.push_back(n);
    return static_cast<uint16_t>(names.size() - 1);
  };
  auto valueChunk = [&](uint16_t type, const std::string& owner, const std::vector<PropVal>& vals) {
    std::vector<uint8_t> c;
    putLE<uint32_t>(c, 0);
    putLE<uint16_t>(c, type);
    std::string on = encodeName(owner);
    putLE<uint32_t>(c, static_cast<uint32_t>(6 + on.size()));
    putLE<uint16_t>(c, static_cast<uint16_t>(on.size()));
    c.insert(c.end(), on.begin(), on.end());
    for (const auto& v : vals) {
      putLE<uint16_t>(c, static_cast<uint16_t>(8 + v.bytes.size()));
      c.push_back(0);
      c.push_back(v.type);
      putLE<uint16_t>(c, nameIdx(v.name));
      putLE<uint16_t>(c, static_cast<uint16_t>(v.bytes.size()));
      c.insert(c.end(), v.bytes.begin(), v.bytes.end());
    }
    put32(c.data(), static_cast<uint32_t>(c.size()));
    return c;
  };
  std::vector<std::vector<uint8_t>> chunks;
  if (!object.empty()) chunks.push_back(valueChunk(0x00, "", object));
  for (const auto& [col, vals] : columns) chunks.push_back(valueChunk(0x01, col, vals));
  std::vector<uint8_t> nm;
  putLE<uint32_t>(nm, 0);
  putLE<uint16_t>(nm, 0x80);
  for (const auto& n : names) {
    std::string e = encodeName(n);
    putLE<uint16_t>(nm, static_cast<uint16_t>(e.size()));
    nm.insert(nm.end(), e.begin(), e.end());
  }
  put32(nm.data(), static_cast<uint32_t>(nm.size()));
  std::string out(codePage ? "KKD" : "MR2", 3);
  out.push_back('\0');
  out.append(nm.begin(), nm.end());
  for (const auto& c : chunks) out.append(c.begin(), c.end());
  return out;
}

std::string textProp(const std::string& s) { return encodeUcs2Text(utf8ToUtf16(s), false); }

// Rows of MSysObjects and MSysACEs for a new database.
void writeCatalogue(Database& db, double now) {
  const bool aceFormat = db.format().ace;
  TableWriter objects(db, 2, "MSysObjects");
  TableWriter aces(db, 3, "MSysACEs");
  auto obj = [&](int32_t id, int32_t parent, const std::string& name, int16_t type, uint32_t flags,
                 const std::string& lvProp = {}) {
    std::vector<std::pair<std::string, Value>> v = {
        {"Id", Value::longInt(id)},
        {"ParentId", Value::longInt(parent)},
        {"Name", Value::text(name)},
        {"Type", Value::integer(type)},
        {"DateCreate", Value::dateTime(now)},
        {"DateUpdate", Value::dateTime(now)},
        {"Owner", Value::binary(kOwnerSid)},
        {"Flags", Value::longInt(static_cast<int32_t>(flags))}};
    if (!lvProp.empty()) v.push_back({"LvProp", Value::binary(lvProp, DataType::OLE)});
    objects.insert(objects.valuesByName(v));
  };
  auto ace = [&](int32_t id, const std::string& sid, int32_t acm, bool inherit) {
    aces.insert(aces.valuesByName({{"ObjectId", Value::longInt(id)},
                                   {"SID", Value::binary(sid)},
                                   {"ACM", Value::longInt(acm)},
                                   {"FInheritable", Value::boolean(inherit)}}));
  };
  obj(kTablesId, kRootId, "Tables", 3, 0x80000000u);
  obj(kDatabasesId, kRootId, "Databases", 3, 0x80000000u);
  obj(kRelationshipsId, kRootId, "Relationships", 3, 0x80000000u);
  auto long4 = [](uint32_t v) {
    uint8_t b[4];
    put32(b, v);
    return std::string(reinterpret_cast<char*>(b), 4);
  };
  std::vector<PropVal> props;
  if (aceFormat) {
    // The ACE formats keep the 2003 access version and a project version
    // by format: 119 up to 2010, 142 from 2016 on.
    const Version v = db.format().version;
    bool recent = v == Version::Ace16 || v == Version::Ace17;
    props = {{"AccessVersion", 10, textProp("09.50")}, {"Build", 4, long4(0x047E)},
             {"ProjVer", 4, long4(recent ? 142 : 119)}};
  } else {
    props = {{"AccessVersion", 10, textProp("08.50")}, {"Build", 4, long4(0x19DC)}};
  }
  obj(kMSysDbId, kDatabasesId, "MSysDb", 2, 0x80000000u, encodeProperties(props, {}));
  obj(2, kTablesId, "MSysObjects", 1, 0x80000000u);
  obj(3, kTablesId, "MSysACEs", 1, 0x80000000u);
  obj(4, kTablesId, "MSysQueries", 1, 0x80000000u);
  obj(5, kTablesId, "MSysRelationships", 1, 0x80000000u);
  if (aceFormat) obj(6, kTablesId, "MSysComplexColumns", 1, 0x80000000u);
  // Permissions: full rights on the containers for the built-in accounts,
  // read rights on the system tables.
  for (int32_t id : {kTablesId, kRelationshipsId}) {
    ace(id, kUsersSid, 983294, true);
    ace(id, kAdminsSid, 1048319, true);
    ace(id, kAdminSid, 1048319, true);
  }
  ace(kDatabasesId, kAdminsSid, 393216, false);
  ace(kMSysDbId, kAdminsSid, 393230, false);
  ace(kMSysDbId, kAdminSid, 14, false);
  std::vector<int32_t> systemIds = {2, 3, 4, 5};
  if (aceFormat) systemIds.push_back(6);
  for (int32_t id : systemIds) {
    ace(id, kAdminsSid, 393216, false);
    ace(id, kAdminSid, 20, false);
  }
}

// The version field at 0x14 of each format this engine creates.
uint32_t versionCode(Version v) {
  switch (v) {
    case Version::Jet4: return 1;
    case Version::Ace12: return 2;
    case Version::Ace14: return 3;
    case Version::Ace16: return 5;
    case Version::Ace17: return 6;
    case Version::Jet3: break;
  }
  throw Error(err::kNotSupported, "New databases cannot be made in the Access 97 format.");
}

PageBuf headerPage(const Format& fmt, double created) {
  PageBuf h(fmt.pageSize, 0);
  h[1] = 0x01;
  std::memcpy(h.data() + 4, fmt.ace ? "Standard ACE DB" : "Standard Jet DB", 15);
  put32(h.data() + 0x14, versionCode(fmt.version));
  // Plain values of the masked area.
  const uint8_t fixed[] = {0x00, 0x01, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00,
                           0x03, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
  std::memcpy(h.data() + 0x18, fixed, sizeof fixed);
  put16(h.data() + 0x3C, 1252);
  // No database password: the password area holds only the date mask.
  uint8_t mask[4];
  int32_t m = static_cast<int32_t>(created);
  std::memcpy(mask, &m, 4);
  for (size_t i = 0; i < fmt.passwordLen; ++i) h[0x42 + i] = mask[i % 4];
  put16(h.data() + fmt.offSortOrder, kGeneralSort);
  h[fmt.offSortOrder + 3] = newerGeneralSort(fmt) ? 1 : 0;  // the version byte, as in a column's
  uint64_t bits;
  std::memcpy(&bits, &created, 8);
  put64(h.data() + 0x72, bits);
  rc4(kHeaderKey, 4, h.data() + 0x18, fmt.headerCryptLen);
  return h;
}

// Usage-map rows on a map page: returns the row pointer of each new row.
std::vector<uint32_t> addMapRows(const Format& fmt, PageBuf& page, uint32_t pgno, size_t n) {
  auto slots = readSlotContents(fmt, page);
  std::vector<uint32_t> out;
  for (size_t i = 0; i < n; ++i) {
    SlotContent s;
    s.bytes.assign(5 + fmt.usageMapInlineBytes, 0);
    out.push_back((pgno << 8) | static_cast<uint32_t>(slots.size()));
    slots.push_back(std::move(s));
  }
  if (!writeSlots(fmt, page, slots)) throw Error(err::kNotSupported, "Too many usage maps for one page.");
  return out;
}

// Jet 3 tables keep no usage maps of their own for long values.
size_t mapsNeeded(const Format& fmt, const BTable& t) {
  size_t n = 2 + t.reals.size();
  for (const auto& c : t.cols)
    if (c.longValue() && !fmt.jet3) n += 2;
  return n;
}

void assignMaps(const Format& fmt, BTable& t, const std::vector<uint32_t>& rows) {
  size_t k = 0;
  t.used = rows[k++];
  t.free = rows[k++];
  for (auto& r : t.reals) r.map = rows[k++];
  for (size_t i = 0; i < t.cols.size(); ++i)
    if (t.cols[i].longValue() && !fmt.jet3) {
      uint32_t u = rows[k++];
      uint32_t f = rows[k++];
      t.lvMaps[static_cast<uint16_t>(i)] = {u, f};
    }
}

std::vector<uint8_t> buildSkeleton(double created, Version v) {
  const Format& fmt = formatFor(v);
  auto sys = systemTables(fmt.ace);
  // Pages: 0 header, 1 global map, 2.. definitions, then the usage maps,
  // then one empty root leaf per real index.
  const uint32_t mapPage = 2 + static_cast<uint32_t>(sys.size());
  std::vector<PageBuf> pages(mapPage + 1, PageBuf(fmt.pageSize, 0));
  pages[0] = headerPage(fmt, created);
  initDataPage(fmt, pages[mapPage], 0);
  size_t totalMaps = 0;
  for (const auto& t : sys) totalMaps += mapsNeeded(fmt, t);
  auto rows = addMapRows(fmt, pages[mapPage], mapPage, totalMaps);
  size_t k = 0;
  uint32_t next = mapPage + 1;
  for (size_t i = 0; i < sys.size(); ++i) {
    BTable& t = sys[i];
    std::vector<uint32_t> mine(rows.begin() + k, rows.begin() + k + mapsNeeded(fmt, t));
    k += mapsNeeded(fmt, t);
    assignMaps(fmt, t, mine);
    for (auto& r : t.reals) {
      r.root = next++;
      IndexPage leaf;
      leaf.page = r.root;
      leaf.leaf = true;
      PageBuf p;
      encodeIndexPage(fmt, 2 + static_cast<uint32_t>(i), leaf, p);
      pages.push_back(std::move(p));
      // The index owns its root page.
      uint32_t mp = r.map;
      PageBuf& mpg = pages[mp >> 8];
      auto slots = readSlots(fmt, mpg);
      uint8_t* row = mpg.data() + slots[mp & 0xFF].start;
      row[5 + r.root / 8] |= uint8_t(1u << (r.root % 8));
    }
    auto tp = tdefPages(fmt, encodeTdef(fmt, t, 1252));
    if (tp.size() != 1) throw Error(err::kNotSupported, "A system table definition does not fit one page.");
    pages[2 + i] = std::move(tp[0]);
  }
  // Global map: every page from the end of the file on is free.
  initDataPage(fmt, pages[1], 1);
  auto g = addMapRows(fmt, pages[1], 1, 2);
  {
    auto slots = readSlots(fmt, pages[1]);
    uint8_t* row = pages[1].data() + slots[0].start;
    for (size_t pg = pages.size(); pg < (kMapRowLen - 5) * 8; ++pg) row[5 + pg / 8] |= uint8_t(1u << (pg % 8));
  }
  std::vector<uint8_t> file;
  for (const auto& p : pages) file.insert(file.end(), p.begin(), p.end());
  return file;
}

void finishNewDatabase(Database& db, double created) {
  ChangeScope change(db);
  writeCatalogue(db, created);
  change.commit();
  db.reloadCatalog();
}

int32_t nextObjectId(Database& db) {
  int32_t best = static_cast<int32_t>(0x80000000u) + 7;  // first ids go to the containers
  for (const auto& e : db.objects())
    if (e.id < 0 && e.id >= best) best = e.id + 1;
  return best;
}

uint8_t rawTypeOf(const Format& fmt, const ColumnSpec& c) {
  switch (c.type) {
    case DataType::BigInt:
      if (fmt.version != Version::Ace16 && fmt.version != Version::Ace17)
        throw Error(err::kInvalidFieldType, "Field '" + c.name +
                                                "': Big Integer fields need the Access 2016 format or later "
                                                "(create the file with --format 2019).");
      return coltype::kBigInt;
    case DataType::Decimal:
      if (fmt.jet3)
        throw Error(err::kInvalidFieldType, "Field '" + c.name + "': Access 97 files have no Decimal fields.");
      return coltype::kNumeric;
    case DataType::ExtDateTime:
      if (fmt.version != Version::Ace17)
        throw Error(err::kInvalidFieldType, "Field '" + c.name +
                                                "': Date/Time Extended fields need the Access 2019 format "
                                                "(create the file with --format 2019).");
      return coltype::kExtDateTime;
    case DataType::Complex:
      detail::checkComplexColumn(fmt, c);
      return coltype::kComplex;
    case DataType::Boolean: return coltype::kBool;
    case DataType::Byte: return coltype::kByte;
    case DataType::Integer: return coltype::kInt;
    case DataType::Long: return coltype::kLong;
    case DataType::Currency: return coltype::kMoney;
    case DataType::Single: return coltype::kFloat;
    case DataType::Double: return coltype::kDouble;
    case DataType::DateTime: return coltype::kDateTime;
    case DataType::Binary: return coltype::kBinary;
    case DataType::Text: return coltype::kText;
    case DataType::OLE: return coltype::kOle;
    case DataType::Memo: return coltype::kMemo;
    case DataType::GUID: return coltype::kGuid;
    default:
      throw Error(err::kInvalidFieldType, std::string("Columns of type ") + dataTypeName(c.type) +
                                              " cannot be created in this file format.");
  }
}

}  // namespace

ColumnSpec columnSpec(const std::string& name, DataType type, int size, bool required) {
  ColumnSpec c;
  c.name = name;
  c.type = type;
  c.size = size;
  c.required = required;
  return c;
}

ColumnSpec autoNumberSpec(const std::string& name) {
  ColumnSpec c = columnSpec(name, DataType::Long);
  c.autoNumber = true;
  return c;
}

IndexSpec indexSpec(const std::string& name, std::vector<std::pair<std::string, bool>> columns, bool primary,
                    bool unique) {
  IndexSpec i;
  i.name = name;
  i.columns = std::move(columns);
  i.primary = primary;
  i.unique = unique;
  return i;
}

ColumnSpec attachmentSpec(const std::string& name) { return columnSpec(name, DataType::Complex); }

ColumnSpec multiValueSpec(const std::string& name, DataType valueType, int size) {
  ColumnSpec c = columnSpec(name, DataType::Complex, size);
  c.multiValue = true;
  c.valueType = valueType;
  return c;
}

IndexSpec primaryKeySpec(const std::string& column) { return indexSpec("PrimaryKey", {{column, true}}, true); }

Version newFileVersion(const std::string& path) {
  std::string ext = path.size() >= 6 ? path.substr(path.size() - 6) : "";
  return equalsNoCase(ext, ".accdb") ? Version::Ace12 : Version::Jet4;
}

Version versionForYear(const std::string& year) {
  if (year == "2000") return Version::Jet4;
  if (year == "2007") return Version::Ace12;
  if (year == "2010") return Version::Ace14;
  if (year == "2016") return Version::Ace16;
  if (year == "2019") return Version::Ace17;
  throw Error(err::kNotSupported, "Unknown format '" + year + "': use 2000, 2007, 2010, 2016 or 2019.");
}

void createDatabase(const std::string& path) { createDatabase(path, newFileVersion(path)); }

void createDatabase(const std::string& path, Version v) {
  versionCode(v);  // refuses Jet 3 before anything is written
  if (fileExists(path))
    throw Error(err::kDatabaseExists, "Database '" + path + "' already exists.");
  double created = nowSerial();
  auto bytes = buildSkeleton(created, v);
  {
    auto f = createFile(path);
    f->writeAt(0, bytes.data(), bytes.size());
    f->sync();
  }
  try {
    auto db = Database::open(path);
    finishNewDatabase(*db, created);
  } catch (...) {
    removeFile(path);
    throw;
  }
}

std::unique_ptr<Database> createMemoryDatabase(Version v) {
  double created = nowSerial();
  auto db = Database::open(memoryFile(buildSkeleton(created, v)));
  finishNewDatabase(*db, created);
  return db;
}

void createTable(Database& db, const TableSpec& spec) { detail::createTableObject(db, spec, {}); }

int32_t detail::createTableObject(Database& db, const TableSpec& spec, const HiddenTableOptions& opt) {
  db.requireWritable();
  if (spec.name.empty() || spec.name.size() > 64)
    throw Error(err::kInvalidName, "'" + spec.name + "' is not a valid name.");
  if (db.find(spec.name)) throw Error(err::kTableExists, "Table '" + spec.name + "' already exists.");
  if (spec.columns.empty() || spec.columns.size() > 255)
    throw Error(err::kTableFieldCount, "A table needs between 1 and 255 fields.");
  const Format& fmt = db.format();
  BTable t;
  t.name = spec.name;
  std::vector<std::pair<std::string, std::vector<PropVal>>> colProps;
  for (const auto& cs : spec.columns) {
    for (const auto& other : t.cols)
      if (equalsNoCase(other.name, cs.name)) throw Error(err::kFieldExists, "Field '" + cs.name + "' is defined more than once.");
    BCol c;
    c.name = cs.name;
    c.raw = rawTypeOf(fmt, cs);
    bool variable = c.raw == coltype::kText || c.raw == coltype::kBinary || c.raw == coltype::kMemo ||
                    c.raw == coltype::kOle;
    c.flags = variable ? 0x02 : 0x03;
    switch (c.raw) {
      case coltype::kText: {
        int chars = cs.size > 0 ? cs.size : 255;
        if (chars > 255) throw Error(err::kFieldTooSmall, "Text fields hold at most 255 characters.");
        // Jet 3 text is one byte a character in the file's code page.
        c.len = static_cast<uint16_t>(fmt.jet3 ? chars : chars * 2);
        c.ext = cs.compressed && !fmt.jet3 ? 0x01 : 0x00;
        c.sortVersion = newerGeneralSort(fmt) ? 1 : 0;
        break;
      }
      case coltype::kMemo:
        c.ext = cs.compressed && !fmt.jet3 ? 0x01 : 0x00;
        c.sortVersion = newerGeneralSort(fmt) ? 1 : 0;
        break;
      case coltype::kBinary: c.len = static_cast<uint16_t>(cs.size > 0 ? std::min(cs.size, 510) : 255); break;
      case coltype::kOle: break;
      case coltype::kBool: c.len = 1; break;
      case coltype::kByte: c.len = 1; break;
      case coltype::kInt: c.len = 2; break;
      case coltype::kLong: case coltype::kFloat: c.len = 4; break;
      case coltype::kMoney: case coltype::kDouble: case coltype::kDateTime: case coltype::kBigInt: c.len = 8; break;
      case coltype::kExtDateTime: c.len = static_cast<uint16_t>(kExtDateTimeSize); break;
      case coltype::kGuid: c.len = 16; break;
      case coltype::kComplex: c.len = 4; c.flags = 0x07; break;  // the complex id, auto-numbered
      case coltype::kNumeric:
        c.len = 17;
        c.prec = cs.precision ? cs.precision : 18;
        c.scale = cs.scale;
        if (c.prec > 28 || c.scale > c.prec) throw Error(err::kNotSupported, "Bad precision or scale for '" + cs.name + "'.");
        break;
    }
    if (cs.autoNumber) {
      if (c.raw == coltype::kLong) c.flags |= colflag::kAutoLong;
      else if (c.raw == coltype::kGuid) c.flags |= colflag::kAutoGuid;
      else throw Error(err::kNotSupported, "Only Long and GUID fields can be auto-numbers.");
    }
    if (t.cols.size() < opt.extFlags.size()) c.ext |= opt.extFlags[t.cols.size()];
    c.required = cs.required;
    if (cs.required) colProps.push_back({cs.name, {{"Required", 1, std::string("\xFF", 1)}}});
    t.cols.push_back(c);
  }
  layout(t);
  for (const auto& is : spec.indexes)
    for (const auto& [name, asc] : is.columns)
      for (const auto& cs : spec.columns)
        if (cs.type == DataType::Complex && equalsNoCase(cs.name, name))
          throw Error(err::kNotSupported, "Index '" + is.name + "': attachment and multi-value fields cannot be indexed.");
  std::vector<IndexSpec> indexes = spec.indexes;
  // Each complex field carries a unique index of its complex ids.
  for (const auto& cs : spec.columns)
    if (cs.type == DataType::Complex) {
      IndexSpec is = indexSpec(detail::utf8Prefix(cs.name, 31) + "_" + detail::hiddenNameSuffix(), {{cs.name, true}}, false, true);
      is.required = true;
      indexes.push_back(is);
    }
  int primaries = 0;
  for (const auto& is : indexes) {
    if (is.columns.empty() || is.columns.size() > 10)
      throw Error(err::kNotSupported, "An index needs between 1 and 10 fields.");
    BReal r;
    for (const auto& [name, asc] : is.columns) {
      int found = -1;
      for (size_t i = 0; i < t.cols.size(); ++i)
        if (equalsNoCase(t.cols[i].name, name)) found = static_cast<int>(i);
      if (found < 0) throw Error(err::kItemNotFound, "Index '" + is.name + "' names an unknown field '" + name + "'.");
      if (t.cols[found].longValue())
        throw Error(err::kNotSupported, "Memo and OLE fields cannot be indexed.");
      r.cols.push_back({found, asc});
    }
    r.flags = fmt.jet3 ? 0x00 : 0x80;
    if (is.unique || is.primary) r.flags |= 0x01;
    if (is.ignoreNulls) r.flags |= 0x02;
    if (is.required || is.primary) r.flags |= 0x08;
    if (is.primary) ++primaries;
    t.reals.push_back(r);
    t.logs.push_back(BLog{is.name, static_cast<int>(t.reals.size() - 1), static_cast<uint8_t>(is.primary ? 1 : 0)});
  }
  if (primaries > 1) throw Error(err::kPrimaryExists, "Primary key already exists.");

  ChangeScope change(db);
  Pager& pager = db.pager();
  // Usage maps on a page of their own, then the index roots, then the
  // definition.
  uint32_t mapPage = allocatePage(pager);
  initDataPage(fmt, pager.modify(mapPage), 0);
  assignMaps(fmt, t, addMapRows(fmt, pager.modify(mapPage), mapPage, mapsNeeded(fmt, t)));
  const uint16_t codePage = db.header().codePage;
  auto probe = tdefPages(fmt, encodeTdef(fmt, t, codePage));
  std::vector<uint32_t> tdefPgs;
  for (size_t i = 0; i < probe.size(); ++i) tdefPgs.push_back(allocatePage(pager));
  for (auto& r : t.reals) r.root = IndexWriter::createEmptyRoot(pager, tdefPgs[0], r.map);
  const int32_t tableId = static_cast<int32_t>(tdefPgs[0]);
  for (size_t i = 0; i < spec.columns.size(); ++i)
    if (spec.columns[i].type == DataType::Complex)
      t.cols[i].complexId = detail::createComplexParts(db, spec.name, tableId, spec.columns[i]);
  auto pages = tdefPages(fmt, encodeTdef(fmt, t, codePage));
  for (size_t i = 0; i < pages.size(); ++i) {
    put32(pages[i].data() + 4, i + 1 < pages.size() ? tdefPgs[i + 1] : 0);
    pager.modify(tdefPgs[i]) = pages[i];
  }
  double now = nowSerial();
  TableWriter objects(db, 2, "MSysObjects");
  std::vector<std::pair<std::string, Value>> row = {
      {"Id", Value::longInt(static_cast<int32_t>(tdefPgs[0]))},
      {"ParentId", Value::longInt(kTablesId)},
      {"Name", Value::text(spec.name)},
      {"Type", Value::integer(1)},
      {"DateCreate", Value::dateTime(now)},
      {"DateUpdate", Value::dateTime(now)},
      {"Owner", Value::binary(kAdminSid)},
      {"Flags", Value::longInt(static_cast<int32_t>(opt.objectFlags))}};
  if (!colProps.empty()) row.push_back({"LvProp", Value::binary(encodeProperties({}, colProps, fmt.jet3 ? codePage : 0), DataType::OLE)});
  objects.insert(objects.valuesByName(row));
  TableWriter aces(db, 3, "MSysACEs");
  aces.insert(aces.valuesByName({{"ObjectId", Value::longInt(static_cast<int32_t>(tdefPgs[0]))},
                                 {"SID", Value::binary(kAdminSid)},
                                 {"ACM", Value::longInt(1048575)},
                                 {"FInheritable", Value::boolean(false)}}));
  change.commit();
  db.reloadCatalog();
  return tableId;
}

void createQuery(Database& db, const QuerySpec& spec) {
  db.requireWritable();
  if (db.find(spec.name)) throw Error(err::kObjectExists, "Object '" + spec.name + "' already exists.");
  int32_t id = nextObjectId(db);
  ChangeScope change(db);
  double now = nowSerial();
  TableWriter objects(db, 2, "MSysObjects");
  objects.insert(objects.valuesByName({{"Id", Value::longInt(id)},
                                       {"ParentId", Value::longInt(kTablesId)},
                                       {"Name", Value::text(spec.name)},
                                       {"Type", Value::integer(5)},
                                       {"DateCreate", Value::dateTime(now)},
                                       {"DateUpdate", Value::dateTime(now)},
                                       {"Owner", Value::binary(kAdminSid)},
                                       {"Flags", Value::longInt(0)}}));
  TableWriter q(db, 4, "MSysQueries");
  std::map<int, uint32_t> orderOf;
  auto part = [&](int attr, std::optional<int> flag, const std::string& name1, const std::string& name2,
                  const std::string& expr) {
    std::vector<std::pair<std::string, Value>> v = {{"ObjectId", Value::longInt(id)},
                                                    {"Attribute", Value::byte(static_cast<uint8_t>(attr))}};
    // Order numbers the parts of one kind: 1, 2, ... as a big-endian word.
    uint32_t n = ++orderOf[attr];
    std::string ord = {char(n >> 24), char(n >> 16), char(n >> 8), char(n)};
    v.push_back({"Order", Value::binary(ord)});
    if (flag) v.push_back({"Flag", Value::integer(static_cast<int16_t>(*flag))});
    if (!name1.empty()) v.push_back({"Name1", Value::text(name1)});
    if (!name2.empty()) v.push_back({"Name2", Value::text(name2)});
    if (!expr.empty()) v.push_back({"Expression", Value::memo(expr)});
    q.insert(q.valuesByName(v));
  };
  part(0, 0, "", "", "");
  part(1, 1, "", "", "");
  int flags = (spec.selectStar ? 0x01 : 0) | (spec.distinct ? 0x02 : 0);
  part(3, flags, "", "", "");
  for (const auto& t : spec.tables) part(5, std::nullopt, t, "", "");
  for (const auto& [expr, alias] : spec.columns) part(6, 0, alias, "", expr);
  for (const auto& j : spec.joins) part(7, j.kind, j.left, j.right, j.on);
  if (!spec.where.empty()) part(8, std::nullopt, "", "", spec.where);
  for (const auto& [expr, asc] : spec.orderBy) part(11, std::nullopt, asc ? "" : "D", "", expr);
  part(255, std::nullopt, "", "", "");
  change.commit();
  db.reloadCatalog();
}

}  // namespace jet
