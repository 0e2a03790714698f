// The forms of the messages the data pages show for an engine failure:
// "Error", the number, a separator and the description. Which handler uses
// which form is fixed by the handler.
#pragma once

#include <QString>

#include "catalogue/types.h"

namespace views {

// "Error " + number + " " + description (no blank before the number).
QString errorPlain(int number, const QString& description);
// "Error " + number with a leading blank when non-negative + " " + description.
QString errorSpaced(int number, const QString& description);
// As errorSpaced, with " - " before the description.
QString errorSpacedDash(int number, const QString& description);
// "Error " + number + " - " + description.
QString errorDash(int number, const QString& description);

// The engine failure's description as the window shows it.
inline QString description(const dao::Error& e) { return QString::fromStdString(e.what()); }

}  // namespace views
