// Jet 3 text: the Windows code page the database names in its header page
// (Western 1252, Central European 1250, Cyrillic 1251, Greek 1253, Turkish
// 1254, Hebrew 1255, Arabic 1256, Baltic 1257, Vietnamese 1258, Thai 874 and
// the double-byte 932, 936, 949 and 950), converted with the C library's
// iconv. Contract:
//  - decoding never drops a byte: a byte the code page leaves undefined (in
//    1252: 81, 8D, 8F, 90, 9D) becomes the code point of the same number
//    (0x81 -> U+0081), as Windows keeps it; so does a double-byte lead byte
//    with no valid trail byte;
//  - encoding gives exactly the bytes decoding reads back; U+0080..U+00FF of
//    an undefined byte is written as that byte again; any other character the
//    code page cannot hold throws jet::Error 3421 naming the character and the
//    code page (never a replacement '?');
//  - code page 0 (files that leave it unset) and code pages iconv does not
//    know are read and written as 1252.
#pragma once

#include <cstdint>
#include <string>

#include "jet/bytes.h"

namespace jet {

// The code page actually used for a header's value (0 and unknown -> 1252).
uint16_t effectiveCodePage(uint16_t codePage);
// True for the double-byte code pages (932, 936, 949, 950).
bool isDoubleByteCodePage(uint16_t codePage);

std::u16string decodeCodePage(ByteView bytes, uint16_t codePage);
std::string encodeCodePage(const std::u16string& text, uint16_t codePage);

}  // namespace jet
