#include "jet/index_writer.h"

#include <algorithm>
#include <cstring>

#include "jet/bytes.h"
#include "jet/error.h"
#include "jet/page_alloc.h"

namespace jet {

namespace {

int cmp(const IndexEntry& e, const std::vector<uint8_t>& key, RowId row) {
  return compareEntries(e.key, e.row, key, row);
}

}  // namespace

size_t indexEntrySize(const IndexEntry& e, bool leaf) { return e.key.size() + (leaf ? 4 : 8); }

namespace {
size_t sharedPrefix(const Format& fmt, const IndexPage& p) {
  // Common to every entry's key bytes (never into the row address), only
  // when there are at least two entries.
  if (p.entries.size() < 2) return 0;
  // Entries are sorted, so what the first and the last key share, every key
  // in between shares too; each is still checked, so that entries out of
  // order (a damaged page) only make the prefix shorter.
  const auto& first = p.entries.front().key;
  const auto& last = p.entries.back().key;
  size_t n = std::min(first.size(), last.size());
  size_t prefix = 0;
  while (prefix < n && first[prefix] == last[prefix]) ++prefix;
  for (const auto& e : p.entries) {
    if (prefix == 0) break;
    if (e.key.size() >= prefix && std::memcmp(e.key.data(), first.data(), prefix) == 0) continue;
    size_t m = std::min(prefix, e.key.size()), k = 0;
    while (k < m && e.key[k] == first[k]) ++k;
    prefix = k;
  }
  if (fmt.jet3) prefix = std::min<size_t>(prefix, 255);
  return prefix;
}

size_t encodedSize(const IndexPage& p, size_t prefix) {
  size_t total = 0;
  for (size_t i = 0; i < p.entries.size(); ++i)
    total += indexEntrySize(p.entries[i], p.leaf) - (i > 0 ? prefix : 0);
  return total;
}
}  // namespace

bool indexPageFits(const Format& fmt, const IndexPage& p) {
  return encodedSize(p, sharedPrefix(fmt, p)) <= fmt.pageSize - fmt.offIndexEntries;
}

bool encodeIndexPage(const Format& fmt, uint32_t tdefPage, const IndexPage& p, PageBuf& out) {
  const size_t dataStart = fmt.offIndexEntries;
  const size_t cap = fmt.pageSize - dataStart;
  size_t prefix = sharedPrefix(fmt, p);
  size_t total = encodedSize(p, prefix);
  if (total > cap) return false;
  out.resize(fmt.pageSize);
  std::fill(out.begin(), out.end(), 0);
  out[0] = p.leaf ? pagetype::kIndexLeaf : pagetype::kIndexNode;
  out[1] = 0x01;
  put16(out.data() + 2, static_cast<uint16_t>(cap - total));
  put32(out.data() + 4, tdefPage);
  put32(out.data() + fmt.offIndexPrev, p.prev);
  put32(out.data() + fmt.offIndexNext, p.next);
  put32(out.data() + fmt.offIndexTail, p.tail);
  if (fmt.jet3) {
    out[fmt.offIndexPrefixLen] = static_cast<uint8_t>(prefix);
    out[fmt.offIndexPrefixLen + 1] = p.leaf ? 0 : 1;
  } else {
    put16(out.data() + fmt.offIndexPrefixLen, static_cast<uint16_t>(prefix));
    out[fmt.offIndexPrefixLen + 2] = p.leaf ? 0 : 1;
  }
  uint8_t* d = out.data() + dataStart;
  size_t pos = 0;
  for (size_t i = 0; i < p.entries.size(); ++i) {
    const IndexEntry& e = p.entries[i];
    size_t skip = i > 0 ? prefix : 0;
    size_t k = e.key.size() - skip;
    if (k) std::memcpy(d + pos, e.key.data() + skip, k);
    pos += k;
    putBe24(d + pos, e.row.page);
    d[pos + 3] = static_cast<uint8_t>(e.row.row);
    pos += 4;
    if (!p.leaf) {
      putBe32(d + pos, e.child);
      pos += 4;
    }
    out[fmt.offIndexBitmask + pos / 8] |= uint8_t(1u << (pos % 8));
  }
  return true;
}

IndexWriter::IndexWriter(Pager& pager, uint32_t tdefPage, uint32_t rootPage, uint32_t mapPtr)
    : pager_(pager), tdef_(tdefPage), root_(rootPage), map_(mapPtr) {}


std::shared_ptr<IndexPage> IndexWriter::load(uint32_t pg) {
  PageRef ref = pager_.page(pg);
  auto it = cache_.find(pg);
  if (it != cache_.end()) {
    const uint64_t version = pager_.version(pg);
    if (it->second.version == version) return it->second.page;
    // The page may have changed (a new change, a commit, a rollback): the
    // parse still holds when encoding it gives the same bytes.
    if (encodeIndexPage(pager_.format(), tdef_, *it->second.page, scratch_) && scratch_ == *ref) {
      it->second.version = version;
      return it->second.page;
    }
  }
  auto p = std::make_shared<IndexPage>(parseIndexPage(pager_.format(), view(ref), pg));
  if (cache_.size() >= 512) cache_.clear();  // bounded: parsed pages are large
  cache_[pg] = Cached{pager_.version(pg), p};
  return p;
}

void IndexWriter::store(const IndexPage& p) {
  if (!tryStore(p)) corrupt("an index page overflowed");
}

void IndexWriter::storeOwned(std::shared_ptr<IndexPage> p) {
  PageBuf& dst = pager_.modify(p->page);
  if (!encodeIndexPage(pager_.format(), tdef_, *p, dst)) corrupt("an index page overflowed");
  const uint32_t pg = p->page;
  cache_[pg] = Cached{pager_.version(pg), std::move(p)};
}

bool IndexWriter::tryStore(const IndexPage& p) {
  PageBuf& dst = pager_.modify(p.page);
  if (!encodeIndexPage(pager_.format(), tdef_, p, dst)) return false;
  auto it = cache_.find(p.page);
  if (it != cache_.end() && it->second.page.get() == &p) {
    it->second.version = pager_.version(p.page);  // the cached page was changed in place
  } else {
    cache_[p.page] = Cached{pager_.version(p.page), std::make_shared<IndexPage>(p)};
  }
  return true;
}

bool IndexWriter::insertInPlace(const IndexPage& p, size_t slot) {
  // A leaf that gained one entry (at slot, not the first) is changed in
  // place when the shared prefix stays the same: the bytes after the new
  // entry move up, the entry is written, and the end-of-entry bits are
  // set again. Anything else goes through a full encode.
  const Format& fmt = pager_.format();
  if (!p.leaf || slot == 0 || p.entries.size() < 3) return false;
  auto it = cache_.find(p.page);
  if (it == cache_.end() || it->second.page.get() != &p) return false;
  size_t prefix = sharedPrefix(fmt, p);
  const size_t dataStart = fmt.offIndexEntries;
  const size_t cap = fmt.pageSize - dataStart;
  PageRef cur = pager_.page(p.page);
  if (cur->size() != fmt.pageSize) return false;
  size_t onPage = fmt.jet3 ? (*cur)[fmt.offIndexPrefixLen] : le16(cur->data() + fmt.offIndexPrefixLen);
  if (onPage != prefix) return false;
  size_t off = 0;
  for (size_t i = 0; i < slot; ++i) off += indexEntrySize(p.entries[i], true) - (i > 0 ? prefix : 0);
  const IndexEntry& e = p.entries[slot];
  if (e.key.size() < prefix) return false;
  size_t add = indexEntrySize(e, true) - prefix;
  size_t total = off + add;
  for (size_t i = slot + 1; i < p.entries.size(); ++i) total += indexEntrySize(p.entries[i], true) - prefix;
  if (total > cap) return false;
  size_t oldUsed = total - add;
  if (le16(cur->data() + 2) != cap - oldUsed) return false;
  cur.reset();
  PageBuf& dst = pager_.modify(p.page);
  uint8_t* d = dst.data() + dataStart;
  std::memmove(d + off + add, d + off, oldUsed - off);
  size_t k = e.key.size() - prefix;
  if (k) std::memcpy(d + off, e.key.data() + prefix, k);
  putBe24(d + off + k, e.row.page);
  d[off + k + 3] = static_cast<uint8_t>(e.row.row);
  // End-of-entry bits: those before the new entry stay; the rest are set
  // again.
  uint8_t* mask = dst.data() + fmt.offIndexBitmask;
  size_t maskLen = dataStart - fmt.offIndexBitmask;
  size_t firstByte = off / 8;
  if (firstByte < maskLen) {
    mask[firstByte] &= uint8_t((1u << (off % 8)) - 1);
    // The bit at `off` itself ends the previous entry: keep it.
    mask[firstByte] |= uint8_t(1u << (off % 8));
    std::memset(mask + firstByte + 1, 0, maskLen - firstByte - 1);
  }
  size_t pos = off;
  for (size_t i = slot; i < p.entries.size(); ++i) {
    pos += indexEntrySize(p.entries[i], true) - prefix;
    mask[pos / 8] |= uint8_t(1u << (pos % 8));
  }
  put16(dst.data() + 2, static_cast<uint16_t>(cap - total));
  it->second.version = pager_.version(p.page);
  return true;
}

uint32_t IndexWriter::newPage() {
  uint32_t pg = allocatePage(pager_);
  if (map_) UsageMapEditor(pager_, map_).add(pg);
  return pg;
}

void IndexWriter::dropPage(uint32_t pg) {
  cache_.erase(pg);
  if (map_) UsageMapEditor(pager_, map_).remove(pg);
  freePage(pager_, pg);
}

uint32_t IndexWriter::createEmptyRoot(Pager& pager, uint32_t tdefPage, uint32_t mapPtr) {
  uint32_t pg = allocatePage(pager);
  if (mapPtr) UsageMapEditor(pager, mapPtr).add(pg);
  IndexPage p;
  p.page = pg;
  p.leaf = true;
  PageBuf buf;
  encodeIndexPage(pager.format(), tdefPage, p, buf);
  pager.modify(pg) = std::move(buf);
  return pg;
}

uint32_t IndexWriter::descendTo(const std::vector<uint8_t>& key, RowId row, std::vector<Step>& path) {
  path.clear();
  uint32_t pg = root_;
  for (int depth = 0; depth < 32; ++depth) {
    {
      // Leaves are not parsed on the way down, nor are intermediate pages
      // this writer can read byte by byte.
      PageRef ref = pager_.page(pg);
      if (!ref->empty() && (*ref)[0] == pagetype::kIndexLeaf) return pg;
      if (const LeafLayout* l = nodeLayout(pg, *ref)) {
        const uint8_t* d = ref->data() + pager_.format().offIndexEntries;
        const size_t slot = lowerBound(d, *l, key, row);
        if (slot == l->ends.size()) {
          const uint32_t tail = get32le(ref->data() + pager_.format().offIndexTail);
          if (tail == 0) corrupt("an intermediate index page has no tail");
          path.push_back({pg, -1});
          pg = tail;
        } else {
          const uint8_t* c = d + l->ends[slot] - 4;
          path.push_back({pg, static_cast<int>(slot)});
          pg = (uint32_t(c[0]) << 24) | (uint32_t(c[1]) << 16) | (uint32_t(c[2]) << 8) | c[3];
        }
        continue;
      }
    }
    auto p = load(pg);
    if (p->leaf) return pg;
    // First entry >= (key,row); the tail when there is none.
    const auto& es = p->entries;
    auto it = std::lower_bound(es.begin(), es.end(), 0, [&](const IndexEntry& e, int) {
      return cmp(e, key, row) < 0;
    });
    if (it == es.end()) {
      if (p->tail == 0) corrupt("an intermediate index page has no tail");
      path.push_back({pg, -1});
      pg = p->tail;
    } else {
      path.push_back({pg, static_cast<int>(it - es.begin())});
      pg = it->child;
    }
  }
  corrupt("an index tree is impossibly deep");
}

void IndexWriter::insert(const std::vector<uint8_t>& key, RowId row) {
  std::vector<Step> path;
  uint32_t leafPg = descendTo(key, row, path);
  if (insertRaw(leafPg, key, row)) return;
  auto leafPtr = load(leafPg);
  if (!leafPtr->leaf) corrupt("an index leaf was expected");
  // The cached page is changed in place and written straight away; on any
  // error the owner drops this writer (and its cache).
  IndexPage& leaf = *leafPtr;
  auto& es = leaf.entries;
  auto it = std::lower_bound(es.begin(), es.end(), 0, [&](const IndexEntry& e, int) {
    return cmp(e, key, row) < 0;
  });
  if (it != es.end() && cmp(*it, key, row) == 0) return;  // already there
  size_t slot = static_cast<size_t>(it - es.begin());
  IndexEntry e;
  e.key = key;
  e.row = row;
  es.insert(it, std::move(e));
  if (insertInPlace(leaf, slot)) return;
  if (tryStore(leaf)) return;
  writeOrSplit(std::move(leafPtr), std::move(path), slot + 1 == es.size());
}

bool IndexWriter::splitFits(const IndexPage& p, size_t cut) const {
  const Format& fmt = pager_.format();
  IndexPage left, right;
  left.leaf = right.leaf = p.leaf;
  left.entries.assign(p.entries.begin(), p.entries.begin() + static_cast<std::ptrdiff_t>(cut));
  right.entries.assign(p.entries.begin() + static_cast<std::ptrdiff_t>(cut), p.entries.end());
  if (!p.leaf) left.entries.pop_back();  // its child becomes the left page's tail
  return indexPageFits(fmt, left) && indexPageFits(fmt, right);
}

void IndexWriter::writeOrSplit(std::shared_ptr<IndexPage> pp, std::vector<Step> path, bool appended) {
  IndexPage& p = *pp;
  if (indexPageFits(pager_.format(), p)) {
    storeOwned(std::move(pp));
    return;
  }
  if (p.entries.size() < 2) throw Error(err::kNotSupported, "An index key is too long for an index page.");
  cache_.erase(p.page);  // p is taken apart below
  size_t cut = 0;
  if (appended && p.next == 0) {
    // Growing at the right edge of its level (ascending keys): the old
    // entries stay together and the new one starts the next page, so pages
    // filled in key order end up full rather than half full.
    cut = p.entries.size() - 1;
  } else {
    // Split by bytes, half each.
    size_t total = 0;
    for (const auto& e : p.entries) total += indexEntrySize(e, p.leaf);
    size_t acc = 0;
    while (cut < p.entries.size() - 1 && acc + indexEntrySize(p.entries[cut], p.leaf) <= total / 2) {
      acc += indexEntrySize(p.entries[cut], p.leaf);
      ++cut;
    }
    if (cut == 0) cut = 1;
    // Halves by raw size may still not fit once their shared prefixes are
    // worked out: a page of many equal keys holds far more entries than
    // their raw size suggests, and a new key unlike the others (a Null
    // among equal texts) takes the prefix away from the half it lands in.
    // Then the cut nearest the middle at which both halves fit is taken.
    if (!splitFits(p, cut)) {
      const size_t n = p.entries.size();
      for (size_t d = 1; d < n; ++d) {
        if (cut > d && splitFits(p, cut - d)) { cut -= d; break; }
        if (cut + d < n && splitFits(p, cut + d)) { cut += d; break; }
      }
    }
  }
  // Left part: entries [0, cut); for an intermediate page the last of them
  // gives its child to the left page's tail.
  auto left = std::make_shared<IndexPage>();
  auto right = std::make_shared<IndexPage>();
  left->leaf = right->leaf = p.leaf;
  auto first = std::make_move_iterator(p.entries.begin());
  left->entries.assign(first, first + static_cast<std::ptrdiff_t>(cut));
  right->entries.assign(first + static_cast<std::ptrdiff_t>(cut), std::make_move_iterator(p.entries.end()));
  right->tail = p.tail;
  IndexEntry sep;  // the left page's last entry
  sep.key = left->entries.back().key;
  sep.row = left->entries.back().row;
  if (!p.leaf) {
    left->tail = left->entries.back().child;
    left->entries.pop_back();
  }

  if (path.empty()) {
    // The root splits: its contents move to two new pages, it becomes their
    // parent.
    uint32_t a = newPage(), b = newPage();
    left->page = a;
    right->page = b;
    left->prev = 0;
    left->next = b;
    right->prev = a;
    right->next = 0;
    storeOwned(std::move(left));
    storeOwned(std::move(right));
    auto root = std::make_shared<IndexPage>();
    root->page = p.page;
    root->leaf = false;
    sep.child = a;
    root->entries.push_back(std::move(sep));
    root->tail = b;
    storeOwned(std::move(root));
    return;
  }
  // Left keeps the page; right is new and follows it on its level.
  const uint32_t b = newPage();
  left->page = p.page;
  right->page = b;
  left->prev = p.prev;
  left->next = b;
  right->prev = p.page;
  right->next = p.next;
  if (p.next) {
    auto n = load(p.next);
    n->prev = b;
    store(*n);
  }
  const uint32_t leftPage = left->page;
  storeOwned(std::move(left));
  storeOwned(std::move(right));
  Step up = path.back();
  path.pop_back();
  // The parent's cached parse is changed in place (on any error the owner
  // drops this writer and its cache).
  auto parent = load(up.page);
  if (parent->leaf) corrupt("an intermediate index page was expected");
  sep.child = leftPage;
  if (up.slot < 0) {
    parent->entries.push_back(std::move(sep));
    parent->tail = b;
  } else {
    if (static_cast<size_t>(up.slot) >= parent->entries.size()) corrupt("an index path is out of step");
    // The old entry (the subtree's last entry) now leads to the right page.
    parent->entries[up.slot].child = b;
    parent->entries.insert(parent->entries.begin() + up.slot, std::move(sep));
  }
  writeOrSplit(std::move(parent), std::move(path), up.slot < 0);
}

bool IndexWriter::remove(const std::vector<uint8_t>& key, RowId row) {
  std::vector<Step> path;
  const uint32_t leafPg = descendTo(key, row, path);
  if (int r = removeRaw(leafPg, key, row); r >= 0) return r > 0;
  auto leafPtr = load(leafPg);
  if (!leafPtr->leaf) corrupt("an index leaf was expected");
  IndexPage leaf = *leafPtr;
  auto& es = leaf.entries;
  auto it = std::lower_bound(es.begin(), es.end(), 0, [&](const IndexEntry& e, int) {
    return cmp(e, key, row) < 0;
  });
  if (it == es.end() || cmp(*it, key, row) != 0) return false;
  bool wasLast = it + 1 == es.end();
  es.erase(it);
  if (es.empty() && !path.empty()) {
    unlinkEmpty(leaf, path);
    return true;
  }
  store(leaf);
  if (wasLast && !es.empty()) fixSeparators(leaf, path);
  return true;
}

void IndexWriter::fixSeparators(const IndexPage& child, std::vector<Step> path) {
  // The parent's copy of a child's last entry follows the child.
  const IndexEntry& last = child.entries.back();
  while (!path.empty()) {
    Step up = path.back();
    path.pop_back();
    if (up.slot >= 0) {
      auto parent = load(up.page);
      if (parent->leaf || static_cast<size_t>(up.slot) >= parent->entries.size())
        corrupt("an index path is out of step");
      IndexEntry& e = parent->entries[up.slot];
      e.key = last.key;
      e.row = last.row;
      writeOrSplit(std::move(parent), std::move(path), false);
      return;
    }
    // Reached through the tail: the parent's own last entry changed; go up.
  }
}

void IndexWriter::unlinkEmpty(IndexPage& p, std::vector<Step> path) {
  // Take the page out of its level's chain.
  if (p.prev) {
    IndexPage a = *load(p.prev);
    a.next = p.next;
    store(a);
  }
  if (p.next) {
    IndexPage b = *load(p.next);
    b.prev = p.prev;
    store(b);
  }
  dropPage(p.page);
  Step up = path.back();
  path.pop_back();
  IndexPage parent = *load(up.page);
  if (up.slot >= 0) {
    parent.entries.erase(parent.entries.begin() + up.slot);
  } else if (!parent.entries.empty()) {
    // The last listed child becomes the tail; the parent's last entry is now
    // that child's last entry, which is exactly the entry we drop.
    parent.tail = parent.entries.back().child;
    IndexEntry dropped = parent.entries.back();
    parent.entries.pop_back();
    if (path.empty()) {
      store(parent);
    } else {
      store(parent);
      IndexPage view = parent;
      view.entries.push_back(dropped);  // its new last entry
      fixSeparators(view, path);
      return;
    }
    return;
  } else {
    parent.tail = 0;
  }
  if (parent.entries.empty() && parent.tail == 0) {
    if (path.empty()) {
      // The root lost its last child: it becomes an empty leaf again.
      IndexPage root;
      root.page = parent.page;
      root.leaf = true;
      store(root);
      return;
    }
    unlinkEmpty(parent, path);
    return;
  }
  if (parent.entries.empty() && path.empty()) {
    // A root with one child: pull the child up so the tree stays shallow.
    IndexPage child = *load(parent.tail);
    IndexPage root = child;
    root.page = parent.page;
    root.prev = root.next = 0;
    dropPage(child.page);
    store(root);
    return;
  }
  store(parent);
}

bool IndexWriter::findKey(const std::vector<uint8_t>& key, RowId except, RowId* found) {
  std::vector<Step> path;
  uint32_t pg = descendTo(key, RowId{0, 0}, path);
  for (int hops = 0; pg && hops < 1000000; ++hops) {
    PageRef ref = pager_.page(pg);
    if (const LeafLayout* l = leafLayout(pg, *ref)) {
      const uint8_t* d = ref->data() + pager_.format().offIndexEntries;
      // Entries are sorted: start at the first entry not below `key` (no
      // row address sorts before (key, 0:0)).
      for (size_t i = lowerBound(d, *l, key, RowId{0, 0}); i < l->ends.size(); ++i) {
        RowId r = leafEntry(d, *l, i, keyA_);
        int c = compareKeys(keyA_, key);
        if (c < 0) continue;
        if (c > 0) return false;
        if (r == except) continue;
        if (found) *found = r;
        return true;
      }
      pg = get32le(ref->data() + pager_.format().offIndexNext);
      continue;
    }
    auto cur = load(pg);
    if (!cur->leaf) corrupt("an index leaf was expected");
    for (const auto& e : cur->entries) {
      int c = compareKeys(e.key, key);
      if (c < 0) continue;
      if (c > 0) return false;
      if (e.row == except) continue;
      if (found) *found = e.row;
      return true;
    }
    pg = cur->next;
  }
  return false;
}

}  // namespace jet
