#include "jet/index.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_key.h"

namespace jet {

namespace {

// Bits set in a word, counted inline (the builtin becomes a library call
// on processors not assumed to count bits themselves).
inline size_t bitCount(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555ULL);
  x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
  return static_cast<size_t>((x * 0x0101010101010101ULL) >> 56);
}

uint32_t be24(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
uint32_t be32(const uint8_t* p) {
  return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// Keys are a few bytes: copied inline rather than through a library call.
inline void copyBytes(uint8_t* to, const uint8_t* from, size_t n) {
  if (n > 16) {
    std::memcpy(to, from, n);
    return;
  }
  for (size_t i = 0; i < n; ++i) to[i] = from[i];
}


// The fixed header of an index page, checked: its type and that the entry
// area fits the page.
struct PageHeader {
  bool leaf = false;
  uint32_t prev = 0, next = 0, tail = 0;
  uint16_t prefixLen = 0;
};

PageHeader readPageHeader(const Format& fmt, ByteView pv, uint32_t pgno) {
  uint8_t type = pv.u8(0);
  if (type != pagetype::kIndexLeaf && type != pagetype::kIndexNode)
    corrupt("page " + std::to_string(pgno) + " should be an index page but has type " + std::to_string(type));
  if (fmt.offIndexEntries <= fmt.offIndexBitmask || fmt.offIndexEntries + 8 > pv.size)
    corrupt("index page layout does not fit the page");
  PageHeader h;
  h.leaf = type == pagetype::kIndexLeaf;
  h.prev = pv.u32(fmt.offIndexPrev);
  h.next = pv.u32(fmt.offIndexNext);
  h.tail = pv.u32(fmt.offIndexTail);
  // Jet 3 keeps the prefix length in one byte (the next byte is a flag that
  // intermediate pages set); later versions use two bytes, then the flag.
  h.prefixLen = fmt.jet3 ? pv.u8(fmt.offIndexPrefixLen) : pv.u16(fmt.offIndexPrefixLen);
  return h;
}

}  // namespace

IndexPage parseIndexPage(const Format& fmt, ByteView pv, uint32_t pgno) {
  IndexPage p;
  p.page = pgno;
  PageHeader h = readPageHeader(fmt, pv, pgno);
  p.leaf = h.leaf;
  p.prev = h.prev;
  p.next = h.next;
  p.tail = h.tail;
  p.prefixLen = h.prefixLen;

  const size_t maskStart = fmt.offIndexBitmask;
  const size_t dataStart = fmt.offIndexEntries;
  const size_t maskLen = dataStart - maskStart;
  const size_t dataLen = pv.size - dataStart;
  const size_t minEntry = p.leaf ? 4 : 8;
  const uint8_t* data = pv.data + dataStart;

  std::vector<uint8_t> prefix;
  std::vector<uint8_t> full;
  size_t last = 0;
  forEachEntryEnd(pv.data + maskStart, maskLen, [&](size_t end) {
    if (end > dataLen || end <= last)
      corrupt("an entry of index page " + std::to_string(pgno) + " lies outside the page");
    full.clear();
    if (p.entries.empty()) {
      if (p.prefixLen > end - last)
        corrupt("the shared prefix of index page " + std::to_string(pgno) + " is longer than its first entry");
      prefix.assign(data + last, data + last + p.prefixLen);
    } else {
      full = prefix;
    }
    full.insert(full.end(), data + last, data + end);
    last = end;
    if (full.size() < minEntry)
      corrupt("an entry of index page " + std::to_string(pgno) + " is too short");
    IndexEntry e;
    size_t keyLen = full.size() - minEntry;
    e.key.assign(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(keyLen));
    e.row.page = be24(full.data() + keyLen);
    e.row.row = full[keyLen + 3];
    if (!p.leaf) e.child = be32(full.data() + keyLen + 4);
    p.entries.push_back(std::move(e));
  });
  return p;
}

int compareKeys(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  size_t n = std::min(a.size(), b.size());
  if (n > 0) {
    int c = std::memcmp(a.data(), b.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int compareEntries(const std::vector<uint8_t>& ak, RowId ar, const std::vector<uint8_t>& bk, RowId br) {
  int c = compareKeys(ak, bk);
  if (c != 0) return c;
  if (ar == br) return 0;
  return ar < br ? -1 : 1;
}

bool keyStartsWith(const std::vector<uint8_t>& key, const std::vector<uint8_t>& prefix) {
  return key.size() >= prefix.size() &&
         (prefix.empty() || std::memcmp(key.data(), prefix.data(), prefix.size()) == 0);
}

// ---------------------------------------------------------------------------
// IndexCursor

IndexCursor::IndexCursor(Pager& pager, uint32_t rootPage) : pager_(pager), root_(rootPage) {}

IndexCursor::IndexCursor(Database& db, const RealIndex& ix) : IndexCursor(db.pager(), ix.rootPage) {}

void IndexCursor::load(uint32_t pgno, RawPage& p) {
  if (pgno == 0 || pgno >= pager_.pageCount())
    corrupt("index page pointer " + std::to_string(pgno) + " is outside the file");
  load(pgno, pager_.page(pgno), p);
}

void IndexCursor::load(uint32_t pgno, PageRef ref, RawPage& p) {
  const Format& fmt = pager_.format();
  // Pages are immutable once handed out: the same buffer checked before needs
  // no second look (repeated seeks down one path).
  if (p.ref && p.page == pgno && p.ref.get() == ref.get()) return;
  p.ref.reset();  // set again once the page is checked
  ByteView pv = view(ref);
  p.page = pgno;
  PageHeader h = readPageHeader(fmt, pv, pgno);
  p.leaf = h.leaf;
  p.next = h.next;
  p.tail = h.tail;
  p.prefixLen = h.prefixLen;
  const size_t maskStart = fmt.offIndexBitmask;
  const size_t dataStart = fmt.offIndexEntries;
  const size_t maskLen = dataStart - maskStart;
  const size_t dataLen = pv.size - dataStart;
  p.minEntry = p.leaf ? 4 : 8;
  p.data = pv.data + dataStart;
  // The mask is read in place, a word at a time; the last word's load runs
  // into the first entry bytes (readPageHeader checked they exist), which
  // lastBits masks off.
  p.mask = pv.data + maskStart;
  p.nWords = (maskLen + 7) / 8;
  p.lastBits = maskLen % 8 == 0 ? ~uint64_t{0} : (uint64_t{1} << (8 * (maskLen % 8))) - 1;
  p.lastEnd = 0;
  size_t lastWord = p.nWords;
  while (lastWord > 0 && p.word(lastWord - 1) == 0) --lastWord;
  if (lastWord > 0) {
    // Ends rise with the bits, so the last one bounds them all; each entry's
    // own length is checked when it is read.
    const size_t maxEnd = (lastWord - 1) * 64 + 63 - static_cast<size_t>(__builtin_clzll(p.word(lastWord - 1)));
    if (maxEnd > dataLen || (p.word(0) & 1))
      corrupt("an entry of index page " + std::to_string(pgno) + " lies outside the page");
    p.lastEnd = maxEnd;
    if (p.prefixLen > p.endAfter(0))
      corrupt("the shared prefix of index page " + std::to_string(pgno) + " is longer than its first entry");
  }
  p.ref = std::move(ref);
}

// The page walks below run once per bisection step: kept inline.
[[gnu::always_inline]] inline size_t IndexCursor::RawPage::endAfter(size_t start) const {
  // the first set bit above start (start < lastEnd: one exists)
  const size_t from = start + 1;
  size_t w = from / 64;
  uint64_t m = word(w) & (~uint64_t{0} << (from % 64));
  while (!m) m = word(++w);
  return w * 64 + static_cast<size_t>(__builtin_ctzll(m));
}

size_t IndexCursor::RawPage::lastStart() const {
  // the last set bit below lastEnd, or 0
  size_t w = lastEnd / 64;
  uint64_t m = word(w) & ((uint64_t{1} << (lastEnd % 64)) - 1);
  while (!m) {
    if (w == 0) return 0;
    m = word(--w);
  }
  return w * 64 + 63 - static_cast<size_t>(__builtin_clzll(m));
}

size_t IndexCursor::RawPage::countBetween(size_t from, size_t to) const {
  // the ends in (from, to]
  size_t n = 0;
  for (size_t bit = from + 1; bit <= to;) {
    const size_t w = bit / 64;
    uint64_t m = word(w) & (~uint64_t{0} << (bit % 64));
    const size_t wordEnd = (w + 1) * 64;
    if (to < wordEnd - 1) m &= (uint64_t{2} << (to % 64)) - 1;
    n += static_cast<size_t>(bitCount(m));
    bit = wordEnd;
  }
  return n;
}

namespace {

[[noreturn, gnu::cold, gnu::noinline]] void shortEntry(uint32_t page) {
  corrupt("an entry of index page " + std::to_string(page) + " is too short");
}

}  // namespace

[[gnu::always_inline]] inline size_t IndexCursor::RawPage::keyLength(size_t start, size_t end) const {
  const size_t len = end - start + (start > 0 ? prefixLen : 0);
  if (len < minEntry) [[unlikely]] shortEntry(page);
  return len - minEntry;
}

IndexCursor::RawPage::PrefixMatch IndexCursor::RawPage::matchPrefix(const std::vector<uint8_t>& k) const {
  PrefixMatch m;
  const size_t n = std::min<size_t>(prefixLen, k.size());
  while (m.same < n && data[m.same] == k[m.same]) ++m.same;
  if (m.same < n) m.sign = data[m.same] < k[m.same] ? -1 : 1;
  return m;
}

[[gnu::always_inline]] inline int IndexCursor::RawPage::compareKey(size_t start, size_t end, const std::vector<uint8_t>& k, bool* kPrefix,
                                     const PrefixMatch* pm) const {
  // The entry is the page's shared prefix (all but the first entry) followed
  // by its own bytes; its key is their first keyLen bytes.
  const size_t keyLen = keyLength(start, end);
  const size_t n = std::min(keyLen, k.size());
  const size_t shared = start > 0 ? std::min<size_t>(prefixLen, n) : 0;
  // keys are short: a byte loop beats a call
  const uint8_t* kp = k.data();
  if (pm) {
    // the prefix and the key differ within the part this entry shares
    if (pm->same < shared) {
      *kPrefix = false;
      return pm->sign;
    }
  } else {
    for (size_t i = 0; i < shared; ++i)
      if (data[i] != kp[i]) {
        *kPrefix = false;
        return data[i] < kp[i] ? -1 : 1;
      }
  }
  const uint8_t* own = data + start - shared;
  for (size_t i = shared; i < n; ++i)
    if (own[i] != kp[i]) {
      *kPrefix = false;
      return own[i] < kp[i] ? -1 : 1;
    }
  *kPrefix = keyLen >= k.size();
  if (keyLen == k.size()) return 0;
  return keyLen < k.size() ? -1 : 1;
}

void IndexCursor::decodeEntry(const RawPage& p, size_t start, size_t end, std::vector<uint8_t>& key, RowId* row,
                              uint32_t* child) {
  const size_t keyLen = p.keyLength(start, end);
  // The entry is the shared prefix (all but the first entry), then its own
  // bytes: the key, the row's address and (on inner pages) the child page.
  const size_t pre = start > 0 ? p.prefixLen : 0;
  // Only the key is copied when the addresses lie in the entry's own bytes.
  const bool ownTail = pre <= keyLen;
  key.resize(ownTail ? keyLen : pre + (end - start));
  copyBytes(key.data(), p.data, pre);
  copyBytes(key.data() + pre, p.data + start, key.size() - pre);
  const uint8_t* tail = ownTail ? p.data + start + (keyLen - pre) : key.data() + keyLen;
  if (row) {
    row->page = be24(tail);
    row->row = tail[3];
  }
  if (child) *child = be32(tail + 4);
  key.resize(keyLen);
}

uint32_t IndexCursor::childOf(const RawPage& p, size_t start, size_t end) {
  // The child's number ends the entry: read in place when the entry's own
  // bytes hold it (the shared prefix may cover all but a few bytes otherwise).
  p.keyLength(start, end);  // the entry holds a row address and a child
  if (end - start >= 4) return be32(p.data + end - 4);
  uint32_t child = 0;
  std::vector<uint8_t> key;
  decodeEntry(p, start, end, key, nullptr, &child);
  return child;
}

[[gnu::always_inline]] inline bool IndexCursor::satisfiesAt(const RawPage& p, size_t start, size_t end, const RawPage::PrefixMatch* pm) const {
  bool prefixed = false;
  const int c = p.compareKey(start, end, pendingKey_, &prefixed, pm);
  if (pendingMode_ == Mode::AtOrAfter) return c >= 0;
  return c > 0 && !prefixed;
}

namespace {

// The first entry in [lo, hi) of page p for which pred(start, end) holds,
// given that pred holds for every entry after one for which it holds (hi
// when none). lo and hi are entry starts (hi may be the page's lastEnd).
// Bisects by offset: the entry at or after the middle byte is tested.
template <class Page, class Pred>
[[gnu::always_inline]] inline size_t bisectEntries(const Page& p, size_t lo, size_t hi, Pred pred) {
  while (lo < hi) {
    size_t s = p.startAtOrAfter(lo + (hi - lo) / 2);
    if (s >= hi) s = lo;
    const size_t e = p.endAfter(s);
    if (pred(s, e)) hi = s;
    else lo = e;
  }
  return lo;
}

}  // namespace

size_t IndexCursor::firstSatisfying(const RawPage& p, size_t from) const {
  // Entries are in key order and the entries that satisfy a seek form the
  // tail of that order.
  // All entries but the first share the page's prefix, compared with the
  // sought key once.
  const RawPage::PrefixMatch pm = p.matchPrefix(pendingKey_);
  auto sat = [&](size_t s, size_t e) __attribute__((always_inline)) { return satisfiesAt(p, s, e, &pm); };
  size_t lo = 0, hi = p.lastEnd;
  // From a guess (moved to an entry's start, whatever was passed): when the
  // entry there satisfies, the entries up to it are bisected. When it does
  // not, nor does any before it, and steps that double look on from it
  // until one lands on an entry that does; then the last step is bisected.
  const size_t guess = from > 0 && from < hi ? p.startAtOrAfter(from) : 0;
  if (guess > 0 && guess < hi) {
    const size_t e = p.endAfter(guess);
    if (sat(guess, e)) {
      hi = guess;
    } else {
      lo = e;
      for (size_t step = 32; lo < hi; step *= 2) {
        const size_t s = p.startAtOrAfter(std::min(lo + step, hi));
        if (s >= hi) break;
        const size_t se = p.endAfter(s);
        if (sat(s, se)) {
          hi = s;
          break;
        }
        lo = se;
      }
    }
  }
  return bisectEntries(p, lo, hi, sat);
}

void IndexCursor::LeafTrail::reset(uint32_t first) {
  kept_[0] = first;
  n_ = 1;
  if (!more_.empty()) more_.clear();
}

bool IndexCursor::LeafTrail::add(uint32_t page) {
  for (size_t i = 0; i < n_; ++i)
    if (kept_[i] == page) return false;
  if (n_ < kKept) {
    kept_[n_++] = page;
    return true;
  }
  return more_.insert(page).second;
}

namespace {

// The pages met on one walk from the root down.
struct DescentGuard {
  std::array<uint32_t, kMaxIndexDepth + 1> pages{};
  size_t n = 0;
  void visit(uint32_t pg) {
    for (size_t i = 0; i < n; ++i)
      if (pages[i] == pg) corrupt("index pages refer to each other in a loop");
    if (n >= kMaxIndexDepth) corrupt("index pages refer to each other in a loop");
    pages[n++] = pg;
  }
};

}  // namespace

void IndexCursor::descendFirst() {
  DescentGuard guard;
  guard.visit(root_);
  load(root_, node_);
  while (!node_.leaf) {
    uint32_t child = node_.tail;
    if (node_.lastEnd) child = childOf(node_, 0, node_.endAfter(0));
    guard.visit(child);
    load(child, node_);
  }
  std::swap(leaf_, node_);
  leavesSeen_.reset(leaf_.page);
  pos_ = 0;
  entered_ = true;
  started_ = false;
  done_ = false;
  pending_ = false;
}

void IndexCursor::beforeFirst() {
  // The walk down to the first leaf waits for the first next().
  entered_ = false;
  pending_ = false;
}

void IndexCursor::position(const std::vector<uint8_t>& key, Mode mode, size_t from, bool near) {
  pendingKey_ = key;
  pendingMode_ = mode;
  DescentGuard guard;
  // One parsed page kept per level, so that the next seek down the same
  // pages reuses them. A descent from a lower level starts on the inner page
  // the last descent left there.
  size_t depth = from;
  if (from == 0) {
    if (path_.empty()) path_.resize(1);
    load(root_, path_[0].page);
  }
  guard.visit(path_[depth].page.page);
  while (!path_[depth].page.leaf) {
    // Each entry is its child's last entry: the first child whose last entry
    // qualifies holds the first qualifying entry. Past all entries lies the
    // tail child.
    Level& level = path_[depth];
    const RawPage& node = level.page;
    const size_t n = node.lastEnd;
    const size_t i = firstSatisfying(node, depth == from && near ? std::min(level.taken, n) : 0);
    level.taken = i;
    uint32_t child = 0;
    if (i < n) child = childOf(node, i, node.endAfter(i));
    else if (node.tail) child = node.tail;
    else if (n > 0) child = childOf(node, node.lastStart(), n);
    guard.visit(child);
    ++depth;
    if (path_.size() <= depth) path_.resize(depth + 1);
    load(child, path_[depth].page);
  }
  std::swap(leaf_, path_[depth].page);
  leafDepth_ = depth;
  // Entries before the first qualifying one on this leaf are skipped; next()
  // checks again in case that lies on a later leaf.
  settle(0);
}

void IndexCursor::seek(const std::vector<uint8_t>& key) { position(key, Mode::AtOrAfter); }

void IndexCursor::seekNear(const std::vector<uint8_t>& key) {
  if (entered_ && leaf_.ref && leaf_.lastEnd > 0) {
    pendingKey_ = key;
    pendingMode_ = Mode::AtOrAfter;
    // The first qualifying entry lies on this leaf when its first entry does
    // not qualify (nor, then, any entry before it) and its last one does.
    const bool pastFirst = !satisfiesAt(leaf_, 0, leaf_.endAfter(0));
    if (pastFirst && satisfiesAt(leaf_, leaf_.lastStart(), leaf_.lastEnd)) {
      // on the leaf of the last seek, a rising key lies at or after its entry
      settle(leaf_.page == seekLeaf_ ? std::min(seekAt_, leaf_.lastEnd) : 0);
      return;
    }
    if (pastFirst) {
      // Further on: the lowest inner page of the last descent whose entries
      // (each its child's last key) bound the key holds the entry, and the
      // descent starts there instead of at the root. Those pages are in the
      // cache's hot lines; a leaf that is not is looked at only when none
      // of them bounds the key.
      for (size_t d = leafDepth_; d-- > 1;) {
        const RawPage& node = path_[d].page;
        if (node.leaf || node.lastEnd == 0) break;
        if (!satisfiesAt(node, 0, node.endAfter(0)) && satisfiesAt(node, node.lastStart(), node.lastEnd)) {
          position(key, Mode::AtOrAfter, d, true);
          return;
        }
      }
      // A key just past this leaf (past the inner page above it too) is
      // looked for on the next leaf, when that holds an entry that
      // qualifies (its first, at the latest, is then the one).
      const uint32_t nx = leaf_.next;
      if (nx != 0 && nx != leaf_.page) {
        load(nx, node_);
        if (node_.leaf && node_.lastEnd > 0 && satisfiesAt(node_, node_.lastStart(), node_.lastEnd)) {
          std::swap(leaf_, node_);
          settle(0);
          return;
        }
      }
    }
  }
  position(key, Mode::AtOrAfter, 0, true);
}

void IndexCursor::settle(size_t from) {
  leavesSeen_.reset(leaf_.page);
  entered_ = true;
  started_ = false;
  done_ = false;
  pos_ = firstSatisfying(leaf_, from);
  seekLeaf_ = leaf_.page;
  seekAt_ = pos_;
  pending_ = true;
}

void IndexCursor::restore(const Mark& m) {
  if (!m.leaf) corrupt("an index position was restored without its page");
  load(m.page, m.leaf, leaf_);
  if (!leaf_.leaf || m.pos >= leaf_.lastEnd) corrupt("index page " + std::to_string(m.page) + " is not the leaf marked");
  leavesSeen_.reset(leaf_.page);
  entered_ = true;
  started_ = false;
  done_ = false;
  pending_ = false;
  pos_ = m.pos;
}
void IndexCursor::seekPast(const std::vector<uint8_t>& key) { position(key, Mode::Past); }

bool IndexCursor::next() {
  if (!entered_) descendFirst();
  if (done_) return false;
  if (started_) pos_ = curEnd_;
  started_ = true;
  for (;;) {
    while (pos_ >= leaf_.lastEnd) {
      const uint32_t nx = leaf_.next;
      if (nx == 0) {
        done_ = true;
        return false;
      }
      if (!leavesSeen_.add(nx) || leavesSeen_.size() > pager_.pageCount())
        corrupt("the leaf pages of an index refer to each other in a loop");
      const uint32_t from = leaf_.page;
      load(nx, leaf_);
      if (!leaf_.leaf) corrupt("index leaf page " + std::to_string(from) + " is followed by a non-leaf page");
      pos_ = 0;
    }
    curEnd_ = leaf_.endAfter(pos_);
    if (!pending_ || satisfiesAt(leaf_, pos_, curEnd_)) break;
    pos_ = curEnd_;
  }
  decodeEntry(leaf_, pos_, curEnd_, key_, &row_, nullptr);
  pending_ = false;
  return true;
}

namespace {

bool meetsBound(const std::vector<uint8_t>& key, const std::vector<uint8_t>& bound, IndexCursor::Bound mode) {
  switch (mode) {
    case IndexCursor::Bound::Equal: return key == bound;
    case IndexCursor::Bound::Through: return compareKeys(key, bound) <= 0 || keyStartsWith(key, bound);
    case IndexCursor::Bound::All: break;
  }
  return true;
}

}  // namespace

uint64_t IndexCursor::countWhile(const std::vector<uint8_t>& bound, Bound mode) {
  uint64_t n = 0;
  // next() settles a pending seek and the move from leaf to leaf (with its
  // loop checks); each leaf is then counted from the current entry on.
  while (next()) {
    if (!meetsBound(key_, bound, mode)) {
      started_ = false;  // next() yields this entry again
      return n;
    }
    const size_t last = leaf_.lastStart();
    decodeEntry(leaf_, last, leaf_.lastEnd, scratch_, nullptr, nullptr);
    if (meetsBound(scratch_, bound, mode)) {
      n += leaf_.countBetween(pos_, leaf_.lastEnd);
      pos_ = last;  // next() goes on to the following leaf
      curEnd_ = leaf_.lastEnd;
      continue;
    }
    // The run ends on this leaf, after pos_ and at or before its last entry.
    const size_t stop = bisectEntries(leaf_, curEnd_, last, [&](size_t s, size_t e) {
      decodeEntry(leaf_, s, e, scratch_, nullptr, nullptr);
      return !meetsBound(scratch_, bound, mode);
    });
    n += leaf_.countBetween(pos_, stop);
    pos_ = stop;
    started_ = false;
    return n;
  }
  return n;
}

}  // namespace jet
