// Text comparison by the General sort order, the one text indexes are built
// with: two texts are equal exactly when their General index keys (of the
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

namespace sql {

std::u32string decodeUtf8(std::string_view s);
std::string encodeUtf8(const std::u32string& s);
char32_t foldCase(char32_t c);     // upper case
char32_t lowerCase(char32_t c);

// <0, 0, >0, as the texts' General keys (jet::appendWholeTextSortKey)
// compare. Trailing spaces (U+0020, the characters an index key leaves
// out) take no part: "Paris  " equals "Paris", and orders as it does.
int compareText(std::string_view a, std::string_view b);
// StrComp's text comparison: case folded, hyphens and apostrophes only
// breaking ties, every character taking part, trailing spaces too ("a"
// before "a ").
int compareTextWhole(std::string_view a, std::string_view b);
// s without its trailing spaces.
std::string_view withoutTrailingSpaces(std::string_view s);
inline bool textEquals(std::string_view a, std::string_view b) { return compareText(a, b) == 0; }
// The General key of s (whole, ascending) as a byte string: its plain byte
// order is compareText's order, equal exactly for texts compareText finds
// equal. Used for sorting, hashing, grouping.
std::string collationKey(std::string_view s);

// The first eight leading key codes of s (without its trailing spaces), one
// byte each, most significant first, zero after the end: when two prefixes
// differ, compareText orders the texts as the prefixes are ordered. False
// when a character's code has no one-byte form (the prefix then says
// nothing).
bool collationPrefix(std::string_view s, uint64_t& prefix);
// The same for the first sixteen weights: first holds the first eight (as
// collationPrefix gives them), second the next eight.
bool collationPrefix16(std::string_view s, uint64_t& first, uint64_t& second);

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
