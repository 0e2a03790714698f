// The statement the filter page applies: the plain statement of the current
// table or query followed by a WHERE clause from the rows that carry a value
// and an ORDER BY from the three sort lists. Plain strings in and out, so the
// text can be checked without any window.
//
// Typed input never changes the statement's meaning: every value is written
// as one quoted literal with its quotes doubled, every field name in
// brackets (names with blanks or reserved words work).
#pragma once

#include <QString>
#include <vector>

namespace views {

struct FilterCondition {
  QString field;  // the field's name
  QString op;     // "=", "<", ">", "<>", ">=", "<=" (taken as the list shows it)
  QString value;  // as typed; a row with an empty value takes no part
};

// "[name]". Object and field names never hold a closing bracket (the
// engine refuses such names), so the brackets always enclose the whole name.
QString bracketName(const QString& name);
// "'text'" with every quote inside doubled.
QString quoteValue(const QString& text);

// " WHERE [a] = 'x' and [b] > '3'" followed by " ORDER BY [s0], [s1], [s2]"
// (the second and third keys only when not empty, and only when the first
// was chosen); "" when nothing applies.
QString filterClause(const std::vector<FilterCondition>& conditions, const QString sort[3]);

// "Select * from [name]".
QString plainStatement(const QString& objectName);

}  // namespace views
