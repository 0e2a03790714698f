#include "sql/collate.h"

#include <algorithm>
#include <cctype>
#include <compare>
#include <type_traits>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_key.h"
#include "jet/index_codes.h"
#include "jet/text.h"

namespace sql {

std::u32string decodeUtf8(std::string_view s) { return jet::utf8ToCodePoints(s); }

std::string encodeUtf8(const std::u32string& s) { return jet::codePointsToUtf8(s); }

char32_t foldCase(char32_t c) {
  if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 32 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x137) return c & ~1u;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c : c - 1;
  if (c >= 0x14A && c <= 0x177) return c & ~1u;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c : c - 1;
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return c - 32;
  if (c >= 0x430 && c <= 0x44F) return c - 32;
  if (c >= 0x450 && c <= 0x45F) return c - 80;
  return c;
}

char32_t lowerCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 32;
  if (c == 0x178) return 0xFF;
  if (c >= 0x100 && c <= 0x137) return c | 1u;
  if (c >= 0x139 && c <= 0x148) return (c & 1) ? c + 1 : c;
  if (c >= 0x14A && c <= 0x177) return c | 1u;
  if (c >= 0x179 && c <= 0x17E) return (c & 1) ? c + 1 : c;
  if (c >= 0x391 && c <= 0x3A9) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

namespace {

// Base letter of an upper-case Latin letter with a diacritic.
char32_t baseLetter(char32_t c) {
  if (c < 0xC0) return c;
  if (c <= 0xDD) {
    static const char* map = "AAAAAAACEEEEIIIIDNOOOOO*OUUUUY";
    char b = map[c - 0xC0];
    return b == '*' ? c : static_cast<char32_t>(b);
  }
  if (c >= 0x100 && c <= 0x17F) {
    static const char ext[] = "AAAAAACCCCCCCCDDDDEEEEEEEEEEGGGGGGGGHHHHIIIIIIIIIIIIJJKKKLLLLLLLLLLNNNNNNNNNOOOOOOOORRRRRRSSSSSSSSTTTTTTUUUUUUUUUUUUWWYYYZZZZZZS";
    size_t k = c - 0x100;
    if (k < sizeof(ext) - 1) {
      char b = ext[k];
      return static_cast<char32_t>(b);
    }
  }
  if (c == 0x178) return 'Y';
  return c;
}

bool ignorable(char32_t c) { return c == '-' || c == '\'' || c == 0xAD; }

uint32_t primaryWeight(char32_t folded) {
  char32_t b = baseLetter(folded);
  uint32_t cls;
  if (b >= '0' && b <= '9') cls = 2;
  else if ((b >= 'A' && b <= 'Z') || b >= 0xC0) cls = 3;
  else cls = 1;
  return (cls << 24) | static_cast<uint32_t>(b);
}

bool isAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

int compareAscii(std::string_view a, std::string_view b) {
  // Primary: case folded, hyphens and apostrophes skipped.
  size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && ignorable(static_cast<unsigned char>(a[i]))) ++i;
    while (j < b.size() && ignorable(static_cast<unsigned char>(b[j]))) ++j;
    if (i == a.size() || j == b.size()) {
      if (i != a.size()) return 1;
      if (j != b.size()) return -1;
      break;
    }
    uint32_t x = primaryWeight(foldCase(static_cast<unsigned char>(a[i])));
    uint32_t y = primaryWeight(foldCase(static_cast<unsigned char>(b[j])));
    if (x != y) return x < y ? -1 : 1;
    ++i;
    ++j;
  }
  // Secondary: every character, case folded.
  size_t n = std::min(a.size(), b.size());
  for (size_t k = 0; k < n; ++k) {
    char32_t x = foldCase(static_cast<unsigned char>(a[k])), y = foldCase(static_cast<unsigned char>(b[k]));
    if (x != y) {
      uint32_t wx = ignorable(x) ? 0 : primaryWeight(x), wy = ignorable(y) ? 0 : primaryWeight(y);
      // ignorable characters tie on weight and go by their codes (as in
      // collationKey), so that a hyphen and an apostrophe order one way only
      if (wx == wy) return x < y ? -1 : 1;
      return wx < wy ? -1 : 1;
    }
  }
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  return 0;
}

void put24(std::string& out, uint32_t w) {
  out.push_back(static_cast<char>((w >> 16) & 0xFF));
  out.push_back(static_cast<char>((w >> 8) & 0xFF));
  out.push_back(static_cast<char>(w & 0xFF));
}

}  // namespace

std::string_view withoutTrailingSpaces(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

namespace {
// collationKey without dropping trailing spaces.
std::string keyOf(std::string_view s) {
  std::u32string u = decodeUtf8(s);
  std::string out;
  out.reserve(u.size() * 8 + 4);
  for (char32_t c : u) {
    if (ignorable(c)) continue;
    uint32_t w = primaryWeight(foldCase(c));
    out.push_back(static_cast<char>(w >> 24));
    put24(out, w & 0xFFFFFF);
  }
  out.push_back('\0');
  for (char32_t c : u) {
    char32_t f = foldCase(c);
    uint32_t w = ignorable(f) ? 0 : primaryWeight(f);
    out.push_back(static_cast<char>(w >> 24));
    put24(out, static_cast<uint32_t>(f) & 0xFFFFFF);
  }
  return out;
}

}  // namespace

Collation::Collation(jet::TextSortOrder order) : order_(order), rank_(0x10000, 0) {
  const bool jet3 = order == jet::TextSortOrder::General97;
  // Jet 3 keys end their codes with 00 (no accents follow); the later
  // orders with 01, the empty extra section and 00. Plain codes are one
  // byte long there, two in General.
  plainEnd_ = jet3 ? std::string(1, '\0') : std::string("\x01\0", 2);
  codeLen_ = order == jet::TextSortOrder::General ? 2 : 1;
  const uint8_t lowest = jet3 ? 0x00 : 0x01;  // the end marker after the codes
  std::vector<uint16_t> codes;
  for (int c = 0x20; c < 0x7F; ++c) {
    jet::CharSortCode k = jet::charSortCode(order, static_cast<char16_t>(c));
    // Jet 3's "significant" characters only count positions for accents
    // that follow: with no accented character they are plain
    bool simple = k.kind == jet::CharKind::Simple || (jet3 && k.kind == jet::CharKind::Significant);
    if (!simple || k.extraLen != 0 || k.inlineLen != codeLen_ || k.inl[0] <= lowest) continue;
    ascii_[c] = codeLen_ == 2 ? static_cast<uint16_t>(k.inl[0] << 8 | k.inl[1]) : k.inl[0];
    codes.push_back(ascii_[c]);
  }
  std::sort(codes.begin(), codes.end());
  codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
  for (uint32_t u = 0; u < 0x10000; ++u) {
    if (u >= 0xD800 && u <= 0xDFFF) continue;
    jet::CharSortCode k = jet::charSortCode(order, static_cast<char16_t>(u));
    if (k.inlineLen == 0) {
      rank_[u] = kSkip;
    } else if (k.inlineLen == codeLen_) {
      uint16_t code = codeLen_ == 2 ? static_cast<uint16_t>(k.inl[0] << 8 | k.inl[1]) : k.inl[0];
      auto it = std::lower_bound(codes.begin(), codes.end(), code);
      if (it != codes.end() && *it == code) rank_[u] = static_cast<uint8_t>(1 + (it - codes.begin()));
    }
  }
}

const Collation& Collation::of(jet::TextSortOrder order) {
  switch (order) {
    case jet::TextSortOrder::General97: {
      static const Collation c(order);
      return c;
    }
    case jet::TextSortOrder::GeneralLegacy: {
      static const Collation c(order);
      return c;
    }
    case jet::TextSortOrder::General:
    case jet::TextSortOrder::Unsupported: break;
  }
  static const Collation general(jet::TextSortOrder::General);
  return general;
}

const Collation& generalCollation() { return Collation::of(jet::TextSortOrder::General); }

const Collation& collationOf(const jet::Database* db) {
  if (!db) return generalCollation();
  const jet::Header& h = db->header();
  return Collation::of(jet::databaseSortOrder(db->format(), h.sortOrder, h.sortVersion));
}

// The ascending key of the whole text (trailing spaces take no part in it).
void Collation::sortKey(std::string_view s, std::vector<uint8_t>& out) const {
  out.clear();
  jet::appendWholeTextSortKey(order_, jet::utf8ToUtf16(s), out);
}

bool Collation::plain(std::string_view s) const {
  for (char c : s)
    if (!ascii_[static_cast<unsigned char>(c)]) return false;
  return true;
}

std::string Collation::key(std::string_view s) const {
  s = withoutTrailingSpaces(s);
  std::string out;
  if (plain(s)) {
    out.reserve(codeLen_ * s.size() + plainEnd_.size());
    for (char c : s) {
      uint16_t k = ascii_[static_cast<unsigned char>(c)];
      if (codeLen_ == 2) out.push_back(static_cast<char>(k >> 8));
      out.push_back(static_cast<char>(k & 0xFF));
    }
    out += plainEnd_;
    return out;
  }
  std::vector<uint8_t> k;
  sortKey(s, k);
  out.assign(k.begin(), k.end());
  return out;
}

// The first 8 * nWords leading codes of s as prefix describes them, eight
// to a word. A key starts with the leading codes of its characters, then an
// end marker below every code: so where two such rank strings differ, the
// keys differ there the same way.
bool Collation::prefixWeights(std::string_view s, uint64_t* words, int nWords) const {
  s = withoutTrailingSpaces(s);
  for (int k = 0; k < nWords; ++k) words[k] = 0;
  int n = 0;
  size_t i = 0;
  while (i < s.size() && n < 8 * nWords) {
    auto b = static_cast<unsigned char>(s[i]);
    uint32_t c;
    if (b < 0x80) {
      c = b;
      ++i;
    } else {
      size_t len = (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : 1;
      if (len == 1 || i + len > s.size()) return false;
      std::u32string u = decodeUtf8(s.substr(i, len));
      if (u.size() != 1 || u[0] > 0xFFFF) return false;
      c = u[0];
      i += len;
    }
    const uint8_t r = rank_[c];
    if (r == kSkip) continue;
    if (r == 0) return false;
    words[n / 8] |= static_cast<uint64_t>(r) << (8 * (7 - n % 8));
    ++n;
  }
  return true;
}

bool Collation::prefix(std::string_view s, uint64_t& prefix) const { return prefixWeights(s, &prefix, 1); }

bool Collation::prefix16(std::string_view s, uint64_t& first, uint64_t& second) const {
  uint64_t w[2];
  if (!prefixWeights(s, w, 2)) return false;
  first = w[0];
  second = w[1];
  return true;
}

int Collation::compare(std::string_view a, std::string_view b) const {
  if (a == b) return 0;  // the same text (the common case of an equality filter)
  a = withoutTrailingSpaces(a);
  b = withoutTrailingSpaces(b);
  // Plain ASCII: the keys are the characters' codes, so the first differing
  // code decides, or else the shorter text comes first. Every character up
  // to the difference must be a plain one (each then adds the same number
  // of bytes at the same place of both keys); after it nothing can change
  // the answer.
  const size_t n = std::min(a.size(), b.size());
  size_t i = 0;
  for (; i < n; ++i) {
    uint16_t x = ascii_[static_cast<unsigned char>(a[i])], y = ascii_[static_cast<unsigned char>(b[i])];
    if (!x || !y) break;
    if (x != y) return x < y ? -1 : 1;
  }
  if (i == n && plain(a.substr(n)) && plain(b.substr(n)))
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
  thread_local std::vector<uint8_t> ka, kb;
  sortKey(a, ka);
  sortKey(b, kb);
  return std::lexicographical_compare_three_way(ka.begin(), ka.end(), kb.begin(), kb.end()) < 0 ? -1
         : ka == kb ? 0 : 1;
}

int compareText(std::string_view a, std::string_view b) { return generalCollation().compare(a, b); }
std::string collationKey(std::string_view s) { return generalCollation().key(s); }
bool collationPrefix(std::string_view s, uint64_t& prefix) { return generalCollation().prefix(s, prefix); }
bool collationPrefix16(std::string_view s, uint64_t& first, uint64_t& second) {
  return generalCollation().prefix16(s, first, second);
}

int compareTextWhole(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  if (isAscii(a) && isAscii(b)) return compareAscii(a, b);
  std::string ka = keyOf(a), kb = keyOf(b);
  int c = ka.compare(kb);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

LikePattern::LikePattern(std::string_view pattern) {
  std::u32string p = decodeUtf8(pattern);
  for (size_t i = 0; i < p.size(); ++i) {
    Item it{Item::Literal};
    char32_t c = p[i];
    if (c == '*') {
      if (!items_.empty() && items_.back().kind == Item::Many) continue;
      it.kind = Item::Many;
    } else if (c == '?') {
      it.kind = Item::Any;
    } else if (c == '#') {
      it.kind = Item::Digit;
    } else if (c == '[') {
      size_t j = i + 1;
      it.kind = Item::Set;
      if (j < p.size() && p[j] == '!') { it.negate = true; ++j; }
      bool closed = false;
      bool first = true;
      while (j < p.size()) {
        if (p[j] == ']' && !first) { closed = true; break; }
        if (p[j] == ']' && first) {  // [] matches the empty string in the product; treat as nothing
          closed = true;
          break;
        }
        char32_t lo = foldCase(p[j]);
        char32_t hi = lo;
        if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
          hi = foldCase(p[j + 2]);
          j += 2;
        }
        if (hi < lo) throw jet::Error(jet::err::kSyntax, "Invalid pattern string.");
        it.ranges.push_back({lo, hi});
        ++j;
        first = false;
      }
      if (!closed) throw jet::Error(jet::err::kSyntax, "Invalid pattern string.");
      i = j;
      if (it.ranges.empty() && !it.negate) continue;  // "[]" matches a zero-length string
    } else {
      it.ch = foldCase(c);
    }
    items_.push_back(std::move(it));
  }
  while (prefix_.size() < items_.size() && items_[prefix_.size()].kind == Item::Literal && items_[prefix_.size()].ch < 0x80)
    prefix_.push_back(static_cast<char>(items_[prefix_.size()].ch));
  prefixOnly_ = items_.size() == prefix_.size() + 1 && items_.back().kind == Item::Many;
}

bool LikePattern::matchItem(const Item& it, char32_t c) const {
  switch (it.kind) {
    case Item::Literal: return foldCase(c) == it.ch;
    case Item::Any: return true;
    case Item::Digit: return c >= '0' && c <= '9';
    case Item::Set: {
      char32_t f = foldCase(c);
      bool in = false;
      for (auto& r : it.ranges)
        if (f >= r.first && f <= r.second) { in = true; break; }
      return in != it.negate;
    }
    case Item::Many: return true;
  }
  return false;
}

template <class Text>
bool LikePattern::matchAll(const Text& t) const {
  size_t ti = 0, pi = 0;
  size_t starP = std::string::npos, starT = 0;
  while (ti < t.size()) {
    if (pi < items_.size() && items_[pi].kind == Item::Many) {
      starP = pi++;
      starT = ti;
    } else if (pi < items_.size() && matchItem(items_[pi], static_cast<char32_t>(static_cast<std::make_unsigned_t<typename Text::value_type>>(t[ti])))) {
      ++pi;
      ++ti;
    } else if (starP != std::string::npos) {
      pi = starP + 1;
      ti = ++starT;
    } else {
      return false;
    }
  }
  while (pi < items_.size() && items_[pi].kind == Item::Many) ++pi;
  return pi == items_.size();
}

bool LikePattern::matches(std::string_view text) const {
  // Leading ASCII letters of the pattern: the text's first bytes must be the
  // same characters (no other character folds to an ASCII one).
  if (!prefix_.empty()) {
    if (text.size() < prefix_.size()) return false;
    for (size_t i = 0; i < prefix_.size(); ++i) {
      auto b = static_cast<unsigned char>(text[i]);
      if (b >= 0x80 || static_cast<char>(foldCase(b)) != prefix_[i]) return false;
    }
    if (prefixOnly_) return true;
  }
  // ASCII text is matched byte by byte, without decoding it first
  if (isAscii(text)) return matchAll(text);
  return matchAll(decodeUtf8(text));
}

bool like(std::string_view text, std::string_view pattern) { return LikePattern(pattern).matches(text); }

}  // namespace sql
