#include "jet/index_codes.h"

#include <algorithm>
#include <cstddef>

#include "jet/error.h"
#include "jet/text.h"

namespace jet {

namespace indexcodes_data {
extern const char kGeneralCodes[];
extern const size_t kGeneralCodesSize;
extern const char kLegacyCodes[];
extern const size_t kLegacyCodesSize;
extern const char kGeneral97Codes[];
extern const size_t kGeneral97CodesSize;
extern const uint16_t kGeneral97Mappings[][2];
extern const size_t kGeneral97MappingCount;
}  // namespace indexcodes_data

namespace {

// ---------------------------------------------------------------------------
// Character tables, decoded once from the generated run-length streams.

std::vector<CharSortCode> decodeTable(const char* data, size_t size, size_t count) {
  const auto* p = reinterpret_cast<const uint8_t*>(data);
  const uint8_t* end = p + size;
  std::vector<CharSortCode> out;
  out.reserve(count);
  auto need = [&](size_t n) {
    if (static_cast<size_t>(end - p) < n) throw Error(err::kCorrupt, "index code table is truncated");
  };
  while (p < end) {
    need(1);
    uint8_t head = *p++;
    uint8_t kind = head & 0x0F, mode = head >> 4;
    size_t run = 1;
    if (mode != 0) {
      size_t n = 0;
      int shift = 0;
      for (;;) {
        need(1);
        uint8_t b = *p++;
        n |= static_cast<size_t>(b & 0x7F) << shift;
        shift += 7;
        if (!(b & 0x80)) break;
      }
      run = n + 1;
    }
    need(1);
    CharSortCode c;
    c.kind = static_cast<CharKind>(kind);
    c.inlineLen = *p & 0x0F;
    c.extraLen = *p >> 4;
    ++p;
    if (c.inlineLen > sizeof c.inl || c.extraLen > sizeof c.extra)
      throw Error(err::kCorrupt, "index code table is malformed");
    need(c.inlineLen + c.extraLen);
    std::copy(p, p + c.inlineLen, c.inl);
    p += c.inlineLen;
    std::copy(p, p + c.extraLen, c.extra);
    p += c.extraLen;
    if (c.kind == CharKind::Unprintable || c.kind == CharKind::UnprintableMod ||
        c.kind == CharKind::InternationalExt) {
      need(1);
      c.aux = *p++;
    }
    for (size_t k = 0; k < run; ++k) {
      out.push_back(c);
      if (mode == 1) {
        // Next character: inline bytes + 1 as a big-endian number.
        for (int i = c.inlineLen - 1; i >= 0; --i)
          if (++c.inl[i] != 0) break;
      }
    }
  }
  if (out.size() != count) throw Error(err::kCorrupt, "index code table has the wrong size");
  return out;
}

const std::vector<CharSortCode>& table(TextSortOrder order) {
  using namespace indexcodes_data;
  switch (order) {
    case TextSortOrder::General: {
      static const std::vector<CharSortCode> t = decodeTable(kGeneralCodes, kGeneralCodesSize, 0x10000);
      return t;
    }
    case TextSortOrder::GeneralLegacy: {
      static const std::vector<CharSortCode> t = decodeTable(kLegacyCodes, kLegacyCodesSize, 0x10000);
      return t;
    }
    case TextSortOrder::General97: {
      static const std::vector<CharSortCode> t = decodeTable(kGeneral97Codes, kGeneral97CodesSize, 0x100);
      return t;
    }
    case TextSortOrder::Unsupported: break;
  }
  throw Error(err::kNotSupported, "Text indexes with this sort order are not supported.");
}

// Surrogate code units are not in the tables: their inline bytes follow a
// fixed arithmetic rule, and each adds the extra code 3F.
void fillSurrogate(CharSortCode& c, char16_t u) {
  int v;
  if (c.kind == CharKind::HighSurrogate) {
    v = static_cast<int>(u) - 10238;
  } else {
    int pos = (static_cast<int>(u) - 0xDC00) % 1024;
    int sub;
    if (pos < 8) sub = 9992;
    else if (pos < 8 + 254) sub = 9990;
    else if (pos < 8 + 2 * 254) sub = 9988;
    else if (pos < 8 + 3 * 254) sub = 9986;
    else sub = 9984;
    v = static_cast<int>(u) - sub;
  }
  c.inlineLen = 2;
  c.inl[0] = static_cast<uint8_t>(v >> 8);
  c.inl[1] = static_cast<uint8_t>(v);
  c.extraLen = 1;
  c.extra[0] = 0x3F;
}

constexpr uint8_t kEndText = 0x01;
constexpr uint8_t kEndExtra = 0x00;
constexpr uint8_t kExtraPlaceholder = 0x02;

// The text that takes part in a key: at most kMaxIndexedTextChars code
// units, trailing spaces dropped.
std::u16string_view keyText(std::u16string_view s, bool whole = false) {
  if (!whole && s.size() > kMaxIndexedTextChars) s = s.substr(0, kMaxIndexedTextChars);
  while (!s.empty() && s.back() == u' ') s.remove_suffix(1);
  return s;
}

void invert(std::vector<uint8_t>& out, size_t from) {
  for (size_t i = from; i < out.size(); ++i) out[i] = static_cast<uint8_t>(~out[i]);
}

// Access 2000 and later ("General" and "General (legacy)"). Layout:
//   inline codes, 01,
//   extra codes (one per coded character: 02 for "no accent"; trailing 00-02 dropped),
//   when flag codes or unprintables exist: 01 01,
//     packed flag codes + FF 02 80 FF 80 (+ FF when unprintables follow),
//     01 + unprintable entries (big-endian position word, 06, code),
//   00.
// Descending: an extra 00 is added, everything is inverted, then 00 follows.
void encodeModern(TextSortOrder order, std::u16string_view text, bool asc, std::vector<uint8_t>& out,
                  bool whole = false) {
  const auto& tab = table(order);
  const size_t start = out.size();

  std::vector<uint8_t> extra;
  bool extraStarted = false;
  size_t extraChars = 0;       // characters accounted for in `extra`
  size_t extraUnprintLead = 0; // a modifier that opened the extra section
  std::vector<uint8_t> unprint;
  std::vector<uint8_t> flags;
  size_t charPos = 0;          // characters with inline bytes so far

  for (char16_t u : keyText(text, whole)) {
    CharSortCode c = tab[u];
    if (c.kind == CharKind::HighSurrogate || c.kind == CharKind::LowSurrogate) fillSurrogate(c, u);
    const size_t pos = charPos;
    if (c.inlineLen > 0) {
      out.insert(out.end(), c.inl, c.inl + c.inlineLen);
      ++charPos;
    }
    if (c.kind == CharKind::Simple) continue;

    const uint8_t modifier = c.kind == CharKind::UnprintableMod ? c.aux : 0;
    if (c.extraLen > 0 || modifier != 0) {
      extraStarted = true;
      if (extraChars < pos) {
        extra.insert(extra.end(), pos - extraChars, kExtraPlaceholder);
        extraChars = pos;
      }
      if (c.extraLen > 0) {
        extra.insert(extra.end(), c.extra, c.extra + c.extraLen);
        ++extraChars;
      } else if (!extra.empty()) {
        extra.back() = static_cast<uint8_t>(extra.back() + modifier);
      } else {
        extra.push_back(modifier);
        extraUnprintLead = 1;
      }
    }
    if (c.kind == CharKind::Unprintable) {
      size_t upos = pos;
      if (extraStarted) upos = extra.size() + (pos - extraChars) - extraUnprintLead;
      unsigned word = static_cast<unsigned>(7 + 4 * upos) | 0x8000u;
      unprint.push_back(static_cast<uint8_t>(word >> 8));
      unprint.push_back(static_cast<uint8_t>(word));
      unprint.push_back(0x06);
      unprint.push_back(c.aux);
    }
    if (c.kind == CharKind::InternationalExt) flags.push_back(c.aux);
  }

  out.push_back(kEndText);
  while (!extra.empty() && extra.back() <= kExtraPlaceholder) extra.pop_back();
  const bool haveFlags = !flags.empty();
  const bool haveUnprint = !unprint.empty();
  out.insert(out.end(), extra.begin(), extra.end());
  if (haveFlags || haveUnprint) {
    out.push_back(kEndText);
    out.push_back(kEndText);
    if (haveFlags) {
      // Trailing 3s carry no information. The rest are packed three to a
      // byte, two bits each, under a 10 prefix.
      while (!flags.empty() && flags.back() == 0x03) flags.pop_back();
      uint8_t cur = 0x80;
      int n = 0;
      for (uint8_t f : flags) {
        cur = static_cast<uint8_t>(cur | (f << ((2 - n) * 2)));
        if (++n == 3) {
          out.push_back(cur);
          cur = 0x80;
          n = 0;
        }
      }
      if (n > 0) out.push_back(cur);
      static const uint8_t kFlagsEnd[] = {0xFF, 0x02, 0x80, 0xFF, 0x80};
      out.insert(out.end(), std::begin(kFlagsEnd), std::end(kFlagsEnd));
      if (haveUnprint) out.push_back(0xFF);
    }
    if (haveUnprint) {
      out.push_back(kEndText);
      out.insert(out.end(), unprint.begin(), unprint.end());
    }
  }
  if (!asc) {
    out.push_back(kEndExtra);
    invert(out, start);
  }
  out.push_back(kEndExtra);
}

// Jet 3. Inline codes, then either 00 or a nibble string framed by 0 nibbles
// that holds, for every accented character, one 2 nibble per significant
// character since the previous accent and then the accent's code.
// Descending inverts the whole value.
void encode97(std::u16string_view text, bool asc, std::vector<uint8_t>& out, bool whole = false) {
  const auto& tab = table(TextSortOrder::General97);
  const size_t start = out.size();
  std::vector<uint8_t> nibbles;
  size_t significant = 0;
  for (char16_t u : keyText(text, whole)) {
    const CharSortCode* code = nullptr;
    if (u <= 0xFF) {
      code = &tab[u];
    } else {
      using namespace indexcodes_data;
      const uint16_t (*m)[2] = kGeneral97Mappings;
      const uint16_t (*mEnd)[2] = kGeneral97Mappings + kGeneral97MappingCount;
      auto it = std::lower_bound(m, mEnd, u, [](const uint16_t (&e)[2], char16_t v) { return e[0] < v; });
      if (it != mEnd && (*it)[0] == u) code = &tab[(*it)[1] & 0xFF];
      else continue;  // no single-byte equivalent: ignored
    }
    out.insert(out.end(), code->inl, code->inl + code->inlineLen);
    if (code->kind == CharKind::Simple) {
      // A character that sorts as two letters (ß as "ss", Æ as "AE") takes
      // as many positions as the letters it sorts as.
      if (code->inlineLen >= 2) significant += code->inlineLen;
      continue;
    }
    if (code->kind == CharKind::Significant) {
      ++significant;
      continue;
    }
    if (code->extraLen > 0) {
      if (nibbles.empty()) nibbles.push_back(0);
      nibbles.insert(nibbles.end(), significant, kExtraPlaceholder);
      significant = 0;
      nibbles.push_back(code->extra[0] & 0x0F);
    }
  }
  if (!nibbles.empty()) {
    nibbles.push_back(0);
    for (size_t i = 0; i < nibbles.size(); i += 2) {
      uint8_t b = static_cast<uint8_t>(nibbles[i] << 4);
      if (i + 1 < nibbles.size()) b |= nibbles[i + 1];
      out.push_back(b);
    }
  } else {
    out.push_back(kEndExtra);
  }
  if (!asc) invert(out, start);
}

}  // namespace

const char* textSortOrderName(TextSortOrder s) {
  switch (s) {
    case TextSortOrder::General97: return "General (Access 97)";
    case TextSortOrder::GeneralLegacy: return "General (legacy)";
    case TextSortOrder::General: return "General";
    case TextSortOrder::Unsupported: break;
  }
  return "unsupported";
}

CharSortCode charSortCode(TextSortOrder order, char16_t u) {
  const auto& tab = table(order);
  if (order == TextSortOrder::General97) {
    if (u <= 0xFF) return tab[u];
    using namespace indexcodes_data;
    for (size_t i = 0; i < kGeneral97MappingCount; ++i)
      if (kGeneral97Mappings[i][0] == u) return tab[kGeneral97Mappings[i][1] & 0xFF];
    return CharSortCode{};
  }
  CharSortCode c = tab[u];
  if (c.kind == CharKind::HighSurrogate || c.kind == CharKind::LowSurrogate) fillSurrogate(c, u);
  return c;
}

void appendTextSortKey(TextSortOrder order, std::u16string_view text, bool ascending,
                       std::vector<uint8_t>& out) {
  switch (order) {
    case TextSortOrder::General97: encode97(text, ascending, out); return;
    case TextSortOrder::GeneralLegacy:
    case TextSortOrder::General: encodeModern(order, text, ascending, out); return;
    case TextSortOrder::Unsupported: break;
  }
  throw Error(err::kNotSupported, "Text indexes with this sort order are not supported.");
}

void appendTextSortKeyUtf8(TextSortOrder order, std::string_view utf8, bool ascending,
                           std::vector<uint8_t>& out) {
  appendTextSortKey(order, utf8ToUtf16(utf8), ascending, out);
}

}  // namespace jet

namespace jet {

void appendWholeTextSortKey(TextSortOrder order, std::u16string_view text, std::vector<uint8_t>& out) {
  switch (order) {
    case TextSortOrder::General97: encode97(text, true, out, true); return;
    case TextSortOrder::GeneralLegacy:
    case TextSortOrder::General: encodeModern(order, text, true, out, true); return;
    case TextSortOrder::Unsupported: break;
  }
  throw Error(err::kNotSupported, "Text indexes with this sort order are not supported.");
}

}  // namespace jet
