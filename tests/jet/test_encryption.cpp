// Encrypted .accdb files: the product's own files in the agile and RC4
// CryptoAPI schemes, and copies of a plain file we encrypt ourselves in each
// of the three schemes (read, write, journal rollback). Wrong passwords and
// damaged encryption headers must give numbered errors before any page is
// decoded, never a crash.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "jet/database.h"
#include "jet/dump.h"
#include "jet/encryption.h"
#include "jet/error.h"
#include "jet/fault_file.h"
#include "jet/table_writer.h"
#include "support/test_support.h"

using jet::Value;

namespace {

std::vector<uint8_t> bytesOf(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

jet::OpenOptions withPassword(const std::string& pw, bool readOnly = false) {
  jet::OpenOptions o;
  o.password = pw;
  o.readOnly = readOnly;
  return o;
}

int openError(const std::vector<uint8_t>& bytes, const std::string& pw) {
  try {
    jet::OpenOptions o = withPassword(pw, true);
    auto db = jet::Database::open(jet::memoryFile(bytes, true), o);
    for (const auto* t : db->tables(false)) {
      if (!t->tdefPage) continue;
      auto s = db->scan(t->name);
      while (s->next()) s->values();
    }
    return 0;
  } catch (const jet::Error& e) {
    return e.number();
  }
}

// Every user table's rows, dumped, in file order.
std::string contents(jet::Database& db) {
  std::string out;
  for (const auto* t : db.tables(false)) {
    if (!t->tdefPage) continue;
    out += "[" + t->name + "]\n";
    auto s = db.scan(t->name);
    while (s->next()) {
      for (const auto& v : s->values()) out += jet::dumpCell(v) + "\t";
      out += "\n";
    }
  }
  return out;
}

std::string contentsOf(const std::string& path, const std::string& pw) {
  auto db = jet::Database::open(path, withPassword(pw, true));
  return contents(*db);
}

struct Scheme {
  jet::OfficeScheme scheme;
  const char* name;
};
const Scheme kSchemes[] = {{jet::OfficeScheme::Rc4CryptoApi, "rc4"},
                           {jet::OfficeScheme::StandardAes, "standard"},
                           {jet::OfficeScheme::Agile, "agile"}};

// A fresh encrypted copy of the plain fixture testV2010.accdb.
std::string encryptedCopy(jet::OfficeScheme scheme, const std::string& pw = "s3cret Pässword") {
  std::string path = testsupport::copyToTemp(testsupport::fixture("ace/testV2010.accdb"));
  jet::encryptAccdbFile(path, pw, scheme);
  return path;
}

}  // namespace

TEST(Encryption, ProductFilesOpenOnlyWithTheirPassword) {
  SKIP_WITHOUT_SHARED();
  for (const char* rel : {"ace/V2010_with-password.accdb", "ace/standardEncryption_with-password.accdb"}) {
    SCOPED_TRACE(rel);
    auto bytes = bytesOf(testsupport::fixture(rel));
    EXPECT_EQ(openError(bytes, ""), jet::err::kBadPassword);
    EXPECT_EQ(openError(bytes, "wrong"), jet::err::kBadPassword);
    EXPECT_EQ(openError(bytes, "Password"), jet::err::kBadPassword);
    EXPECT_EQ(openError(bytes, "password"), 0);
    auto db = jet::Database::open(testsupport::fixture(rel), withPassword("password", true));
    EXPECT_FALSE(db->tables(false).empty());
  }
  auto db = jet::Database::open(testsupport::fixture("ace/standardEncryption_with-password.accdb"),
                                withPassword("password", true));
  ASSERT_NE(db->find("Table1"), nullptr);
  auto s = db->scan("Table1");
  std::string got;
  while (s->next()) {
    for (const auto& v : s->values()) got += jet::dumpCell(v) + " ";
    got += "|";
  }
  EXPECT_EQ(got.substr(0, 24), "1 One |2 Two |3 Three |");
}

TEST(Encryption, OwnEncryptedCopiesReadLikeThePlainFile) {
  SKIP_WITHOUT_SHARED();
  const std::string plain = contentsOf(testsupport::fixture("ace/testV2010.accdb"), "");
  ASSERT_FALSE(plain.empty());
  for (const auto& s : kSchemes) {
    SCOPED_TRACE(s.name);
    std::string path = encryptedCopy(s.scheme);
    auto raw = bytesOf(path);
    auto orig = bytesOf(testsupport::fixture("ace/testV2010.accdb"));
    ASSERT_EQ(raw.size(), orig.size());
    // Page 2 (the catalogue's definition) no longer reads as plain text.
    EXPECT_FALSE(std::equal(raw.begin() + 2 * 4096, raw.begin() + 3 * 4096, orig.begin() + 2 * 4096));
    EXPECT_EQ(openError(raw, ""), jet::err::kBadPassword);
    EXPECT_EQ(openError(raw, "s3cret Password"), jet::err::kBadPassword);
    EXPECT_EQ(contentsOf(path, "s3cret Pässword"), plain);
  }
}

TEST(Encryption, WritesAreEncryptedAgainAndSurviveReopening) {
  SKIP_WITHOUT_SHARED();
  for (const auto& s : kSchemes) {
    SCOPED_TRACE(s.name);
    std::string path = encryptedCopy(s.scheme, "pw");
    std::string table;
    {
      auto db = jet::Database::open(path, withPassword("pw"));
      for (const auto* t : db->tables(false))
        if (t->tdefPage && db->table(*t)->columns.size() > 0) { table = t->name; break; }
      ASSERT_FALSE(table.empty());
    }
    std::string before = contentsOf(path, "pw");
    {
      auto db = jet::Database::open(path, withPassword("pw"));
      jet::TableWriter w(*db, table);
      jet::ChangeScope c(*db);
      // A copy of the first row, many times (index keys and long values
      // included), so pages are added and changed.
      auto scan = db->scan(table);
      ASSERT_TRUE(scan->next());
      auto id = scan->rowId();
      auto row = w.read(id);
      for (int i = 0; i < 5; ++i) w.update(id, row);
      c.commit();
    }
    // The file still reads only with the password, and reads the same.
    EXPECT_EQ(openError(bytesOf(path), "nope"), jet::err::kBadPassword);
    EXPECT_EQ(contentsOf(path, "pw"), before);
  }
}

TEST(Encryption, FailedCommitRestoresExactlyTheEncryptedBytes) {
  SKIP_WITHOUT_SHARED();
  for (const auto& s : kSchemes) {
    SCOPED_TRACE(s.name);
    std::string path = encryptedCopy(s.scheme, "pw");
    const auto stored = bytesOf(path);
    // Fail the second write: the journal is written, then a page of the
    // database fails; the rollback puts the stored bytes back.
    for (uint64_t failAt : {2u, 3u}) {
      auto plan = std::make_shared<jet::FaultPlan>();
      plan->failAtWrite = failAt;
      plan->tornWrite = true;
      jet::OpenOptions o = withPassword("pw");
      o.wrapFile = jet::faultWrapper(plan);
      auto db = jet::Database::open(path, o);
      std::string table;
      for (const auto* t : db->tables(false))
        if (t->tdefPage) { table = t->name; break; }
      jet::TableWriter w(*db, table);
      auto scan = db->scan(table);
      ASSERT_TRUE(scan->next());
      auto id = scan->rowId();
      auto row = w.read(id);
      plan->writes = 0;
      EXPECT_THROW(
          {
            jet::ChangeScope c(*db);
            w.update(id, row);
            c.commit();
          },
          jet::Error);
      db.reset();
      EXPECT_EQ(bytesOf(path), stored) << "failing write " << failAt;
    }
  }
}

namespace {

// The database file (not its journal) fails every write and truncation while
// *failing is set, so the rollback of a failed commit fails too.
class FailingDatabaseFile : public jet::FileIO {
 public:
  FailingDatabaseFile(std::unique_ptr<jet::FileIO> inner, std::shared_ptr<bool> failing)
      : inner_(std::move(inner)), failing_(std::move(failing)) {
    const std::string p = inner_->path();
    journal_ = p.size() >= 8 && p.compare(p.size() - 8, 8, "-journal") == 0;
  }
  uint64_t size() const override { return inner_->size(); }
  void readAt(uint64_t off, uint8_t* buf, size_t n) override { inner_->readAt(off, buf, n); }
  void writeAt(uint64_t off, const uint8_t* buf, size_t n) override {
    check();
    inner_->writeAt(off, buf, n);
  }
  void truncate(uint64_t size) override {
    check();
    inner_->truncate(size);
  }
  void sync() override { inner_->sync(); }
  bool readOnly() const override { return inner_->readOnly(); }
  std::string path() const override { return inner_->path(); }

 private:
  void check() const {
    if (*failing_ && !journal_) throw jet::Error(jet::err::kIoError, "Disk error (test).");
  }
  std::unique_ptr<jet::FileIO> inner_;
  std::shared_ptr<bool> failing_;
  bool journal_ = false;
};

}  // namespace

TEST(Encryption, APagerWhoseRollbackFailedRefusesWorkUntilReopened) {
  SKIP_WITHOUT_SHARED();
  for (bool encrypted : {false, true}) {
    SCOPED_TRACE(encrypted ? "encrypted" : "plain");
    std::string path = testsupport::copyToTemp(testsupport::fixture("ace/testV2010.accdb"));
    const std::string pw = encrypted ? "pw" : "";
    if (encrypted) jet::encryptAccdbFile(path, pw, jet::OfficeScheme::Agile);
    const std::string before = contentsOf(path, pw);
    auto failing = std::make_shared<bool>(false);
    jet::OpenOptions o = withPassword(pw);
    o.wrapFile = [failing](std::unique_ptr<jet::FileIO> f) -> std::unique_ptr<jet::FileIO> {
      return std::make_unique<FailingDatabaseFile>(std::move(f), failing);
    };
    {
      auto db = jet::Database::open(path, o);
      std::string table;
      for (const auto* t : db->tables(false))
        if (t->tdefPage) { table = t->name; break; }
      jet::TableWriter w(*db, table);
      auto scan = db->scan(table);
      ASSERT_TRUE(scan->next());
      auto id = scan->rowId();
      auto row = w.read(id);
      try {
        jet::ChangeScope c(*db);
        w.update(id, row);
        *failing = true;
        c.commit();
        ADD_FAILURE() << "the commit succeeded";
      } catch (const jet::Error& e) {
        EXPECT_EQ(e.number(), jet::err::kIoError) << e.what();
      }
      EXPECT_TRUE(db->pager().broken());
      try {
        db->pager().page(1);
        ADD_FAILURE() << "a pager whose rollback failed served a page";
      } catch (const jet::Error& e) {
        EXPECT_EQ(e.number(), jet::err::kIoError);
        EXPECT_NE(std::string(e.what()).find("open it again"), std::string::npos);
      }
      EXPECT_THROW(db->beginChange(), jet::Error);
      *failing = false;
      // Still refused: only reopening restores the file.
      EXPECT_THROW(db->pager().page(1), jet::Error);
    }
    // Reopening rolls the journal back: the state before the change.
    auto db = jet::Database::open(path, withPassword(pw));
    EXPECT_TRUE(db->recoveredOnOpen());
    EXPECT_EQ(contents(*db), before);
  }
}

TEST(Encryption, DamagedEncryptionHeadersGiveNumberedErrors) {
  SKIP_WITHOUT_SHARED();
  std::vector<std::vector<uint8_t>> files = {
      bytesOf(testsupport::fixture("ace/V2010_with-password.accdb")),
      bytesOf(testsupport::fixture("ace/standardEncryption_with-password.accdb"))};
  for (const auto& s : kSchemes) files.push_back(bytesOf(encryptedCopy(s.scheme, "password")));
  const std::vector<int> allowed = {jet::err::kBadPassword, jet::err::kCorrupt, jet::err::kNotSupported};
  for (size_t fi = 0; fi < files.size(); ++fi) {
    SCOPED_TRACE("file " + std::to_string(fi));
    const auto& good = files[fi];
    ASSERT_EQ(openError(good, "password"), 0);
    const size_t len = good[jet::kCryptInfoOffset] | (good[jet::kCryptInfoOffset + 1] << 8);
    // Lengths that are too short, too long, or cut the block.
    for (size_t l : {size_t(0), size_t(1), size_t(7), size_t(8), len / 2, len - 1, size_t(0x1000), size_t(0xFFFF)}) {
      auto bad = good;
      bad[jet::kCryptInfoOffset] = uint8_t(l);
      bad[jet::kCryptInfoOffset + 1] = uint8_t(l >> 8);
      int n = openError(bad, "password");
      if (l == 0) {
        EXPECT_NE(n, 0);  // a database key but no block: refused
      } else {
        EXPECT_TRUE(std::count(allowed.begin(), allowed.end(), n)) << "length " << l << ": " << n;
      }
    }
    // Binary parameters whose header size runs past the block.
    const size_t info = jet::kCryptInfoOffset + 2;
    if (good[info + 2] == 2) {
      for (uint32_t hs : {uint32_t(len - 12), uint32_t(len), uint32_t(0xFFFFFFF0)}) {
        auto bad = good;
        for (int k = 0; k < 4; ++k) bad[info + 8 + k] = uint8_t(hs >> (8 * k));
        int n = openError(bad, "password");
        EXPECT_TRUE(std::count(allowed.begin(), allowed.end(), n)) << "header size " << hs << ": " << n;
      }
    }
    // Each byte of the block changed in turn (every 3rd for the long XML).
    const size_t step = len > 400 ? 7 : 1;
    for (size_t i = 0; i < len; i += step) {
      auto bad = good;
      bad[jet::kCryptInfoOffset + 2 + i] ^= 0x5A;
      int n = openError(bad, "password");
      EXPECT_TRUE(n == 0 || std::count(allowed.begin(), allowed.end(), n)) << "byte " << i << ": " << n;
    }
  }
}
