// Text sort keys: how a text value becomes the bytes stored in an index
// entry. Index entries compare as plain byte strings, so a text value is
// turned into a sequence of collation codes first: every character gives
// "inline" bytes (its primary weight, the same for upper and lower case),
// and accents, case-like variants and unprintable characters are recorded
// in trailing sections after the inline part.
//
// Three collations are supported, each with its own character table
// (generated into index_codes_data.cpp by tools/gen_index_codes.py):
//   General97      Jet 3 (Access 97) "General"
//   GeneralLegacy  "General (legacy)", the default of Access 2000-2007
//   General        "General", the default of Access 2010 and later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace jet {

enum class TextSortOrder : uint8_t { General97, GeneralLegacy, General, Unsupported };

const char* textSortOrderName(TextSortOrder s);

// Longest text prefix (in UTF-16 code units) that takes part in a key.
constexpr size_t kMaxIndexedTextChars = 255;

// How one character is coded.
enum class CharKind : uint8_t {
  Ignored = 0,         // contributes nothing
  Simple = 1,          // inline bytes only
  International = 2,   // inline bytes plus extra bytes
  Unprintable = 3,     // no inline bytes; a code in the unprintable section
  UnprintableMod = 4,  // no inline bytes; added to the previous extra byte
  InternationalExt = 5,// inline bytes, optional extra bytes, a two-bit flag code
  Significant = 6,     // Jet 3: inline bytes; counted before the next extra code
  HighSurrogate = 7,   // computed
  LowSurrogate = 8,    // computed
};

struct CharSortCode {
  CharKind kind = CharKind::Ignored;
  uint8_t inlineLen = 0;
  uint8_t extraLen = 0;
  uint8_t aux = 0;      // unprintable code, modifier, or flag code (by kind)
  uint8_t inl[8] = {};
  uint8_t extra[4] = {};
};

// Table entry of a UTF-16 code unit (General97: code points above FF are
// first mapped to their single-byte equivalent, or ignored). Surrogates come
// back with their computed inline bytes filled in.
CharSortCode charSortCode(TextSortOrder order, char16_t c);

// Appends the sort bytes of a non-null text value: everything that follows
// the entry's start flag for this column, including the end markers and, for
// descending columns, the inversion.
void appendTextSortKey(TextSortOrder order, std::u16string_view text, bool ascending,
                       std::vector<uint8_t>& out);
void appendTextSortKeyUtf8(TextSortOrder order, std::string_view utf8, bool ascending,
                           std::vector<uint8_t>& out);

// The ascending key of the whole text, however long (an index keeps only
// the first kMaxIndexedTextChars code units): what two texts are compared
// by. Unsupported throws 3251.
void appendWholeTextSortKey(TextSortOrder order, std::u16string_view text, std::vector<uint8_t>& out);

}  // namespace jet
