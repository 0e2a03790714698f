#include "jet/database.h"
#include "jet/encryption.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "jet/error.h"
#include "jet/lock.h"
#include "jet/text.h"

namespace jet {

namespace {

constexpr int32_t kDatabasesParentId = 0x0F000000;
constexpr int16_t kTypeTable = 1;
constexpr int16_t kTypeLinkedOdbc = 4;
constexpr int16_t kTypeQuery = 5;
constexpr int16_t kTypeLinked = 6;
constexpr uint32_t kSystemFlags = 0x80000002u;
const uint8_t kHeaderKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

bool isZero(const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (p[i]) return false;
  return true;
}

}  // namespace

Database::~Database() = default;

std::unique_ptr<Database> Database::open(const std::string& path, const OpenOptions& opts) {
  std::unique_ptr<Database> db(new Database());
  db->path_ = path;
  auto journal = fileJournal(path, opts.wrapFile);
  auto wrap = [&](std::unique_ptr<FileIO> f) { return opts.wrapFile ? opts.wrapFile(std::move(f)) : std::move(f); };
  std::unique_ptr<FileIO> file;
  if (!opts.readOnly) {
    file = openFile(path, false);
    if (file->readOnly()) {
      db->readOnlyReason_ = "the file is read-only";
    } else {
      std::string why;
      db->lock_ = WriterLock::tryAcquire(path, &why);
      if (!db->lock_) {
        db->readOnlyReason_ = why;
        file = openFile(path, true);
      }
    }
  }
  // A journal left by a change that never finished is rolled back first;
  // that needs write access even when only reading was asked for.
  if (journal->openExisting()) {
    if (!db->lock_) {
      std::string why;
      auto lk = WriterLock::tryAcquire(path, &why);
      if (!lk)
        throw Error(err::kAlreadyInUse,
                    "The database is being changed by another program (" + why + ").");
      auto rw = wrap(openFile(path, false));
      db->recovered_ = recoverJournal(*journal, *rw);
    } else {
      auto rw = wrap(openFile(path, false));
      db->recovered_ = recoverJournal(*journal, *rw);
    }
  }
  if (!file) file = openFile(path, true);
  file = wrap(std::move(file));
  db->init(std::move(file), opts);
  db->pager_->setJournal(std::move(journal));
  return db;
}

std::unique_ptr<Database> Database::open(std::unique_ptr<FileIO> file, const OpenOptions& opts) {
  std::unique_ptr<Database> db(new Database());
  db->path_ = file->path();
  std::shared_ptr<JournalStore> journal = opts.journal;
  if (!journal) journal = memoryJournal(opts.wrapFile);
  if (opts.wrapFile) file = opts.wrapFile(std::move(file));
  if (!file->readOnly()) db->recovered_ = recoverJournal(*journal, *file);
  if (file->readOnly()) db->readOnlyReason_ = "the file is read-only";
  db->init(std::move(file), opts);
  db->pager_->setJournal(std::move(journal));
  return db;
}

bool Database::readOnly() const { return pager_->readOnly(); }

void Database::requireWritable() const {
  if (readOnly())
    throw Error(err::kReadOnlyRecordset,
                "Cannot update. Database or object is read-only" +
                    (readOnlyReason_.empty() ? std::string(".") : " (" + readOnlyReason_ + ")."));
}

void Database::beginChange() {
  requireWritable();
  if (failed_)
    throw Error(err::kNoChange,
                "The change under way was rolled back after an error; end it before making another.");
  if (changeDepth_ == 0) pager_->beginChange();
  ++changeDepth_;
}

void Database::commitChange() {
  if (changeDepth_ == 0) return;
  if (failed_) {
    if (--changeDepth_ == 0) failed_ = false;
    throw Error(err::kNoChange, "The change was rolled back after an error and cannot be committed.");
  }
  if (--changeDepth_ > 0) return;
  try {
    pager_->commitChange();
  } catch (...) {
    // The pager put the file back as it was (or, when it could not, refuses
    // all further work): the change is rolled back.
    ++rollbacks_;
    tdefs_.clear();
    if (!pager_->broken()) {
      try {
        loadCatalog();
      } catch (...) {
        pager_->markBroken();
      }
    }
    throw;
  }
}

void Database::rollbackChange() {
  if (changeDepth_ == 0) return;
  // A rollback inside a larger change ends all of it: what the enclosing
  // levels did is gone too, so they may only end (their commit throws 3034,
  // new changes are refused) until the outermost level is left.
  const bool already = failed_;
  failed_ = --changeDepth_ > 0;
  if (already) return;
  ++rollbacks_;
  // Definitions and the catalogue may have been read from pages of the
  // change: read them again. A rollback that cannot finish leaves nothing
  // trustworthy: the pager refuses all work until the database is reopened.
  try {
    pager_->rollbackChange();
    tdefs_.clear();
    loadCatalog();
  } catch (const std::exception& e) {
    pager_->markBroken();
    tdefs_.clear();
    throw Error(err::kIoError, std::string("The change could not be rolled back (") + e.what() +
                                   "); close the database and open it again to restore it.");
  }
}

void Database::init(std::unique_ptr<FileIO> file, const OpenOptions& opts) {
  const std::string unrecognized =
      "Unrecognized database format '" + (path_.empty() ? std::string("(memory)") : path_) + "'.";
  uint64_t size = file->size();
  if (size < 0x100) throw Error(err::kUnrecognizedFormat, unrecognized);
  std::vector<uint8_t> head(0x100);
  file->readAt(0, head.data(), head.size());
  static const char* kJet = "Standard Jet DB";
  static const char* kAce = "Standard ACE DB";
  if (!(head[0] == 0 && head[1] == 1 && head[2] == 0 && head[3] == 0) ||
      (std::memcmp(head.data() + 4, kJet, 15) != 0 && std::memcmp(head.data() + 4, kAce, 15) != 0))
    throw Error(err::kUnrecognizedFormat, unrecognized);
  uint32_t code = head[0x14] | (head[0x15] << 8) | (head[0x16] << 16) | (uint32_t(head[0x17]) << 24);
  Version v;
  if (!versionFromCode(code, v)) throw Error(err::kUnrecognizedFormat, unrecognized);
  fmt_ = &formatFor(v);
  if (size < uint64_t(fmt_->pageSize) * 3)
    throw Error(err::kCorrupt, "The database file is damaged: it is shorter than its first pages.");
  std::vector<uint8_t> page0(fmt_->pageSize);
  file->readAt(0, page0.data(), page0.size());
  header_.versionCode = code;
  header_.version = v;
  readHeader(page0, opts);

  // An .accdb with a database key carries the document encryption block in
  // its header page: the password is checked against it before any page is
  // decoded.
  const bool office = fmt_->ace && header_.encrypted;
  std::unique_ptr<PageCodec> codec = office ? officeCodec(page0, header_.dbKey, opts.password)
                                     : header_.encrypted ? rc4Codec(header_.dbKey)
                                                         : plainCodec();
  // Writers keep more pages: index maintenance revisits pages all over the
  // file.
  const size_t cachePages = opts.cachePages ? opts.cachePages : file->readOnly() ? 4096 : 16384;
  pager_ = std::make_unique<Pager>(std::move(file), *fmt_, std::move(codec), cachePages);

  // The catalogue's definition must be on page 2. If it is not, the pages are
  // encoded in a way we cannot read.
  PageRef p2 = pager_->page(2);
  if ((*p2)[0] != 0x02) {
    if (fmt_->ace && opts.checkPassword && opts.password.empty())
      throw Error(err::kBadPassword, "Not a valid password.");
    if (fmt_->ace)
      throw Error(err::kNotSupported,
                  "This .accdb file is encrypted with a method that is not supported yet.");
    corrupt("the system catalogue is missing");
  }
  if (!office && opts.checkPassword && !header_.password.empty() && header_.password != opts.password)
    throw Error(err::kBadPassword, "Not a valid password.");
  loadCatalog();
}

void Database::readHeader(const std::vector<uint8_t>& raw, const OpenOptions& /*opts*/) {
  std::vector<uint8_t> h = raw;
  rc4(kHeaderKey, 4, h.data() + 0x18, fmt_->headerCryptLen);
  ByteView b(h.data(), h.size());
  header_.codePage = b.u16(0x3C);
  std::memcpy(header_.dbKey, h.data() + 0x3E, 4);
  if (fmt_->jet3) {
    header_.sortOrder = b.u16(0x3A);
  } else {
    header_.sortOrder = b.u16(0x6E);
    header_.sortVersion = b.u8(fmt_->offSortOrder + 3);  // as a column's: id, 00, version
    header_.creationDate = b.f64(0x72);
  }
  header_.encrypted = !isZero(header_.dbKey, 4);

  // The stored password; Jet 4 and later mask it further with the creation
  // date's bytes.
  std::vector<uint8_t> pwd(h.begin() + 0x42, h.begin() + 0x42 + fmt_->passwordLen);
  if (!fmt_->jet3) {
    uint8_t mask[4];
    int32_t m = static_cast<int32_t>(header_.creationDate);
    std::memcpy(mask, &m, 4);
    for (size_t i = 0; i < pwd.size(); ++i) pwd[i] ^= mask[i % 4];
  }
  std::u16string pw;
  if (fmt_->jet3) {
    for (uint8_t c : pwd) {
      if (!c) break;
      pw.push_back(c);
    }
  } else {
    for (size_t i = 0; i + 1 < pwd.size(); i += 2) {
      char16_t c = static_cast<char16_t>(pwd[i] | (pwd[i + 1] << 8));
      if (!c) break;
      pw.push_back(c);
    }
  }
  header_.password = utf16ToUtf8(pw);
}

std::shared_ptr<const TableDef> Database::tableAtPage(uint32_t tdefPage, const std::string& name) {
  auto it = tdefs_.find(tdefPage);
  if (it != tdefs_.end()) return it->second;
  std::vector<uint8_t> bytes;
  std::set<uint32_t> seen;
  uint32_t pg = tdefPage;
  while (pg != 0) {
    if (!seen.insert(pg).second) corrupt("table definition pages form a loop");
    PageRef p = pager_->page(pg);
    ByteView b = view(p);
    if (b.u8(0) != 0x02) corrupt("table '" + name + "' has no definition page");
    if (bytes.empty())
      bytes.assign(p->begin(), p->end());
    else
      bytes.insert(bytes.end(), p->begin() + 8, p->end());
    pg = b.u32(4);
    if (seen.size() > 256) corrupt("a table definition is impossibly long");
  }
  auto def = std::make_shared<TableDef>(parseTableDef(bytes, *fmt_, header_.codePage));
  std::stable_sort(def->indexes.begin(), def->indexes.end(),
                   [](const Index& a, const Index& b) { return a.number < b.number; });
  def->page = tdefPage;
  def->name = name;
  // Column properties (Required) live in the catalogue row's property blob.
  for (const auto& e : objects_) {
    if (e.tdefPage == tdefPage && e.isTable()) {
      if (!e.lvProp.empty()) {
        try {
          PropertyMaps pm = parseProperties(e.lvProp, *this);
          for (auto& c : def->columns) {
            auto cit = pm.columns.find(upperName(c.name));
            if (cit == pm.columns.end()) continue;
            if (c.calculated()) {
              auto tit = cit->second.find("RESULTTYPE");
              if (tit != cit->second.end() && !tit->second.raw.empty()) {
                c.calcResultRaw = static_cast<uint8_t>(tit->second.raw[0]);
                c.type = dataTypeOf(c.calcResultRaw);
              }
              auto eit = cit->second.find("EXPRESSION");
              if (eit != cit->second.end() && !eit->second.raw.empty()) {
                const auto& raw = eit->second.raw;
                c.calcExpression = decodeUcs2TextUtf8(
                    ByteView(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()));
              }
            }
            auto rit = cit->second.find("REQUIRED");
            if (rit != cit->second.end()) {
              c.hasRequiredProp = true;
              c.requiredProp = !rit->second.raw.empty() && rit->second.raw[0] != 0;
            }
          }
        } catch (const Error&) {
          // Damaged properties do not make the table unreadable.
        }
      }
      break;
    }
  }
  tdefs_[tdefPage] = def;
  return def;
}

void Database::invalidateTable(uint32_t tdefPage) { tdefs_.erase(tdefPage); }

void Database::setCachedTableCounts(uint32_t tdefPage, uint32_t rowCount, uint32_t nextAutoNumber) {
  auto it = tdefs_.find(tdefPage);
  if (it == tdefs_.end()) return;
  // The cache made these objects; only their holders see them as const.
  auto* def = const_cast<TableDef*>(it->second.get());
  def->rowCount = rowCount;
  def->nextAutoNumber = nextAutoNumber;
}

void Database::loadCatalog() {
  // Built aside: a load that fails part way leaves the entries as they were.
  std::vector<CatalogEntry> loaded;
  tdefs_.clear();
  std::vector<CatalogEntry> previous;
  previous.swap(objects_);  // the catalogue's own definition loads without entries
  std::shared_ptr<const TableDef> def;
  try {
    def = tableAtPage(2, "MSysObjects");
  } catch (...) {
    objects_.swap(previous);
    throw;
  }
  objects_.swap(previous);
  int cId = def->findColumn("Id"), cParent = def->findColumn("ParentId"),
      cName = def->findColumn("Name"), cType = def->findColumn("Type"),
      cFlags = def->findColumn("Flags"), cProp = def->findColumn("LvProp"),
      cDb = def->findColumn("Database"), cForeign = def->findColumn("ForeignName"),
      cConnect = def->findColumn("Connect");
  if (cId < 0 || cName < 0 || cType < 0 || cParent < 0)
    corrupt("the system catalogue lacks its key columns");
  TableScan scan(*this, def);
  while (scan.next()) {
    CatalogEntry e;
    e.rowId = scan.rowId();
    e.id = static_cast<int32_t>(scan.value(cId).asInt());
    e.parentId = static_cast<int32_t>(scan.value(cParent).asInt());
    e.name = scan.value(cName).bytes();
    e.type = static_cast<int16_t>(scan.value(cType).asInt());
    if (cFlags >= 0) e.flags = static_cast<int32_t>(scan.value(cFlags).asInt());
    if (cProp >= 0) e.lvProp = scan.value(cProp).bytes();
    if (cDb >= 0) e.database = scan.value(cDb).bytes();
    if (cForeign >= 0) e.foreignName = scan.value(cForeign).bytes();
    if (cConnect >= 0) e.connect = scan.value(cConnect).bytes();
    loaded.push_back(std::move(e));
  }
  int32_t tablesParent = 0;
  for (const auto& e : loaded)
    if (e.parentId == kDatabasesParentId && e.name == "Tables") tablesParent = e.id;
  for (auto& e : loaded) {
    if (e.parentId != tablesParent || tablesParent == 0) continue;
    switch (e.type) {
      case kTypeTable:
        e.kind = (static_cast<uint32_t>(e.flags) & kSystemFlags) ? ObjectKind::SystemTable
                                                                   : ObjectKind::Table;
        e.tdefPage = static_cast<uint32_t>(e.id) & 0x00FFFFFF;
        break;
      case kTypeQuery: e.kind = ObjectKind::Query; break;
      case kTypeLinked: e.kind = ObjectKind::LinkedTable; break;
      case kTypeLinkedOdbc: e.kind = ObjectKind::LinkedOdbc; break;
      default: break;
    }
  }
  objects_ = std::move(loaded);
  tablesParentId_ = tablesParent;
  // The catalogue's own definition was cached under a placeholder entry list;
  // keep it, other definitions load on demand.
}

void Database::reloadCatalog() {
  // Inside a change its pages (and the file's size as it has grown) are
  // what counts: only the catalogue is read again.
  if (changeDepth_ == 0) {
    pager_->dropCache();
    pager_->refreshSize();
  }
  loadCatalog();
}

std::vector<const CatalogEntry*> Database::tables(bool includeSystem) const {
  std::vector<const CatalogEntry*> out;
  for (const auto& e : objects_) {
    if (e.kind == ObjectKind::Table || e.kind == ObjectKind::LinkedTable ||
        e.kind == ObjectKind::LinkedOdbc || (includeSystem && e.kind == ObjectKind::SystemTable))
      out.push_back(&e);
  }
  std::stable_sort(out.begin(), out.end(), [](const CatalogEntry* a, const CatalogEntry* b) {
    return lessNoCase(a->name, b->name);
  });
  return out;
}

std::vector<const CatalogEntry*> Database::queryEntries() const {
  std::vector<const CatalogEntry*> out;
  for (const auto& e : objects_)
    if (e.kind == ObjectKind::Query) out.push_back(&e);
  return out;
}

const CatalogEntry* Database::find(const std::string& name) const {
  for (const auto& e : objects_)
    if (e.kind != ObjectKind::Other && equalsNoCase(e.name, name)) return &e;
  return nullptr;
}

std::shared_ptr<const TableDef> Database::table(const CatalogEntry& e) {
  if (!e.isTable())
    throw Error(err::kNoSuchObject, "'" + e.name + "' is not a table in this database.");
  return tableAtPage(e.tdefPage, e.name);
}

std::shared_ptr<const TableDef> Database::table(const std::string& name) {
  const CatalogEntry* e = find(name);
  if (!e || !e->isTable())
    throw Error(err::kNoSuchObject,
                "The database engine cannot find the input table or query '" + name +
                    "'. Make sure it exists and that its name is spelled correctly.");
  return table(*e);
}

std::unique_ptr<TableScan> Database::scan(const std::string& tableName) {
  return std::make_unique<TableScan>(*this, table(tableName));
}

std::string Database::decodeText(ByteView bytes) const {
  if (fmt_->jet3) return utf16ToUtf8(decodeCodePageText(bytes, header_.codePage));
  return decodeUcs2TextUtf8(bytes);
}

std::string Database::readLongValue(ByteView f) {
  if (f.size < 12) corrupt("a long-value field is truncated");
  uint32_t word = f.u32(0);
  uint32_t len = word & 0x3FFFFFFF;
  uint32_t kind = word & 0xC0000000;
  if (kind == 0x80000000) {
    if (12 + size_t(len) > f.size) corrupt("an inline long value is longer than its row");
    return f.str(12, len);
  }
  RowId id = RowId::unpack(f.u32(4));
  TableDef anyTable;  // long-value rows belong to no table definition check
  std::string out;
  if (kind == 0x40000000) {
    PageRef holder;
    ByteView row;
    if (!readRow(*pager_, anyTable, id, holder, row)) corrupt("a long value's page is missing");
    return row.str(0, std::min<size_t>(len, row.size));
  }
  // A chain of long-value rows, each starting with the pointer to the next.
  std::set<uint32_t> seen;
  while (out.size() < len) {
    if (!id.valid()) break;
    if (!seen.insert(id.packed()).second) corrupt("a long value's page chain loops");
    PageRef holder;
    ByteView row;
    if (!readRow(*pager_, anyTable, id, holder, row)) corrupt("a long value's page is missing");
    if (row.size < 4) corrupt("a long-value row is truncated");
    uint32_t next = row.u32(0);
    size_t take = std::min<size_t>(row.size - 4, len - out.size());
    out.append(reinterpret_cast<const char*>(row.data + 4), take);
    id = RowId::unpack(next);
  }
  if (out.size() < len) corrupt("a long value's page chain ends early");
  return out;
}

PropertyMaps parseProperties(const std::string& blob, const Database& db) {
  PropertyMaps pm;
  ByteView b(reinterpret_cast<const uint8_t*>(blob.data()), blob.size());
  if (b.size < 4) return pm;
  if (!(std::memcmp(b.data, "MR2", 3) == 0 || std::memcmp(b.data, "KKD", 3) == 0)) return pm;
  const bool jet3 = db.format().jet3;
  auto decodeName = [&](ByteView raw) { return db.decodeText(raw); };
  std::vector<std::string> names;
  size_t pos = 4;
  while (pos + 6 <= b.size) {
    uint32_t len = b.u32(pos);
    uint16_t type = b.u16(pos + 4);
    if (len < 6 || pos + len > b.size) break;
    ByteView chunk = b.sub(pos, len);
    if (type == 0x80) {
      size_t p = 6;
      while (p + 2 <= chunk.size) {
        uint16_t n = chunk.u16(p);
        p += 2;
        names.push_back(upperName(decodeName(chunk.sub(p, n))));
        p += n;
      }
    } else if (type <= 0x02) {
      uint32_t hdrLen = chunk.u32(6);
      uint16_t nameLen = chunk.u16(10);
      std::string owner = upperName(decodeName(chunk.sub(12, nameLen)));
      auto& target = owner.empty() ? pm.object : pm.columns[owner];
      size_t p = 6 + hdrLen;
      while (p + 8 <= chunk.size) {
        uint16_t elen = chunk.u16(p);
        if (elen < 8 || p + elen > chunk.size) break;
        uint8_t vtype = chunk.u8(p + 3);
        uint16_t nameIdx = chunk.u16(p + 4);
        uint16_t vlen = chunk.u16(p + 6);
        if (8 + size_t(vlen) <= elen && nameIdx < names.size()) {
          PropertyValue v;
          v.type = vtype;
          v.raw = chunk.str(p + 8, vlen);
          target[names[nameIdx]] = std::move(v);
        }
        p += elen;
      }
      (void)jet3;
    }
    pos += len;
  }
  return pm;
}

std::optional<std::string> Database::databaseProperty(const std::string& name) {
  for (const auto& e : objects_) {
    if (e.name == "MSysDb" && e.type == 2) {
      PropertyMaps pm = parseProperties(e.lvProp, *this);
      auto it = pm.object.find(upperName(name));
      if (it == pm.object.end()) return std::nullopt;
      const auto& raw = it->second.raw;
      if (it->second.type == 10 || it->second.type == 12)
        return decodeText(ByteView(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()));
      return raw;
    }
  }
  return std::nullopt;
}

std::string Database::formatName() {
  switch (header_.version) {
    case Version::Jet3: return "V1997 [VERSION_3]";
    case Version::Ace12: return "V2007 [VERSION_12]";
    case Version::Ace14: return "V2010 [VERSION_14]";
    case Version::Ace16: return "V2016 [VERSION_16]";
    case Version::Ace17: return "V2019 [VERSION_17]";
    case Version::Jet4: break;
  }
  auto v = databaseProperty("AccessVersion");
  if (v && *v == "08.50") return "V2000 [VERSION_4]";
  if (v && *v == "09.50") return "V2003 [VERSION_4]";
  return "GENERIC_JET4 [VERSION_4]";
}

}  // namespace jet
