#include "sql/row_store.h"

#include <algorithm>
#include <string>
#include <utility>

namespace sql {

using jet::Value;

namespace {

// Values per block: about 56 KB, well under the size from which the C
// library maps memory of its own for each allocation.
constexpr size_t kBlockValues = 1024;
// Blocks the pool of one thread keeps (about 7 MB).
constexpr size_t kPoolBlocks = 128;

struct BlockPool {
  std::vector<std::unique_ptr<Value[]>> free;
};

BlockPool& pool() {
  thread_local BlockPool p;
  return p;
}

std::unique_ptr<Value[]> takeBlock() {
  auto& p = pool();
  if (!p.free.empty()) {
    auto b = std::move(p.free.back());
    p.free.pop_back();
    return b;
  }
  return std::make_unique<Value[]>(kBlockValues);
}

// used: how many values of the block were filled. A pooled block keeps no
// text memory of its own; its other values are overwritten when it is used.
void giveBlock(std::unique_ptr<Value[]> b, size_t used) {
  auto& p = pool();
  if (p.free.size() >= kPoolBlocks) return;
  const size_t inPlace = std::string().capacity();
  for (size_t i = 0; i < used; ++i)
    if (b[i].bytes().capacity() > inPlace) b[i] = Value();
  p.free.push_back(std::move(b));
}

}  // namespace

RowStore::RowStore(size_t width)
    : width_(width), rowsPerBlock_(width == 0 ? kBlockValues : std::max<size_t>(1, kBlockValues / width)) {}

RowStore::~RowStore() {
  // a row wider than a block has a block of its own, not pooled
  if (width_ > kBlockValues) return;
  for (size_t b = 0; b < blocks_.size(); ++b)
    giveBlock(std::move(blocks_[b]), std::min(rowsPerBlock_, count_ - b * rowsPerBlock_) * width_);
}

void RowStore::append(std::vector<Value>& row) {
  const size_t at = count_ % rowsPerBlock_;
  if (at == 0) blocks_.push_back(width_ > kBlockValues ? std::make_unique<Value[]>(width_) : takeBlock());
  Value* dst = blocks_.back().get() + at * width_;
  const size_t n = std::min(width_, row.size());
  for (size_t c = 0; c < n; ++c) dst[c] = std::move(row[c]);
  for (size_t c = n; c < width_; ++c) dst[c] = Value();
  ++count_;
}

}  // namespace sql
