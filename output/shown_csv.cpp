#include "output/shown_csv.h"

#include "output/csv_writer.h"

namespace output {

using jet::DataType;
using jet::Value;

bool appendShownCsvValue(std::string& buf, const Value& v) {
  switch (v.type()) {
    case DataType::Text: case DataType::Memo: case DataType::ExtDateTime:
      appendCsvField(buf, v.bytes());
      return true;
    case DataType::Binary: case DataType::OLE: case DataType::Complex:
      return false;
    case DataType::Null: case DataType::Boolean: case DataType::Byte: case DataType::Integer:
    case DataType::Long: case DataType::BigInt: case DataType::Currency: case DataType::Single:
    case DataType::Double: case DataType::DateTime: case DataType::Decimal: case DataType::GUID:
      // Numbers, dates, GUIDs: never a comma, quote, line break or edge blank.
      jet::appendText(buf, v);
      return true;
  }
  return false;
}

}  // namespace output
