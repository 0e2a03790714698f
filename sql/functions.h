// Built-in functions of the expression language. Each family (text,
// conversion, math, date, format, inspection) registers its functions here.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "jet/value.h"

namespace sql {

// Arguments of one call, evaluated on demand (IIf and Switch evaluate only
// what they need).
class CallArgs {
 public:
  virtual ~CallArgs() = default;
  virtual size_t size() const = 0;
  virtual jet::Value get(size_t i) = 0;
};

using FnImpl = jet::Value (*)(CallArgs&);
using FnTypeRule = jet::DataType (*)(const std::vector<jet::DataType>& argTypes);

struct FunctionDef {
  std::string name;       // as the product spells it
  int minArgs = 0;
  int maxArgs = 0;
  FnImpl fn = nullptr;
  jet::DataType type = jet::DataType::Text;   // result type reported for the column
  FnTypeRule typeRule = nullptr;              // overrides type when set
  bool isVolatile = false;                    // Now(), Rnd(): never folded to a constant
};

// Case-insensitive lookup; nullptr for unknown names.
const FunctionDef* findFunction(const std::string& name);
// Count, Sum, Avg, Min, Max, First, Last, StDev, StDevP, Var, VarP.
bool isAggregateName(const std::string& name);

// Registration, one per family.
void addFunction(std::vector<FunctionDef>& reg, FunctionDef def);
void registerTextFunctions(std::vector<FunctionDef>& reg);
void registerConversionFunctions(std::vector<FunctionDef>& reg);
void registerMathFunctions(std::vector<FunctionDef>& reg);
void registerDateFunctions(std::vector<FunctionDef>& reg);
void registerFormatFunctions(std::vector<FunctionDef>& reg);
void registerInspectionFunctions(std::vector<FunctionDef>& reg);

// Helpers for implementations.
[[noreturn]] void invalidArgument();           // error 5
std::string argText(const jet::Value& v);       // text form; Null as ""
int64_t argInt(const jet::Value& v);            // rounded to even, must fit Long
double argDouble(const jet::Value& v);
jet::DataType firstArgType(const std::vector<jet::DataType>& t);
jet::DataType commonType(const std::vector<jet::DataType>& t);  // IIf, Nz, Choose

// Date helpers shared by the date and format families.
double nowSerial();
// Day serial to a continuous day count (the stored form is not continuous
// before 1899-12-30) and back.
double serialToLinear(double serial);
double linearToSerial(double linear);
// 1 = Sunday ... 7 = Saturday, counted from firstDay (1 = Sunday).
int weekdayOf(double serial, int firstDay = 1);
std::string monthName(int m, bool abbrev);
std::string weekdayName(int d, bool abbrev);  // 1 = Sunday
std::string formatValue(const jet::Value& v, const std::string& fmt, int firstDay = 1, int firstWeek = 1);

}  // namespace sql
