// Date and time functions: Date, Now, Year ... Second, Weekday, DatePart,
// DateAdd, DateDiff, DateSerial, DateValue, TimeSerial, TimeValue, names.
#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>

#include "jet/error.h"
#include "sql/convert.h"
#include "sql/functions.h"

namespace sql {

using jet::DataType;
using jet::Value;

double serialToLinear(double s) {
  if (s >= 0) return s;
  double whole = std::trunc(s);
  double frac = std::fabs(s - whole);
  return whole + frac;
}

double linearToSerial(double l) {
  if (l >= 0) return l;
  double day = std::floor(l);
  double frac = l - day;
  if (frac == 0) return day;
  return day - frac;
}

double nowSerial() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm tmv{};
  localtime_r(&t, &tmv);
  return jet::partsToSerial(tmv.tm_year + 1900, tmv.tm_mon + 1, tmv.tm_mday, tmv.tm_hour, tmv.tm_min, tmv.tm_sec);
}

int weekdayOf(double serial, int firstDay) {
  int64_t day = static_cast<int64_t>(std::floor(serialToLinear(serial) + 1e-9));
  int sundayBased = static_cast<int>(((day + 6) % 7 + 7) % 7) + 1;  // day 0 (1899-12-30) is a Saturday
  return ((sundayBased - firstDay) % 7 + 7) % 7 + 1;
}

std::string monthName(int m, bool abbrev) {
  static const char* names[] = {"January", "February", "March",     "April",   "May",      "June",
                                "July",    "August",   "September", "October", "November", "December"};
  if (m < 1 || m > 12) invalidArgument();
  std::string n = names[m - 1];
  return abbrev ? n.substr(0, 3) : n;
}

std::string weekdayName(int d, bool abbrev) {
  static const char* names[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  if (d < 1 || d > 7) invalidArgument();
  std::string n = names[d - 1];
  return abbrev ? n.substr(0, 3) : n;
}

namespace {

struct Parts {
  int y, mo, d, h, mi, s;
};

Parts partsOf(double serial) {
  Parts p{};
  if (!jet::serialToParts(serial, p.y, p.mo, p.d, p.h, p.mi, p.s)) invalidArgument();
  return p;
}

double dateArg(CallArgs& a, size_t i, bool& isNull) {
  Value v = a.get(i);
  isNull = v.isNull();
  if (isNull) return 0;
  return toDate(v);
}

template <int Which>
Value partFn(CallArgs& a) {
  bool n;
  double d = dateArg(a, 0, n);
  if (n) return Value();
  Parts p = partsOf(d);
  int r = Which == 0 ? p.y : Which == 1 ? p.mo : Which == 2 ? p.d : Which == 3 ? p.h : Which == 4 ? p.mi : p.s;
  return Value::integer(static_cast<int16_t>(r));
}

int optInt(CallArgs& a, size_t i, int def) {
  if (a.size() <= i) return def;
  Value v = a.get(i);
  if (v.isNull()) return def;
  return static_cast<int>(argInt(v));
}

int firstDayArg(CallArgs& a, size_t i) {
  int f = optInt(a, i, 1);
  if (f == 0) f = 1;  // system setting: Sunday
  if (f < 1 || f > 7) invalidArgument();
  return f;
}

Value fnWeekday(CallArgs& a) {
  bool n;
  double d = dateArg(a, 0, n);
  if (n) return Value();
  return Value::integer(static_cast<int16_t>(weekdayOf(d, firstDayArg(a, 1))));
}

Value fnWeekdayName(CallArgs& a) {
  int w = static_cast<int>(argInt(a.get(0)));
  bool ab = a.size() > 1 ? toBool(a.get(1)) : false;
  int f = firstDayArg(a, 2);
  if (w < 1 || w > 7) invalidArgument();
  return Value::text(weekdayName((w - 1 + f - 1) % 7 + 1, ab));
}

Value fnMonthName(CallArgs& a) {
  int m = static_cast<int>(argInt(a.get(0)));
  bool ab = a.size() > 1 ? toBool(a.get(1)) : false;
  return Value::text(monthName(m, ab));
}

int dayOfYear(const Parts& p) {
  double jan1 = jet::partsToSerial(p.y, 1, 1, 0, 0, 0);
  double day = jet::partsToSerial(p.y, p.mo, p.d, 0, 0, 0);
  return static_cast<int>(serialToLinear(day) - serialToLinear(jan1)) + 1;
}

int weekOfYear(double serial, int firstDay, int firstWeek) {
  Parts p = partsOf(serial);
  int doy = dayOfYear(p);
  double jan1 = jet::partsToSerial(p.y, 1, 1, 0, 0, 0);
  int wdJan1 = weekdayOf(jan1, firstDay);  // 1..7 within the week
  int week = (doy - 1 + (wdJan1 - 1)) / 7 + 1;
  if (firstWeek == 2 || firstWeek == 3) {
    // first week with at least four days / the first full week
    int daysInFirst = 8 - wdJan1;
    bool counts = firstWeek == 2 ? daysInFirst >= 4 : daysInFirst == 7;
    if (!counts) --week;
    if (week == 0) {
      Parts prev{p.y - 1, 12, 31, 0, 0, 0};
      return weekOfYear(jet::partsToSerial(prev.y, 12, 31, 0, 0, 0), firstDay, firstWeek);
    }
  }
  return week;
}

std::string lowerText(const Value& v) {
  std::string s = toText(v);
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

Value fnDatePart(CallArgs& a) {
  std::string iv = lowerText(a.get(0));
  bool n;
  double d = dateArg(a, 1, n);
  if (n) return Value();
  int f = firstDayArg(a, 2);
  int fw = optInt(a, 3, 1);
  Parts p = partsOf(d);
  int r;
  if (iv == "yyyy") r = p.y;
  else if (iv == "q") r = (p.mo - 1) / 3 + 1;
  else if (iv == "m") r = p.mo;
  else if (iv == "y") r = dayOfYear(p);
  else if (iv == "d") r = p.d;
  else if (iv == "w") r = weekdayOf(d, f);
  else if (iv == "ww") r = weekOfYear(d, f, fw);
  else if (iv == "h") r = p.h;
  else if (iv == "n") r = p.mi;
  else if (iv == "s") r = p.s;
  else invalidArgument();
  return Value::integer(static_cast<int16_t>(r));
}

double addMonths(double serial, int64_t months) {
  Parts p = partsOf(serial);
  int64_t total = static_cast<int64_t>(p.y) * 12 + (p.mo - 1) + months;
  int64_t y = total >= 0 ? total / 12 : -((-total + 11) / 12);
  int m = static_cast<int>(total - y * 12) + 1;
  if (y < 100 || y > 9999) invalidArgument();
  static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  int maxd = dim[m - 1];
  if (m == 2 && ((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) maxd = 29;
  int d = std::min(p.d, maxd);
  double day = jet::partsToSerial(static_cast<int>(y), m, d, 0, 0, 0);
  double lin = serialToLinear(serial);
  double timeFrac = lin - std::floor(lin);
  return linearToSerial(serialToLinear(day) + timeFrac);
}

Value fnDateAdd(CallArgs& a) {
  std::string iv = lowerText(a.get(0));
  Value nv = a.get(1);
  bool isNull;
  double d = dateArg(a, 2, isNull);
  if (isNull || nv.isNull()) return Value();
  double num = roundHalfEven(toDouble(nv), 0);
  double r;
  if (iv == "yyyy") r = addMonths(d, static_cast<int64_t>(num) * 12);
  else if (iv == "q") r = addMonths(d, static_cast<int64_t>(num) * 3);
  else if (iv == "m") r = addMonths(d, static_cast<int64_t>(num));
  else {
    double days;
    if (iv == "y" || iv == "d" || iv == "w") days = num;
    else if (iv == "ww") days = num * 7;
    else if (iv == "h") days = num / 24.0;
    else if (iv == "n") days = num / 1440.0;
    else if (iv == "s") days = num / 86400.0;
    else invalidArgument();
    double lin = serialToLinear(d) + days;
    // keep whole seconds exact
    double secs = std::round(lin * 86400.0);
    r = linearToSerial(secs / 86400.0);
  }
  int y, mo, dd, h, mi, s;
  if (!jet::serialToParts(r, y, mo, dd, h, mi, s) || y < 100 || y > 9999) invalidArgument();
  return Value::dateTime(r);
}

int64_t floorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

Value fnDateDiff(CallArgs& a) {
  std::string iv = lowerText(a.get(0));
  bool n1, n2;
  double d1 = dateArg(a, 1, n1);
  double d2 = dateArg(a, 2, n2);
  if (n1 || n2) return Value();
  int f = firstDayArg(a, 3);
  Parts p1 = partsOf(d1), p2 = partsOf(d2);
  double l1 = serialToLinear(d1), l2 = serialToLinear(d2);
  int64_t s1 = std::llround(l1 * 86400.0), s2 = std::llround(l2 * 86400.0);
  int64_t day1 = floorDiv(s1, 86400), day2 = floorDiv(s2, 86400);
  int64_t r;
  if (iv == "yyyy") r = p2.y - p1.y;
  else if (iv == "q") r = (p2.y * 4 + (p2.mo - 1) / 3) - (p1.y * 4 + (p1.mo - 1) / 3);
  else if (iv == "m") r = (p2.y * 12 + p2.mo) - (p1.y * 12 + p1.mo);
  else if (iv == "y" || iv == "d") r = day2 - day1;
  else if (iv == "w") r = (day2 - day1) / 7;
  else if (iv == "ww") {
    int64_t w1 = day1 - (weekdayOf(d1, f) - 1), w2 = day2 - (weekdayOf(d2, f) - 1);
    r = (w2 - w1) / 7;
  } else if (iv == "h") r = floorDiv(s2, 3600) - floorDiv(s1, 3600);
  else if (iv == "n") r = floorDiv(s2, 60) - floorDiv(s1, 60);
  else if (iv == "s") r = s2 - s1;
  else invalidArgument();
  if (r > INT32_MAX || r < INT32_MIN) overflow();
  return Value::longInt(static_cast<int32_t>(r));
}

Value fnDateSerial(CallArgs& a) {
  Value yv = a.get(0), mv = a.get(1), dv = a.get(2);
  if (yv.isNull() || mv.isNull() || dv.isNull()) return Value();
  int64_t y = argInt(yv), m = argInt(mv), d = argInt(dv);
  if (y >= 0 && y < 30) y += 2000;
  else if (y >= 30 && y < 100) y += 1900;
  int64_t total = y * 12 + (m - 1);
  int64_t yy = floorDiv(total, 12);
  int mm = static_cast<int>(total - yy * 12) + 1;
  if (yy < 100 || yy > 9999) invalidArgument();
  double first = jet::partsToSerial(static_cast<int>(yy), mm, 1, 0, 0, 0);
  double lin = serialToLinear(first) + static_cast<double>(d - 1);
  double r = linearToSerial(lin);
  int py, pmo, pd, ph, pmi, ps;
  if (!jet::serialToParts(r, py, pmo, pd, ph, pmi, ps) || py < 100 || py > 9999) invalidArgument();
  return Value::dateTime(r);
}

Value fnTimeSerial(CallArgs& a) {
  Value hv = a.get(0), mv = a.get(1), sv = a.get(2);
  if (hv.isNull() || mv.isNull() || sv.isNull()) return Value();
  int64_t secs = argInt(hv) * 3600 + argInt(mv) * 60 + argInt(sv);
  return Value::dateTime(linearToSerial(static_cast<double>(secs) / 86400.0));
}

Value fnDateValue(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  double d = toDate(v);
  return Value::dateTime(std::trunc(d));
}

Value fnTimeValue(CallArgs& a) {
  Value v = a.get(0);
  if (v.isNull()) return Value();
  double d = toDate(v);
  return Value::dateTime(std::fabs(d - std::trunc(d)));
}

Value fnNow(CallArgs&) { return Value::dateTime(nowSerial()); }
Value fnDate(CallArgs&) { return Value::dateTime(std::floor(nowSerial())); }
Value fnTime(CallArgs&) {
  double n = nowSerial();
  return Value::dateTime(n - std::floor(n));
}
Value fnTimer(CallArgs&) {
  double n = nowSerial();
  return Value::single(static_cast<float>((n - std::floor(n)) * 86400.0));
}

}  // namespace

void registerDateFunctions(std::vector<FunctionDef>& r) {
  FunctionDef now{"Now", 0, 0, fnNow, DataType::DateTime};
  now.isVolatile = true;
  addFunction(r, now);
  FunctionDef date{"Date", 0, 0, fnDate, DataType::DateTime};
  date.isVolatile = true;
  addFunction(r, date);
  FunctionDef time{"Time", 0, 0, fnTime, DataType::DateTime};
  time.isVolatile = true;
  addFunction(r, time);
  FunctionDef timer{"Timer", 0, 0, fnTimer, DataType::Single};
  timer.isVolatile = true;
  addFunction(r, timer);
  addFunction(r, {"Year", 1, 1, partFn<0>, DataType::Integer});
  addFunction(r, {"Month", 1, 1, partFn<1>, DataType::Integer});
  addFunction(r, {"Day", 1, 1, partFn<2>, DataType::Integer});
  addFunction(r, {"Hour", 1, 1, partFn<3>, DataType::Integer});
  addFunction(r, {"Minute", 1, 1, partFn<4>, DataType::Integer});
  addFunction(r, {"Second", 1, 1, partFn<5>, DataType::Integer});
  addFunction(r, {"Weekday", 1, 2, fnWeekday, DataType::Integer});
  addFunction(r, {"WeekdayName", 1, 3, fnWeekdayName, DataType::Text});
  addFunction(r, {"MonthName", 1, 2, fnMonthName, DataType::Text});
  addFunction(r, {"DatePart", 2, 4, fnDatePart, DataType::Integer});
  addFunction(r, {"DateAdd", 3, 3, fnDateAdd, DataType::DateTime});
  addFunction(r, {"DateDiff", 3, 5, fnDateDiff, DataType::Long});
  addFunction(r, {"DateSerial", 3, 3, fnDateSerial, DataType::DateTime});
  addFunction(r, {"TimeSerial", 3, 3, fnTimeSerial, DataType::DateTime});
  addFunction(r, {"DateValue", 1, 1, fnDateValue, DataType::DateTime});
  addFunction(r, {"TimeValue", 1, 1, fnTimeValue, DataType::DateTime});
}

}  // namespace sql
