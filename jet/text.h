// Text as stored in the file: Jet 4 UCS-2 (plain or in the compressed form
// that starts with FF FE), Jet 3 single-byte code-page text; and UTF-8, the
// engine's own text form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "jet/bytes.h"

namespace jet {

// UTF-8 <-> code points. Malformed UTF-8 becomes U+FFFD.
std::u32string utf8ToCodePoints(std::string_view s);
std::string codePointsToUtf8(const std::u32string& s);
void appendUtf8(std::string& out, uint32_t codePoint);

std::string utf16ToUtf8(const std::u16string& s);
std::u16string utf8ToUtf16(std::string_view s);

// Jet 4: UCS-2 little-endian, or the compressed form (FF FE prefix).
std::u16string decodeUcs2Text(ByteView bytes);
// The same, straight to UTF-8 (the hot path of reading rows).
std::string decodeUcs2TextUtf8(ByteView bytes);
// Jet 3: the database's Windows code page (see jet/code_page.h: undefined
// bytes are kept, a character the code page cannot hold throws 3421).
std::u16string decodeCodePageText(ByteView bytes, uint16_t codePage);
// Encodes for storage. compress: use the FF FE form when it is shorter.
std::string encodeUcs2Text(const std::u16string& s, bool compress);
std::string encodeCodePageText(const std::u16string& s, uint16_t codePage);

// Case folding used for names (catalogue lookups): simple Unicode upper case
// for Latin scripts.
std::string upperName(std::string_view utf8);
bool equalsNoCase(std::string_view a, std::string_view b);
bool lessNoCase(std::string_view a, std::string_view b);

}  // namespace jet
