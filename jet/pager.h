// The pager: the only user of the database file. It hands out decoded pages
// from a bounded cache. Pages are immutable once handed out (PageRef keeps a
// page alive while a reader holds it); the write path replaces a page's buffer
// through beginWrite()/commit rather than changing a shared one.
//
// Contract: page(n) throws jet::Error(3049) for a page number outside the
// file; it never returns a partial page. Pages of encrypted files are
// decoded by the codec on the way in and encoded on the way out, so the
// journal holds the bytes exactly as stored.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "jet/bytes.h"
#include "jet/codec.h"
#include "jet/file_io.h"
#include "jet/format.h"
#include "jet/journal.h"
#include "jet/page_memory.h"

namespace jet {

// A page's bytes; the memory comes from page regions (see page_memory.h).
using PageBuf = std::vector<uint8_t, PageAllocator<uint8_t>>;
using PageRef = std::shared_ptr<const PageBuf>;

inline ByteView view(const PageRef& p) { return ByteView(p->data(), p->size()); }

class Pager {
 public:
  Pager(std::unique_ptr<FileIO> file, const Format& fmt, std::unique_ptr<PageCodec> codec,
        size_t cachePages = 4096);

  const Format& format() const { return *fmt_; }
  uint32_t pageSize() const { return fmt_->pageSize; }
  uint32_t pageCount() const { return pageCount_; }
  // The file cannot be written (opened read-only, or read-only on disk).
  bool readOnly() const { return file_->readOnly(); }

  PageRef page(uint32_t pgno);
  // The cached, committed bytes of a page (pageSize() of them), without
  // counting a use: one load. Null when the page is not in the cache or a
  // change under way holds it. For hints such as prefetching only: the
  // pointer is valid until the cache changes.
  const uint8_t* peek(uint32_t pgno) const { return pgno < peekAt_.size() ? peekAt_[pgno] : nullptr; }
  // Hints for reading pages whose numbers are known ahead: asks the
  // processor for the cache's entry of the page (what peek() and page()
  // look at first), or, once that is near, for what page() touches to hand
  // the page out (its holder's use count and the page's first bytes).
  // They read nothing that is not cached and change nothing.
  // holder false: for a reader that peeks and takes no use count, only the
  // entry peek() reads is asked for, not the slot that holds the page.
  void prefetchEntry(uint32_t pgno, bool holder = true) const {
    if (pgno >= slots_.size()) return;
    __builtin_prefetch(&peekAt_[pgno]);
    if (holder) __builtin_prefetch(&slots_[pgno]);
  }
  void prefetchPage(uint32_t pgno) const {
    if (pgno >= slots_.size()) return;
    const uint8_t* d = peekAt_[pgno];
    if (!d) return;
    // the holder's use count sits just before the vector (one allocation)
    __builtin_prefetch(reinterpret_cast<const char*>(slots_[pgno].ref.get()) - 8);
    __builtin_prefetch(d);
  }

  // For scans that look at many pages once (the table scan's address mode):
  // reads count consecutive pages from first into out (decoded), straight
  // from the file and without putting them into the cache. Stops early at
  // the end of the file. False, with nothing read, while a change is under
  // way or holds pages (the file is then not the truth) or when first is
  // beyond the end; the caller then asks page().
  bool readCommittedRun(uint32_t first, uint32_t count, std::vector<uint8_t>& out);
  void refreshSize();
  void dropCache();

  // --- Changes -------------------------------------------------------------
  // A change collects modified pages in memory; page() sees them at once.
  // commitChange() makes them permanent through the journal (see journal.h);
  // rollbackChange() forgets them. Without a journal store the pager refuses
  // to change anything.
  void setJournal(std::shared_ptr<JournalStore> j) { journal_ = std::move(j); }
  JournalStore* journal() { return journal_.get(); }
  bool inChange() const { return inChange_; }
  void beginChange();
  // A private, writable copy of the page for this change. The buffer stays
  // valid until the change ends; readers holding the old PageRef keep the
  // old bytes.
  PageBuf& modify(uint32_t pgno);
  // Appends a zero-filled page to the end of the file (within this change).
  uint32_t appendPage();
  void commitChange();
  void rollbackChange();
  size_t dirtyCount() const { return dirty_.size(); }
  // A number that changes whenever the bytes page(pgno) returns may have
  // changed: every modify() of the page gives it a new one, and so does any
  // event that replaces buffers wholesale (commit, rollback, replace, a
  // dropped cache). Callers that keep facts derived from a page's bytes
  // (the index writer's entry layouts) check them against it.
  uint64_t version(uint32_t pgno) const {
    const Dirty* d = findDirty(pgno);
    return d ? d->stamp : cleanStamp_;
  }
  uint32_t committedPageCount() const { return committedCount_; }
  // True after a rollback failed: a commit whose undoing of the file failed,
  // or a rollback whose re-reading of what it restored failed (see
  // markBroken). From then on page(), readCommittedRun() and beginChange()
  // throw 3043 until the file is reopened (opening rolls a journal back).
  bool broken() const { return broken_; }
  // The owner of the pager (the database) says a rollback it ran did not
  // complete: nothing read from the file can be trusted any more.
  void markBroken();

 private:
  void cacheInsert(uint32_t pgno, PageRef ref);
  std::unique_ptr<FileIO> file_;
  const Format* fmt_;
  std::unique_ptr<PageCodec> codec_;
  uint32_t pageCount_ = 0;
  size_t capacity_;
  // The cache: one slot per page number (a lookup is one step), at most
  // capacity_ of them filled. A page used since the clock hand last passed
  // it is hot and kept for one more round; the hand takes the others.
  // peekAt_[n] is slot n's bytes while the page is cached and no change
  // holds it, null otherwise (what peek() serves): a separate array of
  // pointers, eight to a cache line, so that the pages a read is about to
  // look at are found in few lines. Kept the size of slots_ and in step by
  // cacheInsert, eviction, uncache, addDirty and dropCache.
  struct Slot {
    PageRef ref;
    bool hot = false;
  };
  std::vector<Slot, PageAllocator<Slot>> slots_;
  std::vector<const uint8_t*, PageAllocator<const uint8_t*>> peekAt_;
  size_t cached_ = 0;
  size_t hand_ = 0;
  bool isCached(uint32_t pgno) const { return pgno < slots_.size() && slots_[pgno].ref; }
  void uncache(uint32_t pgno);
  // Pages read ahead but not yet decoded (codecs that change bytes only).
  std::unordered_map<uint32_t, std::shared_ptr<PageBuf>> pending_;
  // Pages changed by the change under way, with the stamp of their latest
  // modify(); found by page number through dirtyAt_ (one slot per page of
  // the file: index in dirty_ plus one, 0 for a page not changed).
  struct Dirty {
    uint32_t pgno;
    std::shared_ptr<PageBuf> buf;
    uint64_t stamp;
  };
  std::vector<Dirty> dirty_;
  std::vector<uint32_t> dirtyAt_;
  const Dirty* findDirty(uint32_t pgno) const {
    return pgno < dirtyAt_.size() && dirtyAt_[pgno] ? &dirty_[dirtyAt_[pgno] - 1] : nullptr;
  }
  Dirty* findDirty(uint32_t pgno) {
    return pgno < dirtyAt_.size() && dirtyAt_[pgno] ? &dirty_[dirtyAt_[pgno] - 1] : nullptr;
  }
  void addDirty(uint32_t pgno, std::shared_ptr<PageBuf> buf);
  void clearDirty();
  uint64_t stamp_ = 1;
  uint64_t cleanStamp_ = 1;
  void newCleanStamp() { cleanStamp_ = ++stamp_; }
  std::shared_ptr<JournalStore> journal_;
  bool inChange_ = false;
  uint32_t committedCount_ = 0;
  bool broken_ = false;
  void refuseIfBroken() const;
};

}  // namespace jet
