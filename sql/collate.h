// Text comparison by a database's sort order, the one its text indexes are
// built with: two texts are equal exactly when their index keys (of the
// whole text) are, and order as those keys do. So case and trailing spaces
// take no part, some characters sort as letters ("ß" as "ss"), others take
// no part at all (a soft hyphen), and hyphens and apostrophes matter only
// to break ties between texts that are otherwise equal. Also the Like
// operator, for which trailing spaces do count.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "jet/index_codes.h"

namespace jet {
class Database;
}

namespace sql {

std::u32string decodeUtf8(std::string_view s);
std::string encodeUtf8(const std::u32string& s);
char32_t foldCase(char32_t c);     // upper case
char32_t lowerCase(char32_t c);

// The order of texts in one database's statements: two texts are equal
// exactly when their index keys (of the whole text) in the database's sort
// order are, and order as those keys do. Trailing spaces (U+0020, the
// characters a key leaves out) take no part: "Paris  " equals "Paris".
// One object per sort order, made once and never destroyed; a statement
// holds a reference to its database's.
class Collation {
 public:
  // The collation of a sort order (General for one that is not supported).
  static const Collation& of(jet::TextSortOrder order);
  jet::TextSortOrder order() const { return order_; }

  // <0, 0, >0, as the texts' keys compare.
  int compare(std::string_view a, std::string_view b) const;
  bool equals(std::string_view a, std::string_view b) const { return compare(a, b) == 0; }
  // The key of s (whole, ascending) as a byte string: its plain byte order
  // is compare's order, equal exactly for texts compare finds equal. Used
  // for sorting, hashing, grouping.
  std::string key(std::string_view s) const;
  // The first eight leading key codes of s (without its trailing spaces),
  // one byte each (their rank among the codes of printable ASCII), most
  // significant first, zero after the end: when two prefixes differ,
  // compare orders the texts as the prefixes are ordered. False when a
  // character's code has no one-byte form (the prefix then says nothing).
  bool prefix(std::string_view s, uint64_t& prefix) const;
  // The same for the first sixteen codes: first holds the first eight (as
  // prefix gives them), second the next eight.
  bool prefix16(std::string_view s, uint64_t& first, uint64_t& second) const;

  Collation(const Collation&) = delete;
  Collation& operator=(const Collation&) = delete;

 private:
  explicit Collation(jet::TextSortOrder order);
  void sortKey(std::string_view s, std::vector<uint8_t>& out) const;
  bool plain(std::string_view s) const;
  bool prefixWeights(std::string_view s, uint64_t* words, int nWords) const;

  jet::TextSortOrder order_;
  // Printable ASCII characters whose whole contribution to a key is one
  // leading code of codeLen_ bytes (nothing in the later sections): a text
  // of such characters only has the key "codes, plainEnd_", so two of them
  // compare as their code sequences do, a shorter one first. 0 for every
  // other byte.
  uint16_t ascii_[256] = {};
  uint8_t codeLen_ = 2;
  std::string plainEnd_;  // what follows the codes of a plain text's key
  // Rank (1..) of each of those codes among them, for prefixes; a code
  // unit whose leading code is one of them gets its rank too, one that has
  // no leading code kSkip, any other 0 (no one-byte form).
  std::vector<uint8_t> rank_;
  static constexpr uint8_t kSkip = 0xFF;
};

// The General order's collation (statements without a database).
const Collation& generalCollation();
// The collation of statements on db: its own sort order (General when it
// is not supported, or db is null).
const Collation& collationOf(const jet::Database* db);

// The General collation's compare, equals, key and prefixes, for callers
// that have no database.
int compareText(std::string_view a, std::string_view b);
inline bool textEquals(std::string_view a, std::string_view b) { return compareText(a, b) == 0; }
std::string collationKey(std::string_view s);
bool collationPrefix(std::string_view s, uint64_t& prefix);
bool collationPrefix16(std::string_view s, uint64_t& first, uint64_t& second);

// StrComp's text comparison: case folded, hyphens and apostrophes only
// breaking ties, every character taking part, trailing spaces too ("a"
// before "a ").
int compareTextWhole(std::string_view a, std::string_view b);
// s without its trailing spaces.
std::string_view withoutTrailingSpaces(std::string_view s);

// A compiled Like pattern: * ? # [a-z] [!a-z], without regard to case.
class LikePattern {
 public:
  explicit LikePattern(std::string_view pattern);
  bool matches(std::string_view text) const;

 private:
  struct Item {
    enum Kind { Literal, Any, Many, Digit, Set } kind;
    char32_t ch = 0;
    bool negate = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;
  };
  bool matchItem(const Item& it, char32_t c) const;
  template <class Text>
  bool matchAll(const Text& t) const;
  std::vector<Item> items_;
  std::string prefix_;       // the leading literal ASCII items, upper case
  bool prefixOnly_ = false;  // the pattern is prefix_ followed by one *
};

bool like(std::string_view text, std::string_view pattern);

}  // namespace sql
