// Edits made straight on a leaf's own bytes: reading its entries in place,
// finding a slot, and inserting or removing an entry without decoding and
// re-encoding the whole page. Part of IndexWriter (see index_writer.h); the
// rest of the class is in index_writer.cpp.
#include <algorithm>
#include <cstring>

#include "jet/bytes.h"
#include "jet/error.h"
#include "jet/index_writer.h"

namespace jet {

const IndexWriter::LeafLayout* IndexWriter::pageLayout(uint32_t pg, const PageBuf& b, bool leaf) {
  const uint64_t version = pager_.version(pg);
  const size_t suffix = leaf ? 4 : 8;
  auto found = leaves_.find(pg);
  if (found != leaves_.end() && found->second.version == version)
    return found->second.suffix == suffix ? &found->second : nullptr;
  // The entry ends of a page from its bitmask, checked the way the parser
  // checks them.
  const Format& fmt = pager_.format();
  if (b.size() != fmt.pageSize || b[0] != (leaf ? pagetype::kIndexLeaf : pagetype::kIndexNode)) return nullptr;
  const size_t maskStart = fmt.offIndexBitmask;
  const size_t dataStart = fmt.offIndexEntries;
  if (dataStart <= maskStart || dataStart >= b.size()) return nullptr;
  const size_t maskLen = dataStart - maskStart;
  const size_t cap = fmt.pageSize - dataStart;
  if (found == leaves_.end()) {
    if (leaves_.size() >= 4096) leaves_.clear();  // bounded: a few MB per index
    found = leaves_.emplace(pg, LeafLayout{}).first;
  }
  LeafLayout& l = found->second;
  l.version = 0;
  l.suffix = suffix;
  l.prefix = fmt.jet3 ? b[fmt.offIndexPrefixLen] : le16(b.data() + fmt.offIndexPrefixLen);
  auto& ends = l.ends;
  ends.clear();
  forEachEntryEnd(b.data() + maskStart, maskLen, [&](size_t end) { ends.push_back(static_cast<uint16_t>(end)); });
  const size_t n = ends.size();
  if (n == 0) return nullptr;
  const size_t used = ends.back();
  if (used > cap || le16(b.data() + 2) != cap - used) return nullptr;
  if (ends[0] < l.prefix + suffix) return nullptr;
  for (size_t k = 1; k < n; ++k)
    if (ends[k] < ends[k - 1] + suffix) return nullptr;
  l.version = version;
  return &l;
}

RowId IndexWriter::leafEntry(const uint8_t* d, const LeafLayout& l, size_t i, std::vector<uint8_t>& k) {
  size_t start = i ? l.ends[i - 1] : 0, end = l.ends[i];
  k.clear();
  if (i) k.insert(k.end(), d, d + l.prefix);
  const size_t rowAt = end - l.suffix;
  k.insert(k.end(), d + start, d + rowAt);
  RowId r;
  r.page = (uint32_t(d[rowAt]) << 16) | (uint32_t(d[rowAt + 1]) << 8) | d[rowAt + 2];
  r.row = d[rowAt + 3];
  return r;
}

int IndexWriter::compareLeafEntry(const uint8_t* d, const LeafLayout& l, size_t i,
                                  const std::vector<uint8_t>& key, RowId row) {
  // Entry i's key is the shared prefix (the first entry's first bytes) and
  // then its own bytes; the first entry holds its whole key.
  const size_t start = i ? l.ends[i - 1] : 0, end = l.ends[i];
  const size_t pre = i ? l.prefix : 0;
  const size_t rowAt = end - l.suffix;
  const size_t ownLen = rowAt - start;
  const size_t n1 = std::min(pre, key.size());
  if (n1) {
    int c = std::memcmp(d, key.data(), n1);
    if (c) return c < 0 ? -1 : 1;
  }
  if (key.size() < pre) return 1;  // the entry is longer and equal so far
  const size_t rest = key.size() - pre;
  const size_t n2 = std::min(ownLen, rest);
  if (n2) {
    int c = std::memcmp(d + start, key.data() + pre, n2);
    if (c) return c < 0 ? -1 : 1;
  }
  if (ownLen != rest) return ownLen < rest ? -1 : 1;
  RowId r;
  r.page = (uint32_t(d[rowAt]) << 16) | (uint32_t(d[rowAt + 1]) << 8) | d[rowAt + 2];
  r.row = d[rowAt + 3];
  if (r == row) return 0;
  return r < row ? -1 : 1;
}

size_t IndexWriter::lowerBound(const uint8_t* d, const LeafLayout& l, const std::vector<uint8_t>& key, RowId row) {
  const size_t n = l.ends.size();
  // Every entry starts with the page's shared prefix: compared once, it
  // either places the key before or after all entries or drops out of each
  // comparison below.
  const size_t pre = l.prefix;
  const size_t n1 = std::min(pre, key.size());
  if (n1) {
    int c = std::memcmp(d, key.data(), n1);
    if (c > 0) return 0;
    if (c < 0) return n;
  }
  if (key.size() < pre) return 0;  // a proper prefix of every key
  const uint8_t* rest = key.data() + pre;
  const size_t restLen = key.size() - pre;
  auto less = [&](size_t i) {  // entry i < (key,row)
    const size_t start = i ? l.ends[i - 1] : pre;
    const size_t rowAt = l.ends[i] - l.suffix;
    const size_t own = rowAt - start;
    const size_t m = std::min(own, restLen);
    int c = m ? std::memcmp(d + start, rest, m) : 0;
    if (c) return c < 0;
    if (own != restLen) return own < restLen;
    RowId r;
    r.page = (uint32_t(d[rowAt]) << 16) | (uint32_t(d[rowAt + 1]) << 8) | d[rowAt + 2];
    r.row = d[rowAt + 3];
    return r < row;
  };
  size_t lo = 0, hi = n;
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (less(mid)) lo = mid + 1;
    else hi = mid;
  }
  return lo;
}

bool IndexWriter::insertRaw(uint32_t pg, const std::vector<uint8_t>& key, RowId row) {
  // Works on the leaf's bytes directly: the entry ends come from the
  // bitmask, the new entry goes in between (or after the last) when the
  // shared prefix stays the same and it fits. Anything else: false, nothing
  // written, the caller takes the general path.
  const Format& fmt = pager_.format();
  PageRef cur = pager_.page(pg);
  const PageBuf& b = *cur;
  const LeafLayout* lp = leafLayout(pg, b);
  if (!lp) return false;
  const LeafLayout& l = *lp;
  const size_t prefix = l.prefix;
  const size_t maskStart = fmt.offIndexBitmask;
  const size_t dataStart = fmt.offIndexEntries;
  const size_t maskLen = dataStart - maskStart;
  const size_t cap = fmt.pageSize - dataStart;
  const size_t n = l.ends.size();
  const size_t used = l.ends.back();
  const uint8_t* d = b.data() + dataStart;
  const size_t slot = lowerBound(d, l, key, row);
  if (slot < n && compareLeafEntry(d, l, slot, key, row) == 0) return true;  // already there
  if (slot == 0 || n < 2) return insertRebuilt(pg, b, l, slot, key, row);
  // The shared prefix as the full encoder would compute it: what the first
  // and the last key have in common.
  leafEntry(d, l, 0, keyA_);
  const std::vector<uint8_t>* last = &key;
  if (slot < n) {
    leafEntry(d, l, n - 1, keyB_);
    last = &keyB_;
  }
  size_t lim = std::min(keyA_.size(), last->size()), common = 0;
  while (common < lim && keyA_[common] == (*last)[common]) ++common;
  if (fmt.jet3) common = std::min<size_t>(common, 255);
  if (common != prefix || key.size() < prefix || std::memcmp(key.data(), keyA_.data(), prefix) != 0)
    return insertRebuilt(pg, b, l, slot, key, row);
  const size_t add = key.size() + 4 - prefix;
  const size_t total = used + add;
  if (total > cap || total / 8 >= maskLen) return false;
  const size_t off = slot ? l.ends[slot - 1] : 0;
  cur.reset();
  cache_.erase(pg);
  PageBuf& dst = pager_.modify(pg);
  uint8_t* w = dst.data() + dataStart;
  std::memmove(w + off + add, w + off, used - off);
  size_t k = key.size() - prefix;
  if (k) std::memcpy(w + off, key.data() + prefix, k);
  putBe24(w + off + k, row.page);
  w[off + k + 3] = static_cast<uint8_t>(row.row);
  uint8_t* mask = dst.data() + maskStart;
  size_t firstByte = off / 8;
  mask[firstByte] &= uint8_t((1u << (off % 8)) - 1);
  mask[firstByte] |= uint8_t(1u << (off % 8));  // the end of the entry before
  std::memset(mask + firstByte + 1, 0, maskLen - firstByte - 1);
  size_t pos = off + add;
  mask[pos / 8] |= uint8_t(1u << (pos % 8));
  for (size_t i = slot; i < n; ++i) {
    pos = l.ends[i] + add;
    mask[pos / 8] |= uint8_t(1u << (pos % 8));
  }
  put16(dst.data() + 2, static_cast<uint16_t>(cap - total));
  // The layout follows the change instead of being read again.
  LeafLayout& upd = leaves_[pg];
  upd.ends.insert(upd.ends.begin() + static_cast<std::ptrdiff_t>(slot), static_cast<uint16_t>(off + add));
  for (size_t i = slot + 1; i < upd.ends.size(); ++i) upd.ends[i] = static_cast<uint16_t>(upd.ends[i] + add);
  upd.version = pager_.version(pg);
  return true;
}

bool IndexWriter::insertRebuilt(uint32_t pg, const PageBuf& b, const LeafLayout& l, size_t slot,
                                const std::vector<uint8_t>& key, RowId row) {
  const Format& fmt = pager_.format();
  const size_t dataStart = fmt.offIndexEntries;
  const size_t cap = fmt.pageSize - dataStart;
  const uint8_t* d = b.data() + dataStart;
  const size_t n = l.ends.size();
  // Every entry of the new page as its key (in at most two pieces: the old
  // page's shared prefix, then its own bytes) and its four row bytes.
  struct Piece {
    const uint8_t* pre;
    size_t preLen;
    const uint8_t* own;
    size_t ownLen;
    const uint8_t* row;
    size_t size() const { return preLen + ownLen; }
    uint8_t at(size_t j) const { return j < preLen ? pre[j] : own[j - preLen]; }
  };
  uint8_t newRow[4];
  putBe24(newRow, row.page);
  newRow[3] = static_cast<uint8_t>(row.row);
  std::vector<Piece> es;
  es.reserve(n + 1);
  for (size_t i = 0; i <= n; ++i) {
    if (i == slot) es.push_back(Piece{nullptr, 0, key.data(), key.size(), newRow});
    if (i == n) break;
    const size_t start = i ? l.ends[i - 1] : 0, rowAt = l.ends[i] - l.suffix;
    es.push_back(Piece{d, i ? l.prefix : 0, d + start, rowAt - start, d + rowAt});
  }
  // The shared prefix, worked out as the full encoder does.
  const Piece& first = es.front();
  const Piece& last = es.back();
  size_t prefix = 0;
  const size_t lim = std::min(first.size(), last.size());
  while (prefix < lim && first.at(prefix) == last.at(prefix)) ++prefix;
  for (const Piece& e : es) {
    if (prefix == 0) break;
    size_t m = std::min(prefix, e.size()), k = 0;
    while (k < m && e.at(k) == first.at(k)) ++k;
    prefix = k;
  }
  if (fmt.jet3) prefix = std::min<size_t>(prefix, 255);
  size_t total = 0;
  for (size_t i = 0; i < es.size(); ++i) total += es[i].size() + 4 - (i ? prefix : 0);
  if (total > cap || total / 8 >= dataStart - fmt.offIndexBitmask) return false;
  PageBuf& out = rebuilt_;
  out.assign(fmt.pageSize, 0);
  out[0] = pagetype::kIndexLeaf;
  out[1] = 0x01;
  put16(out.data() + 2, static_cast<uint16_t>(cap - total));
  put32(out.data() + 4, tdef_);
  put32(out.data() + fmt.offIndexPrev, get32le(b.data() + fmt.offIndexPrev));
  put32(out.data() + fmt.offIndexNext, get32le(b.data() + fmt.offIndexNext));
  put32(out.data() + fmt.offIndexTail, get32le(b.data() + fmt.offIndexTail));
  if (fmt.jet3) {
    out[fmt.offIndexPrefixLen] = static_cast<uint8_t>(prefix);
  } else {
    put16(out.data() + fmt.offIndexPrefixLen, static_cast<uint16_t>(prefix));
  }
  uint8_t* w = out.data() + dataStart;
  size_t pos = 0;
  for (size_t i = 0; i < es.size(); ++i) {
    const Piece& e = es[i];
    for (size_t j = i ? prefix : 0; j < e.size(); ++j) w[pos++] = e.at(j);
    std::memcpy(w + pos, e.row, 4);
    pos += 4;
    out[fmt.offIndexBitmask + pos / 8] |= uint8_t(1u << (pos % 8));
  }
  cache_.erase(pg);
  leaves_.erase(pg);
  PageBuf& dst = pager_.modify(pg);
  std::memcpy(dst.data(), out.data(), fmt.pageSize);
  return true;
}


int IndexWriter::removeRaw(uint32_t pg, const std::vector<uint8_t>& key, RowId row) {
  // An entry that is neither the first nor the last of its leaf goes out of
  // the page's bytes directly: the first entry (stored whole) and the last
  // (copied into the parent) stay, so the shared prefix and the parent's
  // separators stay right. The bytes after it move down and the end-of-entry
  // bits from it on are set again.
  const Format& fmt = pager_.format();
  PageRef cur = pager_.page(pg);
  const LeafLayout* lp = leafLayout(pg, *cur);
  if (!lp) return -1;
  const LeafLayout& l = *lp;
  const size_t n = l.ends.size();
  const size_t maskStart = fmt.offIndexBitmask;
  const size_t dataStart = fmt.offIndexEntries;
  const size_t maskLen = dataStart - maskStart;
  const size_t cap = fmt.pageSize - dataStart;
  const uint8_t* d = cur->data() + dataStart;
  const size_t slot = lowerBound(d, l, key, row);
  if (slot >= n || compareLeafEntry(d, l, slot, key, row) != 0) return 0;  // not there
  if (slot == 0 || slot + 1 >= n) return -1;
  const size_t off = l.ends[slot - 1];
  const size_t del = l.ends[slot] - off;
  const size_t used = l.ends.back();
  cur.reset();
  cache_.erase(pg);
  PageBuf& dst = pager_.modify(pg);
  uint8_t* w = dst.data() + dataStart;
  std::memmove(w + off, w + off + del, used - off - del);
  std::memset(w + used - del, 0, del);
  uint8_t* mask = dst.data() + maskStart;
  const size_t firstByte = off / 8;
  mask[firstByte] &= uint8_t((1u << (off % 8)) - 1);
  mask[firstByte] |= uint8_t(1u << (off % 8));  // the end of the entry before
  std::memset(mask + firstByte + 1, 0, maskLen - firstByte - 1);
  for (size_t i = slot + 1; i < n; ++i) {
    const size_t pos = l.ends[i] - del;
    mask[pos / 8] |= uint8_t(1u << (pos % 8));
  }
  put16(dst.data() + 2, static_cast<uint16_t>(cap - (used - del)));
  LeafLayout& upd = leaves_[pg];
  upd.ends.erase(upd.ends.begin() + static_cast<std::ptrdiff_t>(slot));
  for (size_t i = slot; i < upd.ends.size(); ++i) upd.ends[i] = static_cast<uint16_t>(upd.ends[i] - del);
  upd.version = pager_.version(pg);
  return 1;
}


}  // namespace jet
