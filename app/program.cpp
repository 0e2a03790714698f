#include "app/program.h"

#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QTabBar>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/settings.h"
#include "app/welcome.h"

#ifndef GLIMMER_VERSION_MAJOR
#define GLIMMER_VERSION_MAJOR 0
#define GLIMMER_VERSION_MINOR 0
#define GLIMMER_VERSION_PATCH 0
#endif

namespace app {

ProgramState& program() {
  static ProgramState s;
  return s;
}

int versionMajor() { return GLIMMER_VERSION_MAJOR; }
int versionMinor() { return GLIMMER_VERSION_MINOR; }
int versionRevision() { return GLIMMER_VERSION_PATCH; }

namespace {
std::string& iniOverride() {
  static std::string s;
  return s;
}

std::string settingsPath() {
  if (!iniOverride().empty()) return iniOverride();
  return defaultSettingsPath(QCoreApplication::applicationDirPath().toStdString());
}
}  // namespace

void initProgram(const std::string& iniPath) {
  ProgramState& p = program();
  p.strAppTitle = QString::fromStdString(appTitleFor(versionMajor(), versionMinor(), versionRevision()));
  iniOverride() = iniPath;
  p.strIniFile = settingsPath();
  p.intFontSize = 0;
}

void subReadSettings(FrmDatavane& main) {
  ProgramState& p = program();
  p.strIniFile = settingsPath();
  ProfileFile ini(p.strIniFile);
  std::string file = ini.read(kSettingsSection, "Default File", kIniDefault);
  main.txtMDBFile->setText(QString::fromStdString(file));
  std::string size = ini.read(kSettingsSection, "FontSize", kIniDefault);
  if (size.rfind(kIniDefault, 0) != 0) p.intFontSize = parseFontSize(size);
  subApplyFontSize(main);
}

void subSaveDefaultFile(FrmDatavane& main) {
  ProfileFile(program().strIniFile)
      .write(kSettingsSection, "Default File", main.txtMDBFile->text().toStdString());
}

void subApplyFontSize(FrmDatavane& main) {
  ProgramState& p = program();
  if (p.intFontSize == 0) {
    ProfileFile(p.strIniFile).write(kSettingsSection, "Fontsize", "10");
    p.intFontSize = 10;
  }
  for (Grid* g : {main.grdData, main.grdFields, main.grdFiles, main.grdIndexes, main.grdQueries})
    g->setFontSize(static_cast<float>(p.intFontSize));
}

FrmDatavane* startProgram(const StartOptions& opts) {
  initProgram(opts.iniPath);
  if (opts.showSplash) {
    auto* splash = new FrmWelcome();
    splash->centreOnScreen();
    splash->show();
    splash->repaint();
  }
  auto* main = new FrmDatavane();
  main->setAttribute(Qt::WA_DeleteOnClose);
  main->formLoad(QString::fromStdString(opts.openFile));
  main->show();
  main->tab1->setVisible(true);
  return main;
}

}  // namespace app
