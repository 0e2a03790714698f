// Text typed into a bound box, converted to a field's type with the engine's
// rules: numbers and dates in the form the box shows them, True/False/Yes/No
// for Boolean, an empty box is Null. Fields that cannot be edited as text
// (OLE objects, binary, GUIDs, attachments) are left to other means.
#pragma once

#include <string>

#include "catalogue/dao.h"

namespace dao {

// Whether a value of this type can be typed into a text box.
bool textEditable(int16_t type);

// The value text stands for in a field of type. Errors: 3421 "Data type
// conversion error." for text that is not a value of the type, 3349
// "Numeric field overflow." for a number outside the type's range.
Value valueFromText(const std::string& text, int16_t type);

}  // namespace dao
