// Format and its relatives: named formats (Currency, Short Date, ...) and
// custom date, number and text formats.
#include <cctype>
#include <cmath>
#include <cstdio>

#include "jet/error.h"
#include "jet/text.h"
#include "sql/collate.h"
#include "sql/convert.h"
#include "sql/functions.h"

namespace sql {

using jet::DataType;
using jet::Value;

namespace {

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool startsWithNoCase(const std::string& s, size_t i, const char* w) {
  size_t n = std::char_traits<char>::length(w);
  if (i + n > s.size()) return false;
  for (size_t k = 0; k < n; ++k)
    if (std::tolower(static_cast<unsigned char>(s[i + k])) != std::tolower(static_cast<unsigned char>(w[k]))) return false;
  return true;
}

std::string pad2(int v) {
  char b[16];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

std::string formatDate(double serial, const std::string& f, int firstDay, int firstWeek);

std::string namedDate(double serial, const std::string& name, int fd, int fw) {
  std::string l = lower(name);
  if (l == "general date") return dateText(serial);
  if (l == "long date") return formatDate(serial, "dddd, mmmm d, yyyy", fd, fw);
  if (l == "medium date") return formatDate(serial, "dd-mmm-yy", fd, fw);
  if (l == "short date") return formatDate(serial, "m/d/yyyy", fd, fw);
  if (l == "long time") return formatDate(serial, "h:nn:ss AM/PM", fd, fw);
  if (l == "medium time") return formatDate(serial, "hh:nn AM/PM", fd, fw);
  if (l == "short time") return formatDate(serial, "hh:nn", fd, fw);
  return "";
}

std::string formatDate(double serial, const std::string& f, int firstDay, int firstWeek) {
  int y, mo, d, h, mi, s;
  if (!jet::serialToParts(serial, y, mo, d, h, mi, s)) invalidArgument();
  bool ampm = false;
  // does the format hold an AM/PM marker? then hours are 12-hour
  for (size_t i = 0; i < f.size(); ++i)
    if (startsWithNoCase(f, i, "am/pm") || startsWithNoCase(f, i, "a/p") || startsWithNoCase(f, i, "ampm")) ampm = true;
  int h12 = h % 12 == 0 ? 12 : h % 12;
  std::string out;
  bool lastWasHour = false;
  for (size_t i = 0; i < f.size();) {
    char c = f[i];
    char lc = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto run = [&](char ch) {
      size_t n = 0;
      while (i + n < f.size() && std::tolower(static_cast<unsigned char>(f[i + n])) == ch) ++n;
      return n;
    };
    if (c == '"') {
      size_t j = f.find('"', i + 1);
      if (j == std::string::npos) j = f.size();
      out += f.substr(i + 1, j - i - 1);
      i = j + 1;
      continue;
    }
    if (c == '\\' && i + 1 < f.size()) { out.push_back(f[i + 1]); i += 2; continue; }
    if (startsWithNoCase(f, i, "am/pm")) {
      std::string m = h < 12 ? "AM" : "PM";
      if (f[i] == 'a' || f[i] == 'p') m = lower(m);
      out += m;
      i += 5;
      continue;
    }
    if (startsWithNoCase(f, i, "a/p")) {
      char m = h < 12 ? 'A' : 'P';
      if (f[i] == 'a' || f[i] == 'p') m = static_cast<char>(std::tolower(m));
      out.push_back(m);
      i += 3;
      continue;
    }
    if (startsWithNoCase(f, i, "ampm")) { out += h < 12 ? "AM" : "PM"; i += 4; continue; }
    if (lc == 'd') {
      size_t n = run('d');
      if (n == 1) out += std::to_string(d);
      else if (n == 2) out += pad2(d);
      else if (n == 3) out += weekdayName(weekdayOf(serial), true);
      else if (n == 4) out += weekdayName(weekdayOf(serial), false);
      else if (n == 5) out += namedDate(serial, "short date", firstDay, firstWeek);
      else out += namedDate(serial, "long date", firstDay, firstWeek);
      i += n;
      lastWasHour = false;
      continue;
    }
    if (lc == 'm') {
      size_t n = run('m');
      // m right after an hour means minutes
      if (lastWasHour && n <= 2) {
        out += n == 1 ? std::to_string(mi) : pad2(mi);
      } else if (n == 1) out += std::to_string(mo);
      else if (n == 2) out += pad2(mo);
      else if (n == 3) out += monthName(mo, true);
      else out += monthName(mo, false);
      i += n;
      lastWasHour = false;
      continue;
    }
    if (lc == 'y') {
      size_t n = run('y');
      if (n >= 3) { char b[8]; std::snprintf(b, sizeof b, "%04d", y); out += b; }
      else if (n == 2) out += pad2(y % 100);
      else {
        double jan1 = jet::partsToSerial(y, 1, 1, 0, 0, 0);
        out += std::to_string(static_cast<int>(std::floor(serialToLinear(serial)) - serialToLinear(jan1)) + 1);
      }
      i += n;
      lastWasHour = false;
      continue;
    }
    if (lc == 'h') {
      size_t n = run('h');
      int hv = ampm ? h12 : h;
      out += n >= 2 ? pad2(hv) : std::to_string(hv);
      i += n;
      lastWasHour = true;
      continue;
    }
    if (lc == 'n') {
      size_t n = run('n');
      out += n >= 2 ? pad2(mi) : std::to_string(mi);
      i += n;
      lastWasHour = false;
      continue;
    }
    if (lc == 's') {
      size_t n = run('s');
      out += n >= 2 ? pad2(s) : std::to_string(s);
      i += n;
      lastWasHour = false;
      continue;
    }
    if (lc == 'q') { out += std::to_string((mo - 1) / 3 + 1); i += 1; continue; }
    if (lc == 'w') {
      size_t n = run('w');
      if (n >= 2) {
        // week of the year, counted from the week holding January 1
        double jan1 = jet::partsToSerial(y, 1, 1, 0, 0, 0);
        int doy = static_cast<int>(std::floor(serialToLinear(serial)) - serialToLinear(jan1));
        out += std::to_string((doy + weekdayOf(jan1, firstDay) - 1) / 7 + 1);
      } else {
        out += std::to_string(weekdayOf(serial, firstDay));
      }
      i += n;
      continue;
    }
    if (lc == 'c') { out += dateText(serial); ++i; continue; }
    if (lc == 't' && startsWithNoCase(f, i, "ttttt")) { out += namedDate(serial, "long time", firstDay, firstWeek); i += 5; continue; }
    out.push_back(c);
    if (c != ':' && c != ' ') lastWasHour = lastWasHour && (c == ':');
    ++i;
  }
  return out;
}

// Splits a format on ';' outside quotes.
std::vector<std::string> sections(const std::string& f) {
  std::vector<std::string> out(1);
  bool q = false;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    if (c == '"') q = !q;
    if (c == '\\' && i + 1 < f.size()) { out.back() += f.substr(i, 2); ++i; continue; }
    if (c == ';' && !q) { out.emplace_back(); continue; }
    out.back().push_back(c);
  }
  return out;
}

std::string groupThousands(const std::string& digits) {
  std::string out;
  int n = static_cast<int>(digits.size());
  for (int i = 0; i < n; ++i) {
    out.push_back(digits[i]);
    int rest = n - 1 - i;
    if (rest > 0 && rest % 3 == 0) out.push_back(',');
  }
  return out;
}

std::string formatNumberSection(double v, const std::string& f) {
  // Literal text before and after the digit placeholders is kept in place.
  std::string prefix, suffix;
  int intZeros = 0, fracZeros = 0, fracHashes = 0;
  bool grouping = false, percent = false, sci = false, expPlus = false, seenDot = false, seenDigit = false;
  int expDigits = 0;
  bool inNumber = false, afterNumber = false;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    std::string lit;
    bool isLit = false;
    if (c == '"') {
      size_t j = f.find('"', i + 1);
      if (j == std::string::npos) j = f.size();
      lit = f.substr(i + 1, j - i - 1);
      i = j;
      isLit = true;
    } else if (c == '\\' && i + 1 < f.size()) {
      lit = f.substr(i + 1, 1);
      ++i;
      isLit = true;
    } else if ((c == 'E' || c == 'e') && i + 1 < f.size() && (f[i + 1] == '+' || f[i + 1] == '-') && seenDigit) {
      sci = true;
      expPlus = f[i + 1] == '+';
      i += 2;
      while (i < f.size() && f[i] == '0') { ++expDigits; ++i; }
      --i;
      afterNumber = true;
      continue;
    } else if (c == '0' || c == '#') {
      if (afterNumber) { suffix.push_back(c); continue; }
      inNumber = seenDigit = true;
      if (seenDot) { if (c == '0') fracZeros += 1 + fracHashes, fracHashes = 0; else ++fracHashes; }
      else if (c == '0') ++intZeros;
      continue;
    } else if (c == '.' && !afterNumber && !seenDot) {
      seenDot = true;
      inNumber = true;
      continue;
    } else if (c == ',' && inNumber && !seenDot) {
      grouping = true;
      continue;
    } else if (c == '%') {
      percent = true;
      lit = "%";
      isLit = true;
    } else {
      lit = std::string(1, c);
      isLit = true;
    }
    if (isLit) {
      if (inNumber) { afterNumber = true; inNumber = false; }
      (afterNumber ? suffix : prefix) += lit;
    }
  }
  if (percent) v *= 100;
  int decimals = fracZeros + fracHashes;
  std::string body;
  if (sci) {
    int exp = 0;
    double m = std::fabs(v);
    if (m != 0) {
      exp = static_cast<int>(std::floor(std::log10(m))) - (intZeros > 1 ? intZeros - 1 : 0);
      m /= std::pow(10.0, exp);
      double r = roundHalfEven(m, decimals);
      if (r >= std::pow(10.0, std::max(intZeros, 1))) { m /= 10; ++exp; }
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, roundHalfEven(m, decimals));
    body = buf;
    std::string ed = std::to_string(std::abs(exp));
    while (static_cast<int>(ed.size()) < expDigits) ed.insert(ed.begin(), '0');
    body += std::string("E") + (exp < 0 ? "-" : (expPlus ? "+" : "")) + ed;
  } else {
    double r = std::fabs(roundHalfEven(v, decimals));
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
    std::string s = buf;
    std::string ip = s, fp;
    size_t dot = s.find('.');
    if (dot != std::string::npos) { ip = s.substr(0, dot); fp = s.substr(dot + 1); }
    // optional decimals drop trailing zeros
    while (static_cast<int>(fp.size()) > fracZeros && !fp.empty() && fp.back() == '0') fp.pop_back();
    if (ip == "0" && intZeros == 0) ip = "";
    while (static_cast<int>(ip.size()) < intZeros) ip.insert(ip.begin(), '0');
    if (grouping) ip = groupThousands(ip);
    body = ip;
    if (seenDot) body += "." + fp;
  }
  return prefix + body + suffix;
}

std::string formatNumber(double v, const std::string& fmt) {
  auto secs = sections(fmt);
  if (v < 0 && secs.size() >= 2 && !secs[1].empty()) return formatNumberSection(-v, secs[1]);
  if (v == 0 && secs.size() >= 3 && !secs[2].empty()) return formatNumberSection(v, secs[2]);
  std::string s = formatNumberSection(v, secs[0]);
  if (v < 0) {
    // a negative value with only the positive section gets a leading minus,
    // unless it rounds to zero
    bool nonzero = false;
    for (char c : s)
      if (c >= '1' && c <= '9') nonzero = true;
    if (nonzero) s = "-" + s;
  }
  return s;
}

std::string formatText(const std::string& text, const std::string& f) {
  bool toLower = false, toUpper = false, leftToRight = false;
  int slots = 0;
  for (char c : f) {
    if (c == '<') toLower = true;
    else if (c == '>') toUpper = true;
    else if (c == '!') leftToRight = true;
    else if (c == '@' || c == '&') ++slots;
  }
  std::u32string t = decodeUtf8(text);
  if (toUpper) for (auto& c : t) c = foldCase(c);
  else if (toLower) for (auto& c : t) c = lowerCase(c);
  if (slots == 0) {
    std::string rest;
    for (char c : f)
      if (c != '<' && c != '>' && c != '!') rest.push_back(c);
    return encodeUtf8(t) + rest;
  }
  // Characters fill the placeholders from the right (from the left with !).
  std::vector<std::u32string> fill(static_cast<size_t>(slots));
  int n = static_cast<int>(t.size());
  if (!leftToRight) {
    int ti = n - 1;
    for (int s = slots - 1; s >= 0 && ti >= 0; --s) fill[static_cast<size_t>(s)] = std::u32string(1, t[static_cast<size_t>(ti--)]);
    if (ti >= 0) fill[0] = t.substr(0, static_cast<size_t>(ti + 1)) + fill[0];
  } else {
    int ti = 0;
    for (int s = 0; s < slots && ti < n; ++s) fill[static_cast<size_t>(s)] = std::u32string(1, t[static_cast<size_t>(ti++)]);
    if (ti < n) fill[static_cast<size_t>(slots - 1)] += t.substr(static_cast<size_t>(ti));
  }
  std::u32string out;
  int s = 0;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    if (c == '<' || c == '>' || c == '!') continue;
    if (c == '@' || c == '&') {
      auto& v = fill[static_cast<size_t>(s++)];
      if (v.empty() && c == '@') out.push_back(' ');
      else out += v;
      continue;
    }
    if (c == '"') {
      size_t j = f.find('"', i + 1);
      if (j == std::string::npos) j = f.size();
      out += decodeUtf8(f.substr(i + 1, j - i - 1));
      i = j;
      continue;
    }
    if (c == '\\' && i + 1 < f.size()) { out.push_back(static_cast<unsigned char>(f[++i])); continue; }
    out.push_back(static_cast<unsigned char>(c));
  }
  return encodeUtf8(out);
}

bool hasDateTokens(const std::string& f) {
  bool q = false;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = static_cast<char>(std::tolower(static_cast<unsigned char>(f[i])));
    if (f[i] == '"') q = !q;
    if (q) continue;
    if (f[i] == '\\') { ++i; continue; }
    if (c == 'd' || c == 'm' || c == 'y' || c == 'h' || c == 'n' || c == 's' || c == 'q' || c == 'w' || c == 'c') return true;
  }
  return false;
}

bool hasNumberTokens(const std::string& f) {
  bool q = false;
  for (size_t i = 0; i < f.size(); ++i) {
    if (f[i] == '"') q = !q;
    if (q) continue;
    if (f[i] == '\\') { ++i; continue; }
    if (f[i] == '0' || f[i] == '#') return true;
  }
  return false;
}

}  // namespace

std::string formatValue(const Value& v, const std::string& fmt, int firstDay, int firstWeek) {
  std::string l = lower(fmt);
  if (fmt.empty()) return toText(v);
  bool isDate = v.type() == DataType::DateTime;
  std::optional<double> num;
  if (v.isNumeric()) num = v.type() == DataType::Boolean ? (v.asBool() ? -1.0 : 0.0) : v.toDouble();
  else if (v.isText()) num = parseNumber(v.bytes());
  // named formats
  if (l == "general number") return num ? numberText(*num) : toText(v);
  if (l == "currency") return num ? formatNumber(*num, "$#,##0.00;($#,##0.00)") : toText(v);
  if (l == "fixed") return num ? formatNumber(*num, "0.00") : toText(v);
  if (l == "standard") return num ? formatNumber(*num, "#,##0.00") : toText(v);
  if (l == "percent") return num ? formatNumber(*num, "0.00%") : toText(v);
  if (l == "scientific") return num ? formatNumber(*num, "0.00E+00") : toText(v);
  if (l == "yes/no" || l == "true/false" || l == "on/off") {
    if (!num && !isDate) return toText(v);
    bool t = isDate ? v.asDouble() != 0 : *num != 0;
    if (l == "yes/no") return t ? "Yes" : "No";
    if (l == "true/false") return t ? "True" : "False";
    return t ? "On" : "Off";
  }
  std::optional<double> date;
  if (isDate) date = v.asDouble();
  else if (v.isText() && !num) date = parseDate(v.bytes());
  else if (num) date = *num;
  std::string named;
  if (date) {
    named = namedDate(*date, fmt, firstDay, firstWeek);
    if (!named.empty()) return named;
  }
  if (hasNumberTokens(fmt) && num) return formatNumber(*num, fmt);
  if (hasDateTokens(fmt) && date && (isDate || !fmt.empty())) {
    if (isDate || !hasNumberTokens(fmt)) return formatDate(*date, fmt, firstDay, firstWeek);
  }
  if (fmt.find('@') != std::string::npos || fmt.find('&') != std::string::npos || fmt.find('<') != std::string::npos ||
      fmt.find('>') != std::string::npos)
    return formatText(toText(v), fmt);
  if (num && (fmt.find('%') != std::string::npos)) return formatNumber(*num, fmt);
  if (date && isDate) return formatDate(*date, fmt, firstDay, firstWeek);
  return fmt;
}

namespace {

Value fnFormat(CallArgs& a) {
  Value v = a.get(0);
  std::string f;
  if (a.size() > 1) {
    Value fv = a.get(1);
    if (!fv.isNull()) f = toText(fv);
  }
  int fd = 1, fw = 1;
  if (a.size() > 2) { Value x = a.get(2); if (!x.isNull()) fd = static_cast<int>(argInt(x)); }
  if (a.size() > 3) { Value x = a.get(3); if (!x.isNull()) fw = static_cast<int>(argInt(x)); }
  if (fd == 0) fd = 1;
  if (v.isNull()) {
    // the fourth section of a number format is the text for Null
    auto secs = sections(f);
    if (secs.size() >= 4) return Value::text(formatText("", secs[3]));
    return Value();
  }
  return Value::text(formatValue(v, f, fd, fw));
}

Value fnFormatNumber(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  int dec = 2;
  if (a.size() > 1) { Value d = a.get(1); if (!d.isNull()) dec = static_cast<int>(argInt(d)); }
  if (dec < 0) dec = 2;
  std::string f = "#,##0";
  if (dec > 0) f += "." + std::string(static_cast<size_t>(dec), '0');
  return Value::text(formatNumber(toDouble(v), f));
}

Value fnFormatCurrency(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::text(formatNumber(toDouble(v), "$#,##0.00;($#,##0.00)"));
}

Value fnFormatPercent(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  return Value::text(formatNumber(toDouble(v), "0.00%"));
}

Value fnFormatDateTime(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  int kind = 0;
  if (a.size() > 1) { Value k = a.get(1); if (!k.isNull()) kind = static_cast<int>(argInt(k)); }
  double d = toDate(v);
  static const char* names[] = {"general date", "long date", "short date", "long time", "short time"};
  if (kind < 0 || kind > 4) invalidArgument();
  return Value::text(namedDate(d, names[kind], 1, 1));
}

}  // namespace

void registerFormatFunctions(std::vector<FunctionDef>& r) {
  addFunction(r, {"Format", 1, 4, fnFormat, DataType::Text});
  addFunction(r, {"FormatNumber", 1, 5, fnFormatNumber, DataType::Text});
  addFunction(r, {"FormatCurrency", 1, 5, fnFormatCurrency, DataType::Text});
  addFunction(r, {"FormatPercent", 1, 5, fnFormatPercent, DataType::Text});
  addFunction(r, {"FormatDateTime", 1, 2, fnFormatDateTime, DataType::Text});
}

}  // namespace sql
