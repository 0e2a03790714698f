// The shown text of attachment and multi-value fields (type 101) in a
// recordset: an attachment field shows its file names joined by "; ", a
// multi-value field its values (as displayText gives them) joined by "; ".
// The stored value is only the complex value's id; the entries come from the
// hidden tables behind the column, read once per base table and kept for
// the recordset's life (one jet::ComplexReader per table, not one per cell).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/dao.h"
#include "jet/value.h"

namespace jet {
class ComplexReader;
}

namespace dao {

class ComplexText {
 public:
  // fields: the recordset's fields (their SourceTable/SourceField name the
  // base column a complex value comes from).
  ComplexText(jet::Database& db, const std::vector<Field>& fields);
  ~ComplexText();
  ComplexText(const ComplexText&) = delete;
  ComplexText& operator=(const ComplexText&) = delete;

  // Whether any field may hold complex values.
  bool any() const { return !columns_.empty(); }

  // v as field col shows it: a complex value becomes the joined text (Null
  // when it has no entries); every other value is given back unchanged.
  // Errors: jet::Error 3049 when the hidden tables are damaged (the failure
  // is kept, so a damaged column costs one attempt, not one per cell).
  jet::Value shown(int col, const jet::Value& v);

  // Forgets what was read (after a change to the database).
  void clear();

 private:
  struct Column {
    std::string table;  // base table of the field
    std::string field;  // its column there
    int baseIndex = -1; // resolved on first use
    bool failed = false;
    int errorNumber = 0;
    std::string errorText;
  };
  jet::ComplexReader& reader(const std::string& table);

  jet::Database& db_;
  std::map<int, Column> columns_;
  std::map<std::string, std::unique_ptr<jet::ComplexReader>> readers_;
};

}  // namespace dao
