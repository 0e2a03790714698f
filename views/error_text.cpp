#include "views/error_text.h"

namespace views {

namespace {
QString number(int n, bool blankBefore) {
  return (blankBefore && n >= 0 ? QStringLiteral(" ") : QString()) + QString::number(n);
}
}  // namespace

QString errorPlain(int n, const QString& d) { return QStringLiteral("Error ") + number(n, false) + QLatin1Char(' ') + d; }

QString errorSpaced(int n, const QString& d) { return QStringLiteral("Error ") + number(n, true) + QLatin1Char(' ') + d; }

QString errorSpacedDash(int n, const QString& d) {
  return QStringLiteral("Error ") + number(n, true) + QStringLiteral(" - ") + d;
}

QString errorDash(int n, const QString& d) { return QStringLiteral("Error ") + number(n, false) + QStringLiteral(" - ") + d; }

}  // namespace views
