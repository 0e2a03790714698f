// The main window's menu bar: "&File" (Export to CSV, Print current Table
// Structure, E&xit), "&Help && Options" (Grid Font Size 8 / 10 / 12, Help
// File, &About) and "Table Edit" (Update / Add / Delete Record), created
// hidden so its items cannot be chosen. No item has a shortcut key.
#pragma once

#include <QString>
#include <QStringList>

namespace app {

class FrmDatavane;

// Builds the three menus on the window's menu bar.
void buildMenus(FrmDatavane& w);

// Font size item Index (0 "8", 1 "10", 2 "12"): writes "Fontsize" in
// "Program Settings", sets the size and applies it to the five grids.
void mnuFontSize_Click(FrmDatavane& w, int index);

// "Help File": the help shipped beside the program, opened in the desktop's
// browser; a missing file gives a message naming the places looked in.
void mnuHelpFile_Click(FrmDatavane& w);
// The same for a program in exeDir.
void openHelpFile(FrmDatavane& w, const QString& exeDir);
// Where the help file is looked for, in order: <exe dir>/glimmer-help.html,
// then <exe dir>/../share/brackwell-glimmer/glimmer-help.html.
QStringList helpFileCandidates(const QString& exeDir);

// "Export to CSV": every row of the current object, with the filter and sort
// in force, as the grid shows them, into a file named in the Save dialog.
// Cancelling the dialog writes and shows nothing. The file is written beside
// the target under a temporary name and renamed over it only when complete,
// so a failure or a cancel leaves an existing file untouched and no part file.
void mnuExport_Click(FrmDatavane& w);

// The name the Save dialog gives back, with ".csv" added when it has no suffix.
QString withCsvSuffix(const QString& name);

}  // namespace app
