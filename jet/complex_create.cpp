#include "jet/complex_create.h"

#include <algorithm>
#include <random>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/table.h"
#include "jet/table_writer.h"
#include "jet/text.h"

namespace jet::detail {
namespace {

constexpr uint32_t kTemplateFlags = 0x80030000u;  // MSysObjects.Flags of the template tables
constexpr uint32_t kFlatFlags = 0x800A0000u;      // ... and of the hidden flat tables
constexpr uint8_t kExtTemplate = 0x10;            // a column taken from the template
constexpr uint8_t kExtEntryId = 0x04;             // the entry's own auto-number
constexpr uint8_t kExtForeignKey = 0x08;          // the link to the row's complex id
constexpr size_t kMaxName = 64;

// The template table's name suffix for a multi-value type ("" for none).
const char* templateSuffix(DataType t) {
  switch (t) {
    case DataType::Byte: return "UnsignedByte";
    case DataType::Integer: return "Short";
    case DataType::Long: return "Long";
    case DataType::Single: return "IEEESingle";
    case DataType::Double: return "IEEEDouble";
    case DataType::GUID: return "GUID";
    case DataType::Text: return "Text";
    default: return "";
  }
}

ColumnSpec templateColumn(const std::string& name, DataType t, int size = 0) {
  ColumnSpec c = columnSpec(name, t, size);
  c.compressed = false;
  return c;
}

// The template's columns, in the order of the product's template tables.
std::vector<ColumnSpec> templateColumns(const ColumnSpec& c) {
  if (!c.multiValue)
    return {templateColumn("FileURL", DataType::Memo), templateColumn("FileName", DataType::Text, 255),
            templateColumn("FileType", DataType::Text, 255), templateColumn("FileData", DataType::OLE),
            templateColumn("FileTimeStamp", DataType::DateTime), templateColumn("FileFlags", DataType::Long)};
  return {templateColumn("Value", c.valueType, c.valueType == DataType::Text ? 255 : 0)};
}

std::string templateName(const ColumnSpec& c) {
  return c.multiValue ? std::string("MSysComplexType_") + templateSuffix(c.valueType) : "MSysComplexType_Attachment";
}

int32_t templateTable(Database& db, const ColumnSpec& c) {
  const std::string name = templateName(c);
  if (const CatalogEntry* e = db.find(name)) {
    if (!e->isTable()) corrupt("'" + name + "' is not a table");
    return e->id;
  }
  TableSpec spec;
  spec.name = name;
  spec.columns = templateColumns(c);
  HiddenTableOptions opt;
  opt.objectFlags = kTemplateFlags;
  if (!c.multiValue) opt.extFlags.assign(spec.columns.size(), kExtTemplate);
  return createTableObject(db, spec, opt);
}

int32_t nextComplexId(Database& db) {
  if (!db.find("MSysComplexColumns")) corrupt("the table MSysComplexColumns is missing");
  auto def = db.table("MSysComplexColumns");
  int col = def->findColumn("ComplexID");
  if (col < 0) corrupt("MSysComplexColumns has no ComplexID field");
  int64_t best = def->nextAutoNumber;
  TableScan scan(db, def);
  while (scan.next()) {
    const Value& v = scan.values()[static_cast<size_t>(col)];
    if (!v.isNull()) best = std::max<int64_t>(best, v.asInt());
  }
  if (best >= 0x7FFFFFFF) throw Error(err::kNotSupported, "No more attachment or multi-value fields fit this file.");
  return static_cast<int32_t>(best + 1);
}

}  // namespace

std::string hiddenNameSuffix() {
  static std::random_device rd;
  static std::mt19937_64 gen(rd());
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (int half = 0; half < 2; ++half) {
    uint64_t v = gen();
    for (int i = 0; i < 16; ++i) out.push_back(digits[(v >> (4 * i)) & 0xF]);
  }
  return out;
}

std::string utf8Prefix(const std::string& s, size_t maxBytes) {
  if (s.size() <= maxBytes) return s;
  size_t i = maxBytes;
  while (i > 0 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;  // not inside a character
  return s.substr(0, i);
}

void checkComplexColumn(const Format& fmt, const ColumnSpec& c) {
  if (!fmt.ace)
    throw Error(err::kInvalidFieldType, "Field '" + c.name +
                                            "': attachment and multi-value fields need an Access 2007 or later "
                                            "(.accdb) file.");
  if (c.multiValue && !*templateSuffix(c.valueType))
    throw Error(err::kInvalidFieldType, "Field '" + c.name + "': multi-value fields hold Byte, Integer, Long, "
                                            "Single, Double, GUID or Text values, not " +
                                            dataTypeName(c.valueType) + ".");
  if (c.multiValue && c.valueType == DataType::Text && c.size > 255)
    throw Error(err::kFieldTooSmall, "Text fields hold at most 255 characters.");
  if (c.autoNumber) throw Error(err::kNotSupported, "Field '" + c.name + "': a complex field cannot be an auto-number.");
}

int32_t createComplexParts(Database& db, const std::string& table, int32_t tableId, const ColumnSpec& c) {
  checkComplexColumn(db.format(), c);
  const int32_t typeId = templateTable(db, c);
  const int32_t complexId = nextComplexId(db);

  TableSpec flat;
  flat.name = utf8Prefix("f_" + hiddenNameSuffix() + "_" + c.name, kMaxName);
  HiddenTableOptions opt;
  opt.objectFlags = kFlatFlags;
  const std::string fk = utf8Prefix("_" + c.name, kMaxName);
  flat.columns.push_back(columnSpec(fk, DataType::Long));
  opt.extFlags.push_back(kExtForeignKey);
  std::vector<ColumnSpec> values = templateColumns(c);
  std::sort(values.begin(), values.end(),
            [](const ColumnSpec& a, const ColumnSpec& b) { return lessNoCase(a.name, b.name); });
  for (auto& v : values) {
    if (c.multiValue) {
      v.size = c.size;
      v.compressed = true;
    }
    flat.columns.push_back(v);
    opt.extFlags.push_back(c.multiValue ? 0 : kExtTemplate);
  }
  const std::string entryId = utf8Prefix(table + "_" + c.name, kMaxName);
  flat.columns.push_back(autoNumberSpec(entryId));
  opt.extFlags.push_back(kExtEntryId);
  IndexSpec byRow = indexSpec(fk, {{fk, true}});
  byRow.required = true;
  IndexSpec scalar = indexSpec("IdxFKPrimaryScalar", {{fk, true}, {c.multiValue ? "Value" : "FileName", true}}, false, true);
  scalar.required = true;
  flat.indexes = {byRow, scalar, indexSpec("MSysComplexPKIndex", {{entryId, true}}, true)};
  const int32_t flatId = createTableObject(db, flat, opt);

  TableWriter columns(db, "MSysComplexColumns");
  columns.insert(columns.valuesByName({{"ColumnName", Value::text(c.name)},
                                       {"ComplexTypeObjectID", Value::longInt(typeId)},
                                       {"FlatTableID", Value::longInt(flatId)},
                                       {"ConceptualTableID", Value::longInt(tableId)},
                                       {"ComplexID", Value::longInt(complexId)}}));
  return complexId;
}

}  // namespace jet::detail
