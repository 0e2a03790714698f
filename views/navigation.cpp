#include "views/navigation.h"

#include <QApplication>
#include <QCursor>

#include "app/long_work.h"
#include "app/modal.h"
#include "catalogue/recordset.h"

namespace views {

void Navigation::report(const dao::Error& e) {
  app::modal().message(parent_, errorPlain(e.number(), description(e)), QString(),
                       app::Buttons::Ok, app::Icon::None);
}

bool Navigation::move(int index) {
  if (index < 0 || index > 3) return false;
  try {
    dao::Recordset* rs = dta_.recordset();
    if (!rs) throw dao::Error(dao::err::kNoCurrentRecord, "No current record.");
    switch (index) {
      case 0: rs->MoveFirst(); break;
      case 1: rs->MovePrevious(); break;
      case 2: rs->MoveNext(); break;
      default: {
        // Reading to the end of a long result may take a while.
        app::runLongWork([rs] { rs->countAll(); });
        rs->MoveLast();
      }
    }
    return true;
  } catch (const dao::Error& e) {
    report(e);
    return false;
  }
}

QString Navigation::applyFilter(const QString& objectName,
                                const std::vector<FilterCondition>& conditions, const QString sort[3]) {
  const QString none[3];
  where_ = filterClause(conditions, none);
  const QString statement = plainStatement(objectName) + filterClause(conditions, sort);
  try {
    dta_.RecordSource = statement.toStdString();
    dta_.Refresh(app::runLongWork);
    dao::Recordset* rs = dta_.recordset();
    if (!rs || rs->RecordCount() == 0) {
      app::modal().message(parent_, QStringLiteral("No records meet these resctictions"),
                           QStringLiteral("No Records Returned"), app::Buttons::Ok, app::Icon::None);
      return {};
    }
    rs->MoveFirst();
    return QString::fromStdString(dta_.RecordSource);
  } catch (const dao::Error& e) {
    report(e);
    return {};
  }
}

QString Navigation::sortBy(const QString& objectName, const QString& field, bool descending) {
  const QString statement = plainStatement(objectName) + where_ + QStringLiteral(" ORDER BY ") +
                            bracketName(field) + (descending ? QStringLiteral(" DESC") : QString());
  try {
    dta_.RecordSource = statement.toStdString();
    dta_.Refresh(app::runLongWork);
    return statement;
  } catch (const dao::Error& e) {
    report(e);
    return {};
  }
}

}  // namespace views
