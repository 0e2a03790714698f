#include "catalogue/complex_text.h"

#include <cctype>

#include "jet/complex.h"
#include "jet/database.h"
#include "jet/error.h"

namespace dao {

namespace {
std::string folded(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

ComplexText::ComplexText(jet::Database& db, const std::vector<Field>& fields) : db_(db) {
  for (size_t i = 0; i < fields.size(); ++i) {
    const Field& f = fields[i];
    if (f.Type != static_cast<int16_t>(jet::DataType::Complex) || f.SourceTable.empty() ||
        f.SourceField.empty())
      continue;
    columns_[static_cast<int>(i)] = Column{f.SourceTable, f.SourceField};
  }
}

ComplexText::~ComplexText() = default;

void ComplexText::clear() {
  readers_.clear();
  for (auto& [col, c] : columns_) {
    c.baseIndex = -1;
    c.failed = false;
  }
}

jet::ComplexReader& ComplexText::reader(const std::string& table) {
  auto& r = readers_[folded(table)];
  if (!r) r = std::make_unique<jet::ComplexReader>(db_, db_.table(table));
  return *r;
}

jet::Value ComplexText::shown(int col, const jet::Value& v) {
  if (v.type() != jet::DataType::Complex) return v;
  auto it = columns_.find(col);
  // A complex id that did not come straight from a column: shown as stored.
  if (it == columns_.end()) return v;
  Column& c = it->second;
  if (c.failed) throw jet::Error(c.errorNumber, c.errorText);
  try {
    jet::ComplexReader& r = reader(c.table);
    if (c.baseIndex < 0) {
      c.baseIndex = db_.table(c.table)->findColumn(c.field);
      if (c.baseIndex < 0)
        throw jet::Error(jet::err::kItemNotFound, "Item not found in this collection.");
    }
    std::string out;
    for (const jet::Value& x : r.values(static_cast<size_t>(c.baseIndex), v)) {
      if (!out.empty()) out += "; ";
      out += displayText(x);
    }
    if (out.empty()) return jet::Value::null();
    return jet::Value::text(std::move(out), jet::DataType::Memo);
  } catch (const jet::Error& e) {
    c.failed = true;
    c.errorNumber = e.number();
    c.errorText = e.what();
    throw;
  }
}

}  // namespace dao
