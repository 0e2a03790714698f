#include "sql/raw_predicate.h"

#include <array>

#include "jet/table.h"
#include "sql/collate.h"

namespace sql {

namespace {

// foldCase of each ASCII character, worked out once, so that the stored
// bytes are compared exactly as the Like matcher compares characters.
struct AsciiFold {
  std::array<char, 128> f{};
  AsciiFold() {
    for (char32_t c = 0; c < 128; ++c) f[c] = static_cast<char>(foldCase(c));
  }
};
const AsciiFold& asciiFold() {
  static const AsciiFold table;
  return table;
}

// Result of comparing one stored character with the prefix's next one.
enum class Step { Same, Differs, Unknown };

inline Step compareChar(uint32_t stored, char want, const AsciiFold& fold) {
  if (stored >= 0x80) return Step::Unknown;
  return fold.f[stored] == want ? Step::Same : Step::Differs;
}

}  // namespace

std::string likeLiteralPrefix(std::string_view pattern) {
  std::string out;
  for (char c : pattern) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || c == '*' || c == '?' || c == '#' || c == '[') break;
    const char32_t f = foldCase(b);
    if (f >= 0x80) break;
    out.push_back(static_cast<char>(f));
  }
  return out;
}

bool storedTextMayStartWith(jet::ByteView b, bool jet3, std::string_view want) {
  const AsciiFold& fold = asciiFold();
  const size_t n = want.size();
  if (n == 0) return true;
  if (jet3) {
    // Code-page bytes: an ASCII byte with only ASCII bytes before it is that
    // character in every code page read here (single- and double-byte).
    if (b.size < n) return false;  // every character takes a byte at least
    for (size_t k = 0; k < n; ++k) {
      switch (compareChar(b.data[k], want[k], fold)) {
        case Step::Same: break;
        case Step::Differs: return false;
        case Step::Unknown: return true;
      }
    }
    return true;
  }
  if (b.size >= 2 && b.data[0] == 0xFF && b.data[1] == 0xFE) {
    // Compressed: one byte per character, a zero byte switching to two-byte
    // characters and back.
    bool compressed = true;
    size_t i = 2, k = 0;
    while (k < n) {
      if (i >= b.size) return false;
      const uint8_t c = b.data[i];
      if (c == 0) {
        compressed = !compressed;
        ++i;
        continue;
      }
      uint32_t ch;
      if (compressed) {
        ch = c;
        ++i;
      } else {
        if (i + 1 >= b.size) return false;  // a lone last byte is no character
        ch = b.data[i] | (b.data[i + 1] << 8);
        i += 2;
      }
      switch (compareChar(ch, want[k], fold)) {
        case Step::Same: break;
        case Step::Differs: return false;
        case Step::Unknown: return true;
      }
      ++k;
    }
    return true;
  }
  // Plain UCS-2, two bytes a character (a lone last byte is no character).
  if (b.size / 2 < n) return false;
  for (size_t k = 0; k < n; ++k) {
    const uint32_t ch = b.data[2 * k] | (b.data[2 * k + 1] << 8);
    switch (compareChar(ch, want[k], fold)) {
      case Step::Same: break;
      case Step::Differs: return false;
      case Step::Unknown: return true;
    }
  }
  return true;
}

std::shared_ptr<const RawFilter> RawFilter::make(const jet::Format& fmt, const jet::TableDef& def,
                                                 const BExpr* filter) {
  if (!filter) return nullptr;
  std::shared_ptr<RawFilter> out(new RawFilter(fmt, def));
  // The conjuncts of the filter's And tree; each must hold for a row to pass.
  std::vector<const BExpr*> todo{filter};
  while (!todo.empty()) {
    const BExpr* e = todo.back();
    todo.pop_back();
    const BExpr *a, *b;
    if (asAnd(*e, a, b)) {
      todo.push_back(b);
      todo.push_back(a);
      continue;
    }
    auto like = asLikePredicate(*e);
    if (!like || like->slot >= def.columns.size()) continue;
    const jet::Column& c = def.columns[like->slot];
    // Text only: memo values live in long-value pages and calculated
    // columns behind a header; those are tested after decoding.
    if (c.rawType != jet::coltype::kText || c.calculated()) continue;
    std::string prefix = likeLiteralPrefix(like->pattern);
    if (prefix.empty()) continue;
    out->prefixes_.push_back({like->slot, std::move(prefix)});
  }
  if (out->prefixes_.empty()) return nullptr;
  return out;
}

bool RawFilter::mayPass(jet::ByteView row) const {
  for (const TextPrefix& t : prefixes_) {
    const jet::ColumnBytes cb = jet::locateColumn(fmt_, def_, row, def_.columns[t.column]);
    if (!cb.present) return false;  // Null: Like gives Null
    if (!storedTextMayStartWith(cb.data, fmt_.jet3, t.folded)) return false;
  }
  return true;
}

}  // namespace sql
