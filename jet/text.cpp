#include "jet/text.h"

#include "jet/code_page.h"

#include <algorithm>

namespace jet {

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

std::string utf16ToUtf8(const std::u16string& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    appendUtf8(out, c);
  }
  return out;
}

std::u32string utf8ToCodePoints(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<uint8_t>(s[i]);
    char32_t c;
    size_t n;
    if (b < 0x80) { c = b; n = 1; }
    else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; n = 2; }
    else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; n = 3; }
    else if ((b & 0xF8) == 0xF0) { c = b & 0x07; n = 4; }
    else { out.push_back(0xFFFD); ++i; continue; }
    if (i + n > s.size()) { out.push_back(0xFFFD); break; }
    bool ok = true;
    for (size_t k = 1; k < n; ++k) {
      auto cb = static_cast<uint8_t>(s[i + k]);
      if ((cb & 0xC0) != 0x80) { ok = false; break; }
      c = (c << 6) | (cb & 0x3F);
    }
    if (!ok) { out.push_back(0xFFFD); ++i; continue; }
    out.push_back(c);
    i += n;
  }
  return out;
}

std::string codePointsToUtf8(const std::u32string& s) {
  std::string out;
  out.reserve(s.size());
  for (char32_t c : s) appendUtf8(out, c);
  return out;
}

std::u16string utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char32_t c : utf8ToCodePoints(s)) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string decodeUcs2TextUtf8(ByteView b) {
  std::string out;
  if (b.size >= 2 && b.data[0] == 0xFF && b.data[1] == 0xFE) {
    // Compressed: mostly one byte per character; plain ASCII copies through.
    out.reserve(b.size);
    bool compressed = true;
    size_t i = 2;
    while (i < b.size) {
      uint8_t c = b.data[i];
      if (c == 0) {
        compressed = !compressed;
        ++i;
        continue;
      }
      if (compressed) {
        // a run of ASCII characters copies through as it is
        size_t j = i;
        while (j < b.size && b.data[j] != 0 && b.data[j] < 0x80) ++j;
        if (j > i) {
          out.append(reinterpret_cast<const char*>(b.data + i), j - i);
          i = j;
          continue;
        }
        appendUtf8(out, c);
        ++i;
      } else {
        if (i + 1 >= b.size) break;
        uint32_t u = b.data[i] | (b.data[i + 1] << 8);
        i += 2;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < b.size) {
          uint32_t lo = b.data[i] | (b.data[i + 1] << 8);
          if (lo >= 0xDC00 && lo <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
            i += 2;
            continue;
          }
        }
        appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
      }
    }
    return out;
  }
  // A leading run of ASCII characters is written straight into place.
  size_t ascii = 0;
  while (2 * ascii + 1 < b.size && b.data[2 * ascii] < 0x80 && b.data[2 * ascii + 1] == 0) ++ascii;
  out.resize(ascii);
  for (size_t k = 0; k < ascii; ++k) out[k] = static_cast<char>(b.data[2 * k]);
  if (2 * ascii + 1 >= b.size) return out;
  out.reserve(b.size / 2 + 8);
  for (size_t i = 2 * ascii; i + 1 < b.size; i += 2) {
    uint32_t u = b.data[i] | (b.data[i + 1] << 8);
    if (u >= 0xD800 && u <= 0xDBFF && i + 3 < b.size) {
      uint32_t lo = b.data[i + 2] | (b.data[i + 3] << 8);
      if (lo >= 0xDC00 && lo <= 0xDFFF) {
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u);
  }
  return out;
}

std::u16string decodeUcs2Text(ByteView b) {
  std::u16string out;
  if (b.size >= 2 && b.data[0] == 0xFF && b.data[1] == 0xFE) {
    bool compressed = true;
    size_t i = 2;
    while (i < b.size) {
      if (b.data[i] == 0) {
        compressed = !compressed;
        ++i;
        continue;
      }
      if (compressed) {
        out.push_back(b.data[i]);
        ++i;
      } else {
        if (i + 1 >= b.size) break;
        out.push_back(static_cast<char16_t>(b.data[i] | (b.data[i + 1] << 8)));
        i += 2;
      }
    }
    return out;
  }
  out.reserve(b.size / 2);
  for (size_t i = 0; i + 1 < b.size; i += 2)
    out.push_back(static_cast<char16_t>(b.data[i] | (b.data[i + 1] << 8)));
  return out;
}

std::u16string decodeCodePageText(ByteView b, uint16_t codePage) { return decodeCodePage(b, codePage); }

std::string encodeCodePageText(const std::u16string& s, uint16_t codePage) { return encodeCodePage(s, codePage); }

std::string encodeUcs2Text(const std::u16string& s, bool compress) {
  if (compress && !s.empty()) {
    bool ok = true;
    for (char16_t c : s)
      if (c == 0 || c > 0xFF) { ok = false; break; }
    // The compressed form only pays when every character fits in a byte.
    if (ok) {
      std::string out;
      out.reserve(s.size() + 2);
      out.push_back(static_cast<char>(0xFF));
      out.push_back(static_cast<char>(0xFE));
      for (char16_t c : s) out.push_back(static_cast<char>(c));
      return out;
    }
  }
  std::string out;
  out.reserve(s.size() * 2);
  for (char16_t c : s) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

namespace {
char16_t upper16(char16_t c) {
  if (c >= 'a' && c <= 'z') return static_cast<char16_t>(c - 32);
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char16_t>(c - 32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F && (c & 1) && c != 0x131 && c != 0x138 && c != 0x149 &&
      c != 0x17F)
    return static_cast<char16_t>(c - 1);
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<char16_t>(c - 32);
  if (c >= 0x430 && c <= 0x44F) return static_cast<char16_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<char16_t>(c - 80);
  return c;
}
}  // namespace

std::string upperName(std::string_view utf8) {
  // Plain ASCII (nearly every name) is upper-cased in place.
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    std::string r(utf8);
    for (auto& c : r)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return r;
  }
  std::u16string u = utf8ToUtf16(utf8);
  for (auto& c : u) c = upper16(c);
  return utf16ToUtf8(u);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  // Names are nearly always plain ASCII: compared byte by byte, without
  // converting. Only text with other characters goes through the full
  // upper-casing (which may change a text's length in bytes).
  auto upperAscii = [](unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 32) : c; };
  // Different plain first letters: different names, whatever follows.
  if (!a.empty() && !b.empty()) {
    auto x = static_cast<unsigned char>(a[0]), y = static_cast<unsigned char>(b[0]);
    if (x < 0x80 && y < 0x80 && upperAscii(x) != upperAscii(y)) return false;
  }
  if (a.size() == b.size()) {
    bool ascii = true;
    for (size_t i = 0; i < a.size(); ++i) {
      auto x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
      if (x >= 0x80 || y >= 0x80) { ascii = false; break; }
      if (upperAscii(x) != upperAscii(y)) return false;
    }
    if (ascii) return true;
  } else {
    auto isAscii = [](std::string_view s) {
      for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
      return true;
    };
    if (isAscii(a) && isAscii(b)) return false;
  }
  return upperName(a) == upperName(b);
}

bool lessNoCase(std::string_view a, std::string_view b) {
  std::u16string x = utf8ToUtf16(a), y = utf8ToUtf16(b);
  for (auto& c : x) c = upper16(c);
  for (auto& c : y) c = upper16(c);
  return x < y;
}

}  // namespace jet
