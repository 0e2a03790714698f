#include "jet/pager.h"

#include <algorithm>
#include <string>

#include "jet/error.h"

namespace jet {

namespace {
constexpr uint32_t kReadAhead = 16;
}  // namespace

Pager::Pager(std::unique_ptr<FileIO> file, const Format& fmt, std::unique_ptr<PageCodec> codec,
             size_t cachePages)
    : file_(std::move(file)), fmt_(&fmt), codec_(std::move(codec)), capacity_(cachePages) {
  refreshSize();
}

void Pager::refreshSize() {
  pending_.clear();
  pageCount_ = static_cast<uint32_t>(file_->size() / fmt_->pageSize);
  committedCount_ = pageCount_;
  newCleanStamp();
}

void Pager::refuseIfBroken() const {
  if (broken_)
    throw Error(err::kIoError,
                "A failed change could not be undone; close the database and open it again to restore it.");
}

PageRef Pager::page(uint32_t pgno) {
  refuseIfBroken();
  if (const Dirty* d = findDirty(pgno)) return d->buf;
  if (pgno < slots_.size()) {
    Slot& s = slots_[pgno];
    if (s.ref) {
      s.hot = true;
      return s.ref;
    }
  }
  if (pgno >= pageCount_)
    corrupt("page " + std::to_string(pgno) + " is beyond the end of the file");
  auto pend = pending_.find(pgno);
  if (pend != pending_.end()) {
    std::shared_ptr<PageBuf> buf = std::move(pend->second);
    pending_.erase(pend);
    codec_->decode(pgno, buf->data(), buf->size());
    cacheInsert(pgno, buf);
    return buf;
  }
  // Read ahead: scans visit pages in order, so one read brings in the run of
  // pages that follows (never past the end, never over a cached or dirty page).
  const uint32_t ps = fmt_->pageSize;
  uint32_t run = 1;
  while (run < kReadAhead && pgno + run < pageCount_ && !isCached(pgno + run) &&
         !findDirty(pgno + run))
    ++run;
  std::unique_ptr<uint8_t[]> block(new uint8_t[size_t(run) * ps]);
  file_->readAt(uint64_t(pgno) * ps, block.get(), size_t(run) * ps);
  PageRef first;
  for (uint32_t k = 0; k < run; ++k) {
    const uint8_t* src = block.get() + size_t(k) * ps;
    auto buf = std::allocate_shared<PageBuf>(PageAllocator<PageBuf>(), src, src + ps);
    if (k == 0) {
      codec_->decode(pgno, buf->data(), buf->size());
      first = buf;
    } else if (codec_->identity()) {
      cacheInsert(pgno + k, buf);
    } else {
      // Pages read ahead are decoded when first asked for: decoding is the
      // expensive part for encrypted files, and a scan skips many of them.
      if (pending_.size() >= 4 * kReadAhead) pending_.clear();
      pending_[pgno + k] = std::move(buf);
    }
  }
  cacheInsert(pgno, first);
  return first;
}

void Pager::cacheInsert(uint32_t pgno, PageRef ref) {
  if (pgno >= slots_.size()) {
    const size_t n = std::max<size_t>(size_t(pgno) + 1, pageCount_ + pageCount_ / 8);
    slots_.resize(n);
    peekAt_.resize(n, nullptr);
  }
  Slot& s = slots_[pgno];
  if (!s.ref) ++cached_;
  s.ref = std::move(ref);
  // only clean pages come in (read from the file, or a change just made
  // permanent by commitChange)
  peekAt_[pgno] = s.ref->data();
  s.hot = true;
  while (cached_ > capacity_) {
    if (hand_ >= slots_.size()) hand_ = 0;
    const size_t at = hand_++;
    Slot& c = slots_[at];
    if (!c.ref) continue;
    if (c.hot && cached_ > 1) {
      c.hot = false;
      continue;
    }
    c.ref.reset();
    peekAt_[at] = nullptr;
    c.hot = false;
    --cached_;
  }
}

void Pager::uncache(uint32_t pgno) {
  if (!isCached(pgno)) return;
  slots_[pgno] = Slot{};
  peekAt_[pgno] = nullptr;
  --cached_;
}

void Pager::beginChange() {
  refuseIfBroken();
  if (inChange_) return;
  if (file_->readOnly())
    throw Error(err::kReadOnlyRecordset, "Cannot update. Database or object is read-only.");
  if (!journal_) throw Error(err::kNotSupported, "This database cannot be changed (no journal).");
  inChange_ = true;
  committedCount_ = pageCount_;
}

PageBuf& Pager::modify(uint32_t pgno) {
  if (!inChange_) throw Error(err::kNotSupported, "A page was changed outside of a change.");
  if (Dirty* d = findDirty(pgno)) {
    d->stamp = ++stamp_;
    return *d->buf;
  }
  // A cached page nobody else holds is changed in place (a rollback drops
  // it from the cache); one that a reader holds is copied first. The
  // journal reads the old bytes from the file.
  if (isCached(pgno) && slots_[pgno].ref.use_count() == 1) {
    auto buf = std::const_pointer_cast<PageBuf>(slots_[pgno].ref);
    PageBuf& ref = *buf;
    addDirty(pgno, std::move(buf));
    return ref;
  }
  PageRef cur = page(pgno);
  auto copy = std::allocate_shared<PageBuf>(PageAllocator<PageBuf>(), *cur);
  PageBuf& ref = *copy;
  addDirty(pgno, std::move(copy));
  return ref;
}

void Pager::addDirty(uint32_t pgno, std::shared_ptr<PageBuf> buf) {
  if (pgno >= dirtyAt_.size()) dirtyAt_.resize(std::max<size_t>(size_t(pgno) + 1, pageCount_ + pageCount_ / 8));
  dirty_.push_back(Dirty{pgno, std::move(buf), ++stamp_});
  dirtyAt_[pgno] = static_cast<uint32_t>(dirty_.size());
  // the cached bytes are no longer the page's (or are about to change)
  if (pgno < peekAt_.size()) peekAt_[pgno] = nullptr;
}

void Pager::clearDirty() {
  for (const auto& d : dirty_) dirtyAt_[d.pgno] = 0;
  dirty_.clear();
}

uint32_t Pager::appendPage() {
  if (!inChange_) throw Error(err::kNotSupported, "A page was added outside of a change.");
  uint32_t pgno = pageCount_++;
  addDirty(pgno, std::allocate_shared<PageBuf>(PageAllocator<PageBuf>(), fmt_->pageSize, 0));
  return pgno;
}

void Pager::commitChange() {
  if (!inChange_) return;
  if (dirty_.empty()) {
    inChange_ = false;
    pageCount_ = committedCount_;
    return;
  }
  std::vector<uint32_t> pages;
  pages.reserve(dirty_.size());
  for (const auto& d : dirty_) pages.push_back(d.pgno);
  std::sort(pages.begin(), pages.end());
  std::vector<uint32_t> old;
  for (uint32_t pg : pages)
    if (pg < committedCount_) old.push_back(pg);
  pending_.clear();
  try {
    const uint32_t ps = fmt_->pageSize;
    writeJournal(*journal_, ps, committedCount_, old,
                 [&](uint32_t pg, uint8_t* out) { file_->readAt(uint64_t(pg) * ps, out, ps); });
    // Runs of consecutive pages go out in one write each.
    const size_t maxRun = 64;
    std::vector<uint8_t> run(maxRun * ps);
    size_t i = 0;
    while (i < pages.size()) {
      size_t n = 0;
      while (i + n < pages.size() && n < maxRun && pages[i + n] == pages[i] + n) {
        const PageBuf& dec = *findDirty(pages[i + n])->buf;
        uint8_t* out = run.data() + n * ps;
        std::copy(dec.begin(), dec.end(), out);
        codec_->encode(pages[i + n], out, ps);
        ++n;
      }
      file_->writeAt(uint64_t(pages[i]) * ps, run.data(), n * ps);
      i += n;
    }
    file_->sync();
    journal_->remove();
  } catch (...) {
    // Put the file back the way it was if we can; if even that fails the
    // journal stays and the next open rolls back.
    try {
      recoverJournal(*journal_, *file_);
    } catch (...) {
      // The file may now be half written: refuse everything until it is
      // reopened (opening rolls the journal back).
      broken_ = true;
    }
    clearDirty();
    dropCache();
    pageCount_ = committedCount_;
    inChange_ = false;
    throw;
  }
  for (auto& d : dirty_) cacheInsert(d.pgno, d.buf);
  clearDirty();
  newCleanStamp();
  committedCount_ = pageCount_;
  inChange_ = false;
}

void Pager::rollbackChange() {
  if (broken_) return;
  for (const auto& d : dirty_) {
    uncache(d.pgno);
  }
  clearDirty();
  newCleanStamp();
  pageCount_ = committedCount_;
  inChange_ = false;
}

bool Pager::readCommittedRun(uint32_t first, uint32_t count, std::vector<uint8_t>& out) {
  refuseIfBroken();
  if (inChange_ || !dirty_.empty() || first >= pageCount_ || count == 0) return false;
  count = std::min(count, pageCount_ - first);
  const uint32_t ps = fmt_->pageSize;
  out.resize(size_t(count) * ps);
  file_->readAt(uint64_t(first) * ps, out.data(), out.size());
  for (uint32_t k = 0; k < count; ++k) codec_->decode(first + k, out.data() + size_t(k) * ps, ps);
  return true;
}

void Pager::markBroken() {
  broken_ = true;
  clearDirty();
  dropCache();
  pageCount_ = committedCount_;
  inChange_ = false;
}

void Pager::dropCache() {
  pending_.clear();
  slots_.clear();
  peekAt_.clear();
  cached_ = 0;
  hand_ = 0;
  newCleanStamp();
}

}  // namespace jet
