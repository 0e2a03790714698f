#include "jet/journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "jet/bytes.h"
#include "jet/error.h"

namespace jet {
namespace {

// Version 2 sums records eight bytes at a time; version 1 journals (byte by
// byte FNV-1a) are still rolled back.
constexpr char kMagic[8] = {'G', 'L', 'M', 'R', 'J', 'N', 'L', '2'};
constexpr char kMagicV1[8] = {'G', 'L', 'M', 'R', 'J', 'N', 'L', '1'};
constexpr size_t kHeaderSize = 32;
constexpr uint64_t kFnvStart = 0xcbf29ce484222325ULL;
constexpr uint64_t kFnvPrime = 0x100000001b3ULL;

uint64_t fnv(uint64_t h, const uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= kFnvPrime;
  }
  return h;
}

// Records are whole multiples of eight bytes (8 + page size).
uint64_t wordSum(uint64_t h, const uint8_t* p, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = (h ^ w) * kFnvPrime;
    h ^= h >> 32;
  }
  return fnv(h, p + i, n - i);
}

void syncDirOf(const std::string& path) {
  auto slash = path.rfind('/');
  std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  int fd = ::open(dir.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    (void)::fsync(fd);
    ::close(fd);
  }
}

class FileJournal : public JournalStore {
 public:
  FileJournal(std::string dbPath, FileWrapper wrap)
      : path_(journalPathFor(dbPath)), wrap_(std::move(wrap)) {}
  std::unique_ptr<FileIO> create() override {
    auto f = createFile(path_);
    syncDirOf(path_);
    return wrap_ ? wrap_(std::move(f)) : std::move(f);
  }
  std::unique_ptr<FileIO> openExisting() override {
    if (!fileExists(path_)) return nullptr;
    auto f = openFile(path_, false);
    return wrap_ ? wrap_(std::move(f)) : std::move(f);
  }
  void remove() override {
    removeFile(path_);
    syncDirOf(path_);
  }
  std::string describe() const override { return path_; }

 private:
  std::string path_;
  FileWrapper wrap_;
};

// A memory file whose bytes live in a shared buffer, so that the journal
// store can hand out several FileIO objects over one journal.
class SharedMemFile : public FileIO {
 public:
  explicit SharedMemFile(std::shared_ptr<std::vector<uint8_t>> b) : b_(std::move(b)) {}
  uint64_t size() const override { return b_->size(); }
  void readAt(uint64_t off, uint8_t* buf, size_t n) override {
    if (off > b_->size() || n > b_->size() - off) throw Error(err::kIoError, "Journal read past its end.");
    std::memcpy(buf, b_->data() + off, n);
  }
  void writeAt(uint64_t off, const uint8_t* buf, size_t n) override {
    if (off + n > b_->size()) b_->resize(off + n);
    std::memcpy(b_->data() + off, buf, n);
  }
  void truncate(uint64_t sz) override { b_->resize(sz); }
  void sync() override {}
  bool readOnly() const override { return false; }

 private:
  std::shared_ptr<std::vector<uint8_t>> b_;
};

class MemJournal : public JournalStore {
 public:
  explicit MemJournal(FileWrapper wrap) : wrap_(std::move(wrap)) {}
  std::unique_ptr<FileIO> create() override {
    buf_ = std::make_shared<std::vector<uint8_t>>();
    return wrapped();
  }
  std::unique_ptr<FileIO> openExisting() override { return buf_ ? wrapped() : nullptr; }
  void remove() override { buf_.reset(); }
  std::string describe() const override { return "(memory journal)"; }

 private:
  std::unique_ptr<FileIO> wrapped() {
    std::unique_ptr<FileIO> f = std::make_unique<SharedMemFile>(buf_);
    return wrap_ ? wrap_(std::move(f)) : std::move(f);
  }
  std::shared_ptr<std::vector<uint8_t>> buf_;
  FileWrapper wrap_;
};

}  // namespace

std::string journalPathFor(const std::string& dbPath) { return dbPath + "-journal"; }

std::unique_ptr<JournalStore> fileJournal(const std::string& dbPath, FileWrapper wrap) {
  return std::make_unique<FileJournal>(dbPath, std::move(wrap));
}

std::unique_ptr<JournalStore> memoryJournal(FileWrapper wrap) {
  return std::make_unique<MemJournal>(std::move(wrap));
}

void writeJournal(JournalStore& store, uint32_t pageSize, uint32_t origPageCount,
                  const std::vector<uint32_t>& pages, const StoredPageFn& storedPage) {
  auto j = store.create();
  // Records go first, the header last: until the header is written the
  // journal is not valid, and the database is not touched before the sync.
  const size_t recSize = 8 + size_t(pageSize);
  uint64_t sum = kFnvStart;
  uint64_t off = kHeaderSize;
  // Several records per write keeps system calls down on big changes.
  const size_t batchRecords = 64;
  std::vector<uint8_t> batch(batchRecords * recSize);
  size_t inBatch = 0;
  auto flush = [&] {
    if (!inBatch) return;
    j->writeAt(off, batch.data(), inBatch * recSize);
    off += inBatch * recSize;
    inBatch = 0;
  };
  for (uint32_t pg : pages) {
    uint8_t* rec = batch.data() + inBatch * recSize;
    put32(rec, pg);
    put32(rec + 4, 0);
    storedPage(pg, rec + 8);
    sum = wordSum(sum, rec, recSize);
    if (++inBatch == batchRecords) flush();
  }
  flush();
  uint8_t h[kHeaderSize] = {};
  std::memcpy(h, kMagic, 8);
  put32(h + 8, pageSize);
  put32(h + 12, origPageCount);
  put32(h + 16, static_cast<uint32_t>(pages.size()));
  put64(h + 24, sum);
  j->writeAt(0, h, kHeaderSize);
  j->sync();
}

bool recoverJournal(JournalStore& store, FileIO& db) {
  auto j = store.openExisting();
  if (!j) return false;
  uint64_t size = j->size();
  bool valid = false;
  uint32_t pageSize = 0, origCount = 0, n = 0;
  if (size >= kHeaderSize) {
    uint8_t h[kHeaderSize];
    j->readAt(0, h, kHeaderSize);
    ByteView hv(h, kHeaderSize);
    pageSize = hv.u32(8);
    origCount = hv.u32(12);
    n = hv.u32(16);
    uint64_t sum = hv.u64(24);
    const bool v2 = std::memcmp(h, kMagic, 8) == 0;
    const bool v1 = std::memcmp(h, kMagicV1, 8) == 0;
    if ((v1 || v2) && (pageSize == 2048 || pageSize == 4096) &&
        size >= kHeaderSize + uint64_t(n) * (8 + pageSize)) {
      std::vector<uint8_t> rec(8 + pageSize);
      uint64_t s = kFnvStart;
      for (uint32_t i = 0; i < n; ++i) {
        j->readAt(kHeaderSize + uint64_t(i) * rec.size(), rec.data(), rec.size());
        s = v2 ? wordSum(s, rec.data(), rec.size()) : fnv(s, rec.data(), rec.size());
      }
      valid = s == sum;
    }
  }
  if (!valid) {
    // Never completed: the database was not touched.
    j.reset();
    store.remove();
    return false;
  }
  if (db.readOnly())
    throw Error(err::kCannotOpenFile,
                "The database was left in the middle of a change and must be opened with write "
                "access once to roll the change back.");
  std::vector<uint8_t> rec(8 + pageSize);
  for (uint32_t i = 0; i < n; ++i) {
    j->readAt(kHeaderSize + uint64_t(i) * rec.size(), rec.data(), rec.size());
    uint32_t pg = ByteView(rec.data(), rec.size()).u32(0);
    db.writeAt(uint64_t(pg) * pageSize, rec.data() + 8, pageSize);
  }
  if (db.size() > uint64_t(origCount) * pageSize) db.truncate(uint64_t(origCount) * pageSize);
  db.sync();
  j.reset();
  store.remove();
  return true;
}

}  // namespace jet
