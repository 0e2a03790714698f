// Program-wide state and the start-up sequence: the program title, the
// settings file, the grid font size, the splash window and the main window.
#pragma once

#include <QString>
#include <memory>
#include <string>

namespace app {

class FrmDatavane;
class FrmWelcome;

struct ProgramState {
  QString strAppTitle;     // "Brackwell Glimmer For Access Ver M.m.r"
  std::string strIniFile;  // full path of MDBGlimmer.ini
  int intFontSize = 0;     // grid font size in points; 0 = not set
};

ProgramState& program();

// The program's version as the title shows it.
int versionMajor();
int versionMinor();
int versionRevision();

// Builds strAppTitle and strIniFile (iniPath empty: beside the executable or
// in the user's configuration folder).
void initProgram(const std::string& iniPath = {});

// Settings procedures (module level).
void subReadSettings(FrmDatavane& main);
void subSaveDefaultFile(FrmDatavane& main);
void subApplyFontSize(FrmDatavane& main);

struct StartOptions {
  std::string iniPath;    // settings file; empty for the usual place
  std::string openFile;   // "glimmer FILE": opened as if chosen in the file dialog
  bool showSplash = true;
};

// The start-up sequence: splash window, main window (loaded and shown).
// Returns the main window; the caller runs the event loop.
FrmDatavane* startProgram(const StartOptions& opts);

}  // namespace app
