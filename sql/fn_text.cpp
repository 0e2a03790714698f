// Text functions: Left, Right, Mid, Len, InStr, Replace, Trim, case, ...
#include <algorithm>
#include <cmath>

#include "jet/error.h"
#include "sql/collate.h"
#include "sql/convert.h"
#include "sql/functions.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

Value textResult(std::u32string s) { return Value::text(encodeUtf8(s)); }

std::u32string u32(const Value& v) { return decodeUtf8(toText(v)); }

int64_t lengthArg(const Value& v) {
  int64_t n = argInt(v);
  if (n < 0) invalidArgument();
  return n;
}

Value fnLeft(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) return Value();
  int64_t n = lengthArg(a.get(1));
  std::u32string t = u32(s);
  return textResult(t.substr(0, std::min<size_t>(t.size(), static_cast<size_t>(n))));
}

Value fnRight(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) return Value();
  int64_t n = lengthArg(a.get(1));
  std::u32string t = u32(s);
  size_t k = std::min<size_t>(t.size(), static_cast<size_t>(n));
  return textResult(t.substr(t.size() - k));
}

Value fnMid(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) return Value();
  int64_t start = argInt(a.get(1));
  if (start < 1) invalidArgument();
  std::u32string t = u32(s);
  size_t from = static_cast<size_t>(start - 1);
  if (from >= t.size()) return Value::text("");
  if (a.size() > 2) {
    Value l = a.get(2);
    if (!l.isNull()) return textResult(t.substr(from, static_cast<size_t>(lengthArg(l))));
  }
  return textResult(t.substr(from));
}

Value fnLen(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) return Value();
  if (s.isText()) return Value::longInt(static_cast<int32_t>(decodeUtf8(s.bytes()).size()));
  // Len of a number is the length of its text form
  return Value::longInt(static_cast<int32_t>(decodeUtf8(toText(s)).size()));
}

// Compare mode: 0 binary, 1 text (the default in queries: without regard to case).
int compareMode(CallArgs& a, size_t idx) {
  if (a.size() <= idx) return 1;
  Value v = a.get(idx);
  if (v.isNull()) invalidArgument();
  int64_t m = argInt(v);
  if (m == -1) return 1;
  if (m < 0 || m > 2) invalidArgument();
  return m == 0 ? 0 : 1;
}

std::u32string foldIf(std::u32string s, int mode) {
  if (mode) for (auto& c : s) c = foldCase(c);
  return s;
}

Value fnInStr(CallArgs& a) {
  size_t base = 0;
  int64_t start = 1;
  if (a.size() >= 3) {
    Value st = a.get(0);
    if (st.isNull()) return Value();
    start = argInt(st);
    if (start < 1) invalidArgument();
    base = 1;
  }
  Value s1 = a.get(base), s2 = a.get(base + 1);
  int mode = compareMode(a, base + 2);
  if (s1.isNull() || s2.isNull()) return Value();
  std::u32string h = foldIf(u32(s1), mode), n = foldIf(u32(s2), mode);
  if (static_cast<size_t>(start) > h.size()) return Value::longInt(0);
  if (n.empty()) return Value::longInt(static_cast<int32_t>(start));
  size_t p = h.find(n, static_cast<size_t>(start - 1));
  return Value::longInt(p == std::u32string::npos ? 0 : static_cast<int32_t>(p + 1));
}

Value fnInStrRev(CallArgs& a) {
  Value s1 = a.get(0), s2 = a.get(1);
  int64_t start = -1;
  if (a.size() > 2) {
    Value st = a.get(2);
    if (st.isNull()) return Value();
    start = argInt(st);
    if (start == 0 || start < -1) invalidArgument();
  }
  int mode = compareMode(a, 3);
  if (s1.isNull() || s2.isNull()) return Value();
  std::u32string h = foldIf(u32(s1), mode), n = foldIf(u32(s2), mode);
  if (start == -1) start = static_cast<int64_t>(h.size());
  if (static_cast<size_t>(start) > h.size()) return Value::longInt(0);
  if (n.empty()) return Value::longInt(static_cast<int32_t>(start));
  if (n.size() > static_cast<size_t>(start)) return Value::longInt(0);
  size_t p = h.rfind(n, static_cast<size_t>(start) - n.size());
  return Value::longInt(p == std::u32string::npos ? 0 : static_cast<int32_t>(p + 1));
}

Value fnReplace(CallArgs& a) {
  Value s = a.get(0), f = a.get(1), r = a.get(2);
  if (s.isNull()) return Value();
  if (f.isNull() || r.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  int64_t start = 1, count = -1;
  if (a.size() > 3) start = argInt(a.get(3));
  if (a.size() > 4) count = argInt(a.get(4));
  int mode = compareMode(a, 5);
  if (start < 1 || count < -1) invalidArgument();
  std::u32string t = u32(s), find = u32(f), rep = u32(r);
  if (static_cast<size_t>(start) > t.size()) return Value::text("");
  t = t.substr(static_cast<size_t>(start - 1));
  if (find.empty() || count == 0) return textResult(t);
  std::u32string ft = foldIf(t, mode), ff = foldIf(find, mode);
  std::u32string out;
  size_t pos = 0;
  int64_t done = 0;
  while (count < 0 || done < count) {
    size_t p = ft.find(ff, pos);
    if (p == std::u32string::npos) break;
    out += t.substr(pos, p - pos);
    out += rep;
    pos = p + find.size();
    ++done;
  }
  out += t.substr(pos);
  return textResult(out);
}

bool isBlank(char32_t c) { return c == ' '; }

Value trimImpl(CallArgs& a, bool left, bool right) {
  Value s = a.get(0);
  if (s.isNull()) return Value();
  std::u32string t = u32(s);
  size_t b = 0, e = t.size();
  if (left) while (b < e && isBlank(t[b])) ++b;
  if (right) while (e > b && isBlank(t[e - 1])) --e;
  return textResult(t.substr(b, e - b));
}
Value fnTrim(CallArgs& a) { return trimImpl(a, true, true); }
Value fnLTrim(CallArgs& a) { return trimImpl(a, true, false); }
Value fnRTrim(CallArgs& a) { return trimImpl(a, false, true); }

Value fnUCase(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) return Value();
  std::u32string t = u32(s);
  for (auto& c : t) c = foldCase(c);
  return textResult(t);
}

Value fnLCase(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) return Value();
  std::u32string t = u32(s);
  for (auto& c : t) c = lowerCase(c);
  return textResult(t);
}

Value fnStrComp(CallArgs& a) {
  Value x = a.get(0), y = a.get(1);
  int mode = compareMode(a, 2);
  if (x.isNull() || y.isNull()) return Value();
  int c;
  if (mode == 0) {
    std::u32string p = u32(x), q = u32(y);
    c = p < q ? -1 : p > q ? 1 : 0;
  } else {
    c = compareTextWhole(toText(x), toText(y));
  }
  return Value::integer(static_cast<int16_t>(c));
}

Value fnStrConv(CallArgs& a) {
  Value s = a.get(0);
  int64_t conv = argInt(a.get(1));
  if (s.isNull()) return Value();
  std::u32string t = u32(s);
  if (conv & 1) {
    for (auto& c : t) c = foldCase(c);
  } else if (conv & 2) {
    for (auto& c : t) c = lowerCase(c);
  }
  if ((conv & 3) == 3) {
    bool startWord = true;
    for (auto& c : t) {
      c = startWord ? foldCase(c) : lowerCase(c);
      startWord = (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == 0 || c == '\f' || c == '\v');
    }
  }
  return textResult(t);
}

Value fnSpace(CallArgs& a) {
  Value n = a.get(0);
  if (n.isNull()) return Value();
  int64_t k = lengthArg(n);
  if (k > 65535 * 16) invalidArgument();
  return Value::text(std::string(static_cast<size_t>(k), ' '));
}

Value fnString(CallArgs& a) {
  Value n = a.get(0), ch = a.get(1);
  if (n.isNull() || ch.isNull()) return Value();
  int64_t k = lengthArg(n);
  if (k > 65535 * 16) invalidArgument();
  char32_t c;
  if (ch.isText()) {
    std::u32string t = decodeUtf8(ch.bytes());
    if (t.empty()) invalidArgument();
    c = t[0];
  } else {
    int64_t code = argInt(ch);
    if (code < 0) invalidArgument();
    c = static_cast<char32_t>(code % 256);
  }
  return textResult(std::u32string(static_cast<size_t>(k), c));
}

Value fnAsc(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  std::u32string t = u32(s);
  if (t.empty()) invalidArgument();
  uint32_t c = t[0];
  // Characters outside the ANSI code page read as '?', as with Asc; AscW gives the code.
  if (c > 255 && c != 0x20AC) c = '?';
  if (c == 0x20AC) c = 0x80;
  return Value::integer(static_cast<int16_t>(c));
}

Value fnAscW(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  std::u32string t = u32(s);
  if (t.empty()) invalidArgument();
  uint32_t c = t[0];
  return Value::integer(static_cast<int16_t>(c > 0xFFFF ? 0xFFFD : c));
}

// Windows-1252 code points 0x80..0x9F.
const char32_t k1252[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                            0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

Value fnChr(CallArgs& a) {
  Value n = a.get(0);
  if (n.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  int64_t c = argInt(n);
  if (c < 0 || c > 255) invalidArgument();
  char32_t u = static_cast<char32_t>(c);
  if (c >= 0x80 && c <= 0x9F) u = k1252[c - 0x80];
  return textResult(std::u32string(1, u));
}

Value fnChrW(CallArgs& a) {
  Value n = a.get(0);
  if (n.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  int64_t c = argInt(n);
  if (c < -32768 || c > 65535) invalidArgument();
  if (c < 0) c += 65536;
  return textResult(std::u32string(1, static_cast<char32_t>(c)));
}

Value fnStrReverse(CallArgs& a) {
  Value s = a.get(0);
  if (s.isNull()) throw jet::Error(jet::err::kInvalidUseOfNull, "Invalid use of Null.");
  std::u32string t = u32(s);
  std::reverse(t.begin(), t.end());
  return textResult(t);
}

DataType longType(const std::vector<DataType>&) { return DataType::Long; }

}  // namespace

void registerTextFunctions(std::vector<FunctionDef>& r) {
  addFunction(r, {"Left", 2, 2, fnLeft, DataType::Text});
  addFunction(r, {"Right", 2, 2, fnRight, DataType::Text});
  addFunction(r, {"Mid", 2, 3, fnMid, DataType::Text});
  addFunction(r, {"Len", 1, 1, fnLen, DataType::Long, longType});
  addFunction(r, {"InStr", 2, 4, fnInStr, DataType::Long});
  addFunction(r, {"InStrRev", 2, 4, fnInStrRev, DataType::Long});
  addFunction(r, {"Replace", 3, 6, fnReplace, DataType::Text});
  addFunction(r, {"Trim", 1, 1, fnTrim, DataType::Text});
  addFunction(r, {"LTrim", 1, 1, fnLTrim, DataType::Text});
  addFunction(r, {"RTrim", 1, 1, fnRTrim, DataType::Text});
  addFunction(r, {"UCase", 1, 1, fnUCase, DataType::Text});
  addFunction(r, {"LCase", 1, 1, fnLCase, DataType::Text});
  addFunction(r, {"StrComp", 2, 3, fnStrComp, DataType::Integer});
  addFunction(r, {"StrConv", 2, 3, fnStrConv, DataType::Text});
  addFunction(r, {"Space", 1, 1, fnSpace, DataType::Text});
  addFunction(r, {"String", 2, 2, fnString, DataType::Text});
  addFunction(r, {"Asc", 1, 1, fnAsc, DataType::Integer});
  addFunction(r, {"AscW", 1, 1, fnAscW, DataType::Integer});
  addFunction(r, {"Chr", 1, 1, fnChr, DataType::Text});
  addFunction(r, {"ChrW", 1, 1, fnChrW, DataType::Text});
  addFunction(r, {"StrReverse", 1, 1, fnStrReverse, DataType::Text});
}

}  // namespace sql
