// Texts compare by their General index keys: compareText, collationKey and
// the collation prefixes must all give the keys' answer, the plain-ASCII
// shortcuts included (checked here over every short ASCII text).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "jet/index_codes.h"
#include "jet/text.h"
#include "sql/collate.h"

namespace {

std::string keyOf(const std::string& s) {
  std::vector<uint8_t> k;
  jet::appendWholeTextSortKey(jet::TextSortOrder::General, jet::utf8ToUtf16(s), k);
  return std::string(k.begin(), k.end());
}

int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

int keyCompare(const std::string& a, const std::string& b) { return sign(a.compare(b)); }

// Checks every claim the collation functions make about a and b (with their
// keys ka and kb).
void expectAgree(const std::string& a, const std::string& ka, const std::string& b, const std::string& kb) {
  const int want = keyCompare(ka, kb);
  ASSERT_EQ(sign(sql::compareText(a, b)), want) << "'" << a << "' vs '" << b << "'";
  ASSERT_EQ(sign(sql::compareText(b, a)), -want) << "'" << b << "' vs '" << a << "'";
  uint64_t pa, pb, a1, a2, b1, b2;
  if (sql::collationPrefix(a, pa) && sql::collationPrefix(b, pb) && pa != pb) {
    ASSERT_EQ(pa < pb ? -1 : 1, want) << "prefix '" << a << "' vs '" << b << "'";
  }
  if (sql::collationPrefix16(a, a1, a2) && sql::collationPrefix16(b, b1, b2) && (a1 != b1 || a2 != b2)) {
    ASSERT_EQ((a1 != b1 ? a1 < b1 : a2 < b2) ? -1 : 1, want) << "prefix16 '" << a << "' vs '" << b << "'";
  }
}

}  // namespace

// Every text of up to three printable ASCII characters: collationKey is the
// key, and sorted by key, each neighbour compares as the keys do (compareText
// is an order, so that covers every pair); then random pairs across the set.
TEST(CollateKeys, EveryShortAsciiText) {
  std::vector<std::string> texts{""};
  for (int len = 1; len <= 3; ++len) {
    std::vector<std::string> next;
    for (const auto& t : texts)
      if (t.size() == static_cast<size_t>(len - 1))
        for (int c = 0x20; c < 0x7F; ++c) next.push_back(t + static_cast<char>(c));
    texts.insert(texts.end(), next.begin(), next.end());
  }
  ASSERT_EQ(texts.size(), 1u + 95 + 95 * 95 + 95 * 95 * 95);
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(texts.size());
  for (const auto& t : texts) {
    std::string k = keyOf(t);
    ASSERT_EQ(sql::collationKey(t), k) << "'" << t << "'";
    keyed.push_back({std::move(k), t});
  }
  std::sort(keyed.begin(), keyed.end());
  for (size_t i = 1; i < keyed.size(); ++i)
    expectAgree(keyed[i - 1].second, keyed[i - 1].first, keyed[i].second, keyed[i].first);
  std::mt19937 rng(11);
  for (int n = 0; n < 200000; ++n) {
    const auto& x = keyed[rng() % keyed.size()];
    const auto& y = keyed[rng() % keyed.size()];
    expectAgree(x.second, x.first, y.second, y.first);
  }
}

// Texts mixing plain ASCII with what the shortcuts must not decide: accents,
// ß, ligatures, soft hyphens, hyphens, apostrophes, tabs, trailing spaces,
// long texts (beyond what an index keeps).
TEST(CollateKeys, MixedTextsFollowTheKeys) {
  static const std::vector<std::string> pieces = {"a", "A", "s", "S", "ss", "SS", "ß", "e", "é", "É", "ae", "Æ", "æ",
                                                  "oe", "Œ", "2", "²", "th", "Þ", "\u00AD", "-", "'", "\t", " ", "  ",
                                                  "z", "~", "+", "_", "0"};
  std::mt19937 rng(5);
  std::vector<std::string> texts;
  for (int n = 0; n < 3000; ++n) {
    std::string t;
    const int len = static_cast<int>(rng() % 7);
    for (int k = 0; k < len; ++k) t += pieces[rng() % pieces.size()];
    if (n % 100 == 0) t = std::string(300, 'x') + t;  // past an index key's length
    texts.push_back(t);
  }
  std::vector<std::string> keys;
  for (const auto& t : texts) {
    keys.push_back(keyOf(t));
    ASSERT_EQ(sql::collationKey(t), keys.back()) << "'" << t << "'";
  }
  for (size_t i = 0; i < texts.size(); ++i)
    for (size_t j = i; j < texts.size(); j += 1 + rng() % 17) expectAgree(texts[i], keys[i], texts[j], keys[j]);
}

// What the keys make of ordinary texts.
TEST(CollateKeys, KeyEqualities) {
  EXPECT_EQ(sql::compareText("Straße", "STRASSE"), 0);
  EXPECT_EQ(sql::compareText("Ægir", "aegir  "), 0);
  EXPECT_EQ(sql::compareText("soft\u00ADhyphen", "softhyphen"), 0);
  EXPECT_NE(sql::compareText("co-op", "coop"), 0);
  EXPECT_LT(sql::compareText("coop", "co-op"), 0);   // the hyphen only breaks the tie
  EXPECT_LT(sql::compareText("co-op", "coops"), 0);
  EXPECT_LT(sql::compareText("Zoe", "Zoé"), 0);
  EXPECT_LT(sql::compareText("Zoé", "Zof"), 0);       // the accent only breaks the tie
  EXPECT_LT(sql::compareText("a~", "a+"), 0);         // punctuation in the key's order, not code order
  EXPECT_LT(sql::compareText("9", "a"), 0);
  // texts longer than an index keeps still compare whole
  EXPECT_LT(sql::compareText(std::string(300, 'a') + "b", std::string(300, 'a') + "c"), 0);
  EXPECT_EQ(sql::compareText(std::string(300, 'a') + "ß", std::string(300, 'A') + "ss"), 0);
}
