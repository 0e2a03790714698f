#include "jet/pager.h"

#include <string>

#include "jet/error.h"

namespace jet {

Pager::Pager(std::unique_ptr<FileIO> file, const Format& fmt, std::unique_ptr<PageCodec> codec,
             size_t cachePages)
    : file_(std::move(file)), fmt_(&fmt), codec_(std::move(codec)), capacity_(cachePages) {
  refreshSize();
}

void Pager::refreshSize() {
  pageCount_ = static_cast<uint32_t>(file_->size() / fmt_->pageSize);
}

PageRef Pager::page(uint32_t pgno) {
  auto it = index_.find(pgno);
  if (it != index_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second);
    return it->second->second;
  }
  if (pgno >= pageCount_)
    corrupt("page " + std::to_string(pgno) + " is beyond the end of the file");
  auto buf = std::make_shared<PageBuf>(fmt_->pageSize);
  file_->readAt(uint64_t(pgno) * fmt_->pageSize, buf->data(), buf->size());
  codec_->decode(pgno, buf->data(), buf->size());
  PageRef ref = buf;
  lru_.emplace_front(pgno, ref);
  index_[pgno] = lru_.begin();
  if (lru_.size() > capacity_) {
    index_.erase(lru_.back().first);
    lru_.pop_back();
  }
  return ref;
}

void Pager::replace(uint32_t pgno, PageBuf decoded) {
  auto ref = std::make_shared<PageBuf>(std::move(decoded));
  auto it = index_.find(pgno);
  if (it != index_.end()) {
    it->second->second = ref;
    lru_.splice(lru_.begin(), lru_, it->second);
  } else {
    lru_.emplace_front(pgno, ref);
    index_[pgno] = lru_.begin();
  }
  if (pgno >= pageCount_) pageCount_ = pgno + 1;
}

void Pager::writeThrough(uint32_t pgno, const PageBuf& decoded) {
  PageBuf enc = decoded;
  codec_->encode(pgno, enc.data(), enc.size());
  file_->writeAt(uint64_t(pgno) * fmt_->pageSize, enc.data(), enc.size());
  if (pgno >= pageCount_) pageCount_ = pgno + 1;
}

void Pager::dropCache() {
  lru_.clear();
  index_.clear();
}

}  // namespace jet
