// A cell in the text the window's grid shows for it (the engine's own
// conversion to text, jet::appendText, as dao::displayText gives it),
// appended in CSV form without building a string per cell: the window's
// "Export to CSV" writes every cell through here. Numbers take 15
// significant digits (Single 7), an exponent beyond them ("1E+300",
// "1E-300"); dates "m/d/yyyy h:mm:ss AM", date only "m/d/yyyy", time only
// "h:mm:ss AM"; Currency and Decimal plain decimals without trailing zeros;
// Boolean "True" / "False".
#pragma once

#include <string>

#include "jet/value.h"

namespace output {

// Appends v's shown text to buf as one CSV field (quoted where needed) and
// returns true; false, with nothing appended, for the types whose shown text
// is made elsewhere (binary, OLE objects, attachments and lists).
bool appendShownCsvValue(std::string& buf, const jet::Value& v);

}  // namespace output
