// The values a recordset keeps: rows of one width laid end to end in
// blocks of values, so that keeping a row allocates nothing of its own and
// reading one back is a span over its values.
//
// Blocks are taken from and given back to a small pool per thread, so a
// statement run again and again (a grid refreshed, a script's loop) reuses
// the memory of the last one instead of asking the system for fresh pages.
// The pool keeps a bounded number of blocks; the rest are freed.
//
// A store belongs to one recordset and is used from one thread at a time;
// it may be destroyed on another thread than the one that filled it.
// Nothing here throws but std::bad_alloc.
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

#include "jet/value.h"

namespace sql {

using RowView = std::span<const jet::Value>;

class RowStore {
 public:
  explicit RowStore(size_t width);
  ~RowStore();
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  size_t width() const { return width_; }
  size_t size() const { return count_; }
  // Moves the first width() values of row in as the last row (missing ones
  // are Null). row keeps its length, its values left empty, so the caller
  // can fill it again without allocating.
  void append(std::vector<jet::Value>& row);
  // Row i (i < size()); valid until the store is destroyed.
  RowView operator[](size_t i) const {
    const size_t b = i / rowsPerBlock_, at = (i % rowsPerBlock_) * width_;
    return RowView(blocks_[b].get() + at, width_);
  }

 private:
  size_t width_;
  size_t rowsPerBlock_;
  size_t count_ = 0;
  std::vector<std::unique_ptr<jet::Value[]>> blocks_;
};

}  // namespace sql
