// The query engine's evaluator of calculated columns (see
// jet/calculated.h): the column's expression evaluated with the row's
// values standing for the column names ([LastName] & ", " & [FirstName],
// Len([LastFirst]), [Salary]/12, ...). A name that is not a column of the
// table, or a function the engine does not know, is an error (3061, 3085):
// the table writer then refuses the change.
#pragma once

#include <memory>

#include "jet/calculated.h"
#include "jet/database.h"

namespace sql {

std::shared_ptr<jet::ExpressionEvaluator> makeExpressionEvaluator();

// Sets the evaluator on db unless it has one.
void provideExpressionEvaluator(jet::Database& db);

}  // namespace sql
