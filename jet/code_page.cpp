#include "jet/code_page.h"

#include <cerrno>
#include <cstdio>
#include <iconv.h>
#include <map>
#include <memory>
#include <vector>

#include "jet/error.h"

namespace jet {

namespace {

const char* iconvName(uint16_t cp) {
  switch (cp) {
    case 874: return "CP874";
    case 932: return "CP932";
    case 936: return "CP936";
    case 949: return "CP949";
    case 950: return "CP950";
    case 1250: return "CP1250";
    case 1251: return "CP1251";
    case 1252: return "CP1252";
    case 1253: return "CP1253";
    case 1254: return "CP1254";
    case 1255: return "CP1255";
    case 1256: return "CP1256";
    case 1257: return "CP1257";
    case 1258: return "CP1258";
    default: return nullptr;
  }
}

// One code page's two converters and its table of undefined bytes, opened
// once per thread (an iconv descriptor carries state and is not shared).
struct Converter {
  iconv_t toUtf16 = reinterpret_cast<iconv_t>(-1);
  iconv_t fromUtf16 = reinterpret_cast<iconv_t>(-1);
  bool undefined[256] = {};
  ~Converter() {
    if (toUtf16 != reinterpret_cast<iconv_t>(-1)) iconv_close(toUtf16);
    if (fromUtf16 != reinterpret_cast<iconv_t>(-1)) iconv_close(fromUtf16);
  }
};

std::string describe(char16_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

Converter& converter(uint16_t cp) {
  thread_local std::map<uint16_t, std::unique_ptr<Converter>> cache;
  auto& slot = cache[cp];
  if (slot) return *slot;
  auto c = std::make_unique<Converter>();
  const char* name = iconvName(cp);
  c->toUtf16 = iconv_open("UTF-16LE", name);
  c->fromUtf16 = iconv_open(name, "UTF-16LE");
  if (c->toUtf16 == reinterpret_cast<iconv_t>(-1) || c->fromUtf16 == reinterpret_cast<iconv_t>(-1))
    throw Error(err::kNotSupported, std::string("The system cannot convert text in code page ") +
                                        std::to_string(cp) + ".");
  // A byte is undefined when it is refused alone and is not the start of a
  // double-byte character (that one is reported as incomplete instead).
  for (unsigned b = 0x80; b < 0x100; ++b) {
    char in = static_cast<char>(b);
    char out[8];
    char* ip = &in;
    char* op = out;
    size_t il = 1, ol = sizeof out;
    iconv(c->toUtf16, nullptr, nullptr, nullptr, nullptr);
    if (iconv(c->toUtf16, &ip, &il, &op, &ol) == static_cast<size_t>(-1) && errno == EILSEQ)
      c->undefined[b] = true;
  }
  iconv(c->toUtf16, nullptr, nullptr, nullptr, nullptr);
  slot = std::move(c);
  return *slot;
}

}  // namespace

uint16_t effectiveCodePage(uint16_t cp) { return iconvName(cp) ? cp : 1252; }

bool isDoubleByteCodePage(uint16_t cp) { return cp == 932 || cp == 936 || cp == 949 || cp == 950; }

std::u16string decodeCodePage(ByteView b, uint16_t codePage) {
  std::u16string out;
  bool ascii = true;
  for (size_t i = 0; i < b.size && ascii; ++i) ascii = b.data[i] < 0x80;
  if (ascii) {
    out.assign(b.data, b.data + b.size);
    return out;
  }
  Converter& cv = converter(effectiveCodePage(codePage));
  std::vector<char> buf(4 * b.size + 16);
  char* in = const_cast<char*>(reinterpret_cast<const char*>(b.data));
  size_t inLeft = b.size;
  char* op = buf.data();
  size_t outLeft = buf.size();
  auto keepByte = [&](unsigned char byte) {
    // Two bytes of room are always left: every input byte gives at most one
    // UTF-16 unit and the buffer holds four bytes per input byte.
    op[0] = static_cast<char>(byte);
    op[1] = 0;
    op += 2;
    outLeft -= 2;
  };
  iconv(cv.toUtf16, nullptr, nullptr, nullptr, nullptr);
  while (inLeft > 0) {
    if (iconv(cv.toUtf16, &in, &inLeft, &op, &outLeft) != static_cast<size_t>(-1)) break;
    if (errno == EILSEQ || errno == EINVAL) {
      // Undefined byte, lead byte without a valid trail, or a lead byte at
      // the end: kept as the code point of the same number.
      iconv(cv.toUtf16, nullptr, nullptr, &op, &outLeft);
      keepByte(static_cast<unsigned char>(*in));
      ++in;
      --inLeft;
      iconv(cv.toUtf16, nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    throw Error(err::kTypeConversion, "Text could not be read in code page " + std::to_string(codePage) + ".");
  }
  iconv(cv.toUtf16, nullptr, nullptr, &op, &outLeft);
  const size_t n = (buf.size() - outLeft) / 2;
  out.resize(n);
  for (size_t i = 0; i < n; ++i)
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(buf[2 * i]) |
                                   (static_cast<unsigned char>(buf[2 * i + 1]) << 8));
  return out;
}

std::string encodeCodePage(const std::u16string& s, uint16_t codePage) {
  bool ascii = true;
  for (size_t i = 0; i < s.size() && ascii; ++i) ascii = s[i] < 0x80;
  if (ascii) return std::string(s.begin(), s.end());
  const uint16_t cp = effectiveCodePage(codePage);
  Converter& cv = converter(cp);
  std::vector<char> src(2 * s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    src[2 * i] = static_cast<char>(s[i] & 0xFF);
    src[2 * i + 1] = static_cast<char>(s[i] >> 8);
  }
  std::string out;
  std::vector<char> buf(4 * s.size() + 16);  // at most 2 bytes per unit (+ 1258 decomposition)
  char* in = src.data();
  size_t inLeft = src.size();
  iconv(cv.fromUtf16, nullptr, nullptr, nullptr, nullptr);
  while (true) {
    char* op = buf.data();
    size_t outLeft = buf.size();
    size_t r = iconv(cv.fromUtf16, &in, &inLeft, &op, &outLeft);
    int e = errno;
    if (r == static_cast<size_t>(-1) && e == E2BIG) {
      out.append(buf.data(), op);
      continue;
    }
    if (r != static_cast<size_t>(-1)) {
      op = buf.data() + (buf.size() - outLeft);
      iconv(cv.fromUtf16, nullptr, nullptr, &op, &outLeft);
      out.append(buf.data(), op);
      break;
    }
    // Flush what is pending before the refused unit.
    iconv(cv.fromUtf16, nullptr, nullptr, &op, &outLeft);
    out.append(buf.data(), op);
    const size_t at = (src.size() - inLeft) / 2;
    const char16_t c = at < s.size() ? s[at] : u'\0';
    if (e == EILSEQ && c >= 0x80 && c <= 0xFF && cv.undefined[c]) {
      out.push_back(static_cast<char>(c));
      in += 2;
      inLeft -= 2;
      iconv(cv.fromUtf16, nullptr, nullptr, nullptr, nullptr);
      if (inLeft == 0) break;
      continue;
    }
    throw Error(err::kTypeConversion, "The character " + describe(c) + " cannot be stored in code page " +
                                          std::to_string(cp) + " of this database.");
  }
  return out;
}

}  // namespace jet
