#include "sql/convert.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "jet/error.h"
#include "jet/ext_datetime.h"

namespace sql {

using jet::DataType;
using jet::Value;

void typeMismatch() { throw jet::Error(jet::err::kDataTypeMismatch, "Data type mismatch in criteria expression."); }
void overflow() { throw jet::Error(jet::err::kTypeConversion, "Data type conversion error: overflow."); }

namespace {

std::string trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

int monthFromName(const std::string& w) {
  static const char* names[] = {"january", "february", "march",     "april",   "may",      "june",
                                "july",    "august",   "september", "october", "november", "december"};
  std::string l = lower(w);
  if (l.size() < 3) return 0;
  for (int i = 0; i < 12; ++i) {
    std::string n = names[i];
    if (l == n || (l.size() <= n.size() && n.compare(0, l.size(), l) == 0 && l.size() >= 3)) return i + 1;
  }
  if (l == "sept") return 9;
  return 0;
}

int currentYear() {
  std::time_t t = std::time(nullptr);
  std::tm tmv{};
  localtime_r(&t, &tmv);
  return tmv.tm_year + 1900;
}

bool validDate(int y, int m, int d) {
  if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int maxd = dim[m - 1];
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) maxd = 29;
  return d <= maxd;
}

int fixYear(int y, size_t digits) {
  if (digits <= 2 && y < 100) return y < 30 ? 2000 + y : 1900 + y;
  return y;
}

}  // namespace

std::optional<double> parseNumber(const std::string& text) {
  std::string s = trim(text);
  if (s.empty()) return std::nullopt;
  if (s.size() > 2 && s[0] == '&' && (s[1] == 'H' || s[1] == 'h' || s[1] == 'O' || s[1] == 'o')) {
    int base = (s[1] == 'H' || s[1] == 'h') ? 16 : 8;
    char* end = nullptr;
    long long v = std::strtoll(s.c_str() + 2, &end, base);
    if (*end) return std::nullopt;
    if (base == 16 && s.size() <= 6 && v > 0x7FFF) v -= 0x10000;
    return static_cast<double>(v);
  }
  std::string clean;
  size_t i = 0;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') { neg = s[i] == '-'; ++i; }
  if (i < s.size() && s[i] == '$') ++i;
  bool digits = false;
  while (i < s.size() && (std::isdigit(static_cast<unsigned char>(s[i])) || (s[i] == ',' && digits))) {
    if (s[i] != ',') { clean.push_back(s[i]); digits = true; }
    ++i;
  }
  if (i < s.size() && s[i] == '.') {
    clean.push_back('.');
    ++i;
    while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) { clean.push_back(s[i++]); digits = true; }
  }
  if (!digits) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
    size_t k = i + 1;
    std::string ex = "e";
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ex.push_back(s[k++]);
    if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
      while (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) ex.push_back(s[k++]);
      clean += ex;
      i = k;
    } else {
      return std::nullopt;
    }
  }
  while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
  if (i < s.size() && s[i] == '-' && i + 1 == s.size() && !neg) { neg = true; ++i; }  // trailing minus
  if (i != s.size()) return std::nullopt;
  double v = std::strtod(clean.c_str(), nullptr);
  return neg ? -v : v;
}

std::optional<double> parseDate(const std::string& text) {
  std::string s = trim(text);
  if (s.empty()) return std::nullopt;
  struct Part {
    std::string text;
    bool num;
    char sepAfter;
  };
  std::vector<Part> parts;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isdigit(c)) {
      size_t j = i;
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      parts.push_back({s.substr(i, j - i), true, ' '});
      i = j;
    } else if (std::isalpha(c)) {
      size_t j = i;
      while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
      parts.push_back({s.substr(i, j - i), false, ' '});
      i = j;
    } else if (c == '/' || c == '-' || c == '.' || c == ',' || c == ':' || c == ' ' || c == '\t') {
      if (!parts.empty() && (parts.back().sepAfter == ' ' || c == ':')) parts.back().sepAfter = static_cast<char>(c);
      ++i;
    } else {
      return std::nullopt;
    }
  }
  // Time: a run of numbers joined by ':' (h:m[:s]) or a number followed by AM/PM.
  int hh = 0, mi = 0, ss = 0;
  bool haveTime = false;
  std::vector<Part> dateParts;
  for (size_t k = 0; k < parts.size(); ++k) {
    if (parts[k].num && parts[k].sepAfter == ':' && k + 1 < parts.size() && parts[k + 1].num) {
      hh = std::atoi(parts[k].text.c_str());
      mi = std::atoi(parts[k + 1].text.c_str());
      k += 1;
      if (parts[k].sepAfter == ':' && k + 1 < parts.size() && parts[k + 1].num) {
        ss = std::atoi(parts[k + 1].text.c_str());
        k += 1;
      }
      haveTime = true;
      if (k + 1 < parts.size() && !parts[k + 1].num) {
        std::string ap = lower(parts[k + 1].text);
        if (ap == "am" || ap == "a" || ap == "pm" || ap == "p") {
          if (hh > 12 || hh == 0) {
            if (hh == 0 && (ap == "am" || ap == "a")) {} else if (hh > 12) return std::nullopt;
          }
          if ((ap == "pm" || ap == "p") && hh < 12) hh += 12;
          if ((ap == "am" || ap == "a") && hh == 12) hh = 0;
          k += 1;
        }
      }
      continue;
    }
    if (parts[k].num && k + 1 < parts.size() && !parts[k + 1].num) {
      std::string ap = lower(parts[k + 1].text);
      if (ap == "am" || ap == "pm") {
        hh = std::atoi(parts[k].text.c_str());
        if (hh > 12) return std::nullopt;
        if (ap == "pm" && hh < 12) hh += 12;
        if (ap == "am" && hh == 12) hh = 0;
        haveTime = true;
        k += 1;
        continue;
      }
    }
    dateParts.push_back(parts[k]);
  }
  if (hh > 23 || mi > 59 || ss > 59) return std::nullopt;
  double timeFrac = (hh * 3600.0 + mi * 60.0 + ss) / 86400.0;
  if (dateParts.empty()) {
    if (!haveTime) return std::nullopt;
    return timeFrac;
  }
  int month = 0;
  std::vector<std::pair<int, size_t>> nums;  // value, digit count
  for (const auto& p : dateParts) {
    if (p.num) {
      if (p.text.size() > 4) return std::nullopt;
      nums.push_back({std::atoi(p.text.c_str()), p.text.size()});
    } else {
      int m = monthFromName(p.text);
      if (m == 0) {
        // weekday names are allowed and ignored
        static const char* days[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
        std::string l = lower(p.text);
        bool day = false;
        for (const char* d : days)
          if (l.rfind(d, 0) == 0) day = true;
        if (!day || month) return std::nullopt;
        continue;
      }
      if (month) return std::nullopt;
      month = m;
    }
  }
  int y = 0, m = 0, d = 0;
  if (month) {
    m = month;
    if (nums.size() == 2) {
      if (nums[0].second >= 3 || nums[0].first > 31) { y = fixYear(nums[0].first, nums[0].second); d = nums[1].first; }
      else { d = nums[0].first; y = fixYear(nums[1].first, nums[1].second); }
    } else if (nums.size() == 1) {
      if (nums[0].second >= 3 || nums[0].first > 31) { y = fixYear(nums[0].first, nums[0].second); d = 1; }
      else { d = nums[0].first; y = currentYear(); }
    } else {
      return std::nullopt;
    }
  } else if (nums.size() == 3) {
    if (nums[0].second >= 3 || nums[0].first > 31) {
      y = fixYear(nums[0].first, nums[0].second); m = nums[1].first; d = nums[2].first;
    } else {
      m = nums[0].first; d = nums[1].first; y = fixYear(nums[2].first, nums[2].second);
      if (m > 12 && d <= 12) std::swap(m, d);
    }
  } else if (nums.size() == 2) {
    if (nums[1].second >= 3 || nums[1].first > 31) {
      m = nums[0].first; d = 1; y = fixYear(nums[1].first, nums[1].second);
    } else {
      m = nums[0].first; d = nums[1].first; y = currentYear();
      if (m > 12 && d <= 12) std::swap(m, d);
    }
  } else {
    return std::nullopt;
  }
  if (!validDate(y, m, d)) return std::nullopt;
  double serial = jet::partsToSerial(y, m, d, 0, 0, 0);
  return serial < 0 ? serial - timeFrac : serial + timeFrac;
}

double toDouble(const Value& v) {
  switch (v.type()) {
    case DataType::Null: typeMismatch();
    case DataType::Text: case DataType::Memo: {
      auto d = parseNumber(v.bytes());
      if (!d) typeMismatch();
      return *d;
    }
    case DataType::Binary: case DataType::OLE: case DataType::GUID: case DataType::Complex:
      typeMismatch();
    case DataType::ExtDateTime: {
      auto e = jet::parseExtDateTimeText(v.bytes());
      if (!e) typeMismatch();
      return jet::extDateTimeToSerial(*e);
    }
    default:
      return v.toDouble();
  }
}

double toDate(const Value& v) {
  switch (v.type()) {
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime: {
      if (v.type() == DataType::ExtDateTime) {
        auto e = jet::parseExtDateTimeText(v.bytes());
        if (e) return jet::extDateTimeToSerial(*e);
      }
      auto d = parseDate(v.bytes());
      if (d) return *d;
      auto n = parseNumber(v.bytes());
      if (n) return *n;
      typeMismatch();
    }
    default:
      return toDouble(v);
  }
}

bool toBool(const Value& v) {
  if (v.isText()) {
    std::string l = lower(trim(v.bytes()));
    if (l == "true" || l == "yes" || l == "on") return true;
    if (l == "false" || l == "no" || l == "off") return false;
    auto d = parseNumber(v.bytes());
    if (!d) typeMismatch();
    return *d != 0;
  }
  if (v.type() == DataType::Boolean) return v.asBool();
  if (v.type() == DataType::Currency || v.isIntegral()) return v.asInt() != 0;
  return toDouble(v) != 0;
}

double roundHalfEven(double v, int decimals) {
  if (!std::isfinite(v)) return v;
  // The value as stored in binary, scaled in double arithmetic and rounded
  // half to even: 2.5 -> 2, 0.125 at 2 decimals -> 0.12, and 2.675 (stored
  // as 2.67499999999999982...) -> 2.67. No tolerance: a value just below a
  // half rounds down, as the product rounds.
  if (decimals == 0) return std::nearbyint(v);
  double scale = std::pow(10.0, decimals);
  return std::nearbyint(v * scale) / scale;
}

int64_t toCurrencyUnits(const Value& v) {
  if (v.type() == DataType::Currency) return v.asInt();
  if (v.isIntegral() && v.type() != DataType::Boolean) return v.asInt() * 10000;
  double d = toDouble(v) * 10000.0;
  if (std::fabs(d) > 9.2e18) overflow();
  return static_cast<int64_t>(roundHalfEven(d, 0));
}

int64_t toIntegerChecked(double d, int64_t lo, int64_t hi) {
  double r = roundHalfEven(d, 0);
  if (!(r >= static_cast<double>(lo) && r <= static_cast<double>(hi))) overflow();
  return static_cast<int64_t>(r);
}

int numericRank(DataType t) {
  switch (t) {
    case DataType::Boolean: return 1;
    case DataType::Byte: return 1;
    case DataType::Integer: return 2;
    case DataType::Long: return 3;
    case DataType::BigInt: return 4;
    case DataType::Currency: return 5;
    case DataType::Decimal: return 6;
    case DataType::Single: return 7;
    case DataType::Double: return 8;
    case DataType::DateTime: return 9;
    default: return 0;
  }
}

}  // namespace sql
