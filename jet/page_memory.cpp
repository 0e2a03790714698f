#include "jet/page_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <mutex>
#include <new>

namespace jet {

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kRegions = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kRegions = false;
#else
constexpr bool kRegions = true;
#endif
#else
constexpr bool kRegions = true;
#endif

constexpr size_t kRegion = size_t{2} << 20;
// Block sizes served from regions: use-count blocks, Jet3 and Jet4 pages.
constexpr size_t kSizes[] = {64, 2048, 4096};
constexpr int kClasses = 3;

// Tables of a megabyte or more (the cache's slots for a large file) get
// whole regions of their own.
constexpr int kLarge = -2;
size_t largeSize(size_t bytes) { return (bytes + kRegion - 1) & ~(kRegion - 1); }

int classOf(size_t bytes) {
  if (bytes >= kRegion / 2) return kLarge;
  if (bytes > 32 && bytes <= 64) return 0;
  if (bytes == 2048) return 1;
  if (bytes == 4096) return 2;
  return -1;
}

// The head of a region, in its first block(s). Regions with free blocks are
// on their size's list.
struct Region {
  Region* prev = nullptr;
  Region* next = nullptr;
  void* free = nullptr;  // blocks given back, linked through their first word
  size_t used = 0;
  size_t bump;           // offset of the first block never handed out
  size_t first;          // offset of the first block
  size_t capacity;       // blocks in the region
  int cls;
};

// size bytes (a multiple of kRegion) aligned to kRegion, which the kernel
// may back with huge pages.
void* mapAligned(size_t size) {
  // more than the size, then trimmed to an aligned run
  const size_t span = size + kRegion;
  void* m = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) throw std::bad_alloc();
  const uintptr_t base = reinterpret_cast<uintptr_t>(m);
  const uintptr_t at = (base + kRegion - 1) & ~(uintptr_t(kRegion) - 1);
  if (at > base) munmap(m, at - base);
  if (at + size < base + span) munmap(reinterpret_cast<void*>(at + size), base + span - at - size);
#ifdef MADV_HUGEPAGE
  madvise(reinterpret_cast<void*>(at), size, MADV_HUGEPAGE);
#endif
  return reinterpret_cast<void*>(at);
}

class Arena {
 public:
  void* take(int cls) {
    std::lock_guard<std::mutex> lock(mu_);
    Region* r = open_[cls];
    if (!r) {
      r = spare_[cls] ? spare_[cls] : newRegion(cls);
      spare_[cls] = nullptr;
      link(r);
    }
    void* p;
    if (r->free) {
      p = r->free;
      r->free = *static_cast<void**>(p);
    } else {
      p = reinterpret_cast<char*>(r) + r->bump;
      r->bump += kSizes[cls];
    }
    if (++r->used == r->capacity) unlink(r);
    return p;
  }

  void give(void* p, int cls) noexcept {
    Region* r = reinterpret_cast<Region*>(reinterpret_cast<uintptr_t>(p) & ~(uintptr_t(kRegion) - 1));
    std::lock_guard<std::mutex> lock(mu_);
    if (r->used == r->capacity) link(r);
    *static_cast<void**>(p) = r->free;
    r->free = p;
    if (--r->used > 0) return;
    unlink(r);
    if (!spare_[cls]) {
      reset(r);
      spare_[cls] = r;
    } else {
      munmap(r, kRegion);
    }
  }

 private:
  static void reset(Region* r) {
    r->free = nullptr;
    r->bump = r->first;
    r->prev = r->next = nullptr;
  }
  Region* newRegion(int cls) {
    Region* r = new (mapAligned(kRegion)) Region;
    const size_t size = kSizes[cls];
    r->first = (sizeof(Region) + size - 1) / size * size;
    r->capacity = (kRegion - r->first) / size;
    r->cls = cls;
    reset(r);
    return r;
  }
  void link(Region* r) {
    r->prev = nullptr;
    r->next = open_[r->cls];
    if (r->next) r->next->prev = r;
    open_[r->cls] = r;
  }
  void unlink(Region* r) {
    if (r->prev) r->prev->next = r->next;
    else if (open_[r->cls] == r) open_[r->cls] = r->next;
    if (r->next) r->next->prev = r->prev;
    r->prev = r->next = nullptr;
  }
  std::mutex mu_;
  Region* open_[kClasses] = {};
  Region* spare_[kClasses] = {};
};

// Never destroyed: buffers may outlive static objects' destructors.
Arena& arena() {
  static Arena* a = new Arena;
  return *a;
}

}  // namespace

void* allocatePageMemory(size_t bytes) {
  const int cls = kRegions ? classOf(bytes) : -1;
  if (cls == kLarge) return mapAligned(largeSize(bytes));
  if (cls < 0) return ::operator new(bytes);
  return arena().take(cls);
}

void freePageMemory(void* p, size_t bytes) noexcept {
  if (!p) return;
  const int cls = kRegions ? classOf(bytes) : -1;
  if (cls == kLarge) {
    munmap(p, largeSize(bytes));
    return;
  }
  if (cls < 0) {
    ::operator delete(p);
    return;
  }
  arena().give(p, cls);
}

}  // namespace jet
