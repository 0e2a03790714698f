// Memory for page buffers. A cache that holds a large file touches its pages
// in any order; page buffers taken from the general heap are spread over so
// many small virtual pages that most page reads also miss the processor's
// address translation cache. Buffers of a page's size (and the small
// blocks that hold their use counts) are therefore carved from 2 MB regions
// the kernel may back with huge pages, and tables of a megabyte or more
// (the cache's slots) get regions of their own. Other sizes come from the
// general heap.
//
// Thread-safe. A region is given back to the system once none of its blocks
// is in use (one spare region per size is kept). Builds with the address
// sanitizer use the general heap for everything, so that it sees every
// buffer's life.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace jet {

void* allocatePageMemory(size_t bytes);
// bytes: the size given to allocatePageMemory.
void freePageMemory(void* p, size_t bytes) noexcept;

template <class T>
struct PageAllocator {
  using value_type = T;
  PageAllocator() = default;
  template <class U>
  PageAllocator(const PageAllocator<U>&) noexcept {}
  T* allocate(size_t n) { return static_cast<T*>(allocatePageMemory(n * sizeof(T))); }
  void deallocate(T* p, size_t n) noexcept { freePageMemory(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const PageAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace jet
