// The main window's menu bar and the commands of its File menu that write
// files: "Export to CSV" (mnuExport) and "E&xit".
#pragma once

#include <QString>

namespace app {

class FrmDatavane;

// Builds the "&File" menu (Export to CSV, E&xit) on the window's menu bar.
void buildMenus(FrmDatavane& w);

// "Export to CSV": every row of the current object, with the filter and sort
// in force, as the grid shows them, into a file named in the Save dialog.
// Cancelling the dialog writes and shows nothing. The file is written beside
// the target under a temporary name and renamed over it only when complete,
// so a failure or a cancel leaves an existing file untouched and no part file.
void mnuExport_Click(FrmDatavane& w);

// The name the Save dialog gives back, with ".csv" added when it has no suffix.
QString withCsvSuffix(const QString& name);

}  // namespace app
