// The menu bar, the font size items, "Help File" and the About box, driven
// through the real actions and widgets.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <memory>

#include "app/about.h"
#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/menus.h"
#include "app/program.h"
#include "app/settings.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

namespace {

struct MenuWindow {
  apptest::ScriptedModal modal;
  std::string ini = apptest::tempIni();
  std::unique_ptr<app::FrmDatavane> w;
  explicit MenuWindow(const std::string& iniText = "") {
    apptest::ensureApp();
    app::setApplicationTitle("Brackwell Glimmer");
    if (!iniText.empty()) testsupport::writeFile(ini, iniText);
    app::initProgram(ini);
    w = std::make_unique<app::FrmDatavane>();
    w->formLoad();
    w->show();
    apptest::pump();
  }
  QAction* item(const QString& name) { return w->menuBar()->findChild<QAction*>(name); }
};

QStringList captions(const QList<QAction*>& acts) {
  QStringList out;
  for (auto* a : acts) out << a->text();
  return out;
}

}  // namespace

TEST(Menus, TreeInOrderWithAccessKeysNoShortcutsAndTableEditHidden) {
  MenuWindow m;
  QList<QAction*> top = m.w->menuBar()->actions();
  ASSERT_EQ(captions(top), (QStringList{"&File", "&Help && Options", "Table Edit"}));
  EXPECT_EQ(captions(top[0]->menu()->actions()),
            (QStringList{"Export to CSV", "Print current Table Structure", "E&xit"}));
  QList<QAction*> help = top[1]->menu()->actions();
  ASSERT_EQ(captions(help), (QStringList{"Grid Font Size", "Help File", "&About"}));
  EXPECT_EQ(captions(help[0]->menu()->actions()), (QStringList{"8", "10", "12"}));
  EXPECT_EQ(captions(top[2]->menu()->actions()), (QStringList{"Update Record", "Add Record", "Delete Record"}));
  EXPECT_FALSE(top[2]->isVisible());
  for (auto* menu : m.w->menuBar()->findChildren<QMenu*>()) {
    if (!menu->objectName().startsWith("mnu")) continue;
    EXPECT_FALSE(menu->accessibleName().isEmpty()) << menu->objectName().toStdString();
    for (auto* a : menu->actions()) EXPECT_TRUE(a->shortcut().isEmpty()) << a->text().toStdString();
  }
  ASSERT_NE(m.item("mnuTableEdits_2"), nullptr);
}

TEST(Menus, FontSizeWritesTheSettingWhateverItsCaseAndSetsTheFiveGrids) {
  MenuWindow m("[program settings]\nFONTSIZE=8\n");
  EXPECT_EQ(m.w->grdData->fontSize(), 8);
  double hidden = m.w->grdFieldsSelectedx->fontSize();
  m.item("mnuFontSize_2")->trigger();
  for (app::Grid* g : {m.w->grdData, m.w->grdFields, m.w->grdFiles, m.w->grdIndexes, m.w->grdQueries})
    EXPECT_EQ(g->fontSize(), 12);
  EXPECT_EQ(m.w->grdFieldsSelectedx->fontSize(), hidden);
  EXPECT_EQ(app::program().intFontSize, 12);
  std::string text = testsupport::readFile(m.ini);
  EXPECT_EQ(app::ProfileFile(m.ini).read("Program Settings", "Fontsize", ""), "12");
  EXPECT_EQ(text.find("=8"), std::string::npos) << text;  // replaced, not added
}

TEST(Menus, HelpFileCandidatesAndAMissingFileNamesThePath) {
  QStringList c = app::helpFileCandidates("/opt/glimmer/bin");
  ASSERT_EQ(c.size(), 2);
  EXPECT_EQ(c[0], "/opt/glimmer/bin/glimmer-help.html");
  EXPECT_EQ(c[1], "/opt/glimmer/share/brackwell-glimmer/glimmer-help.html");
  MenuWindow m;
  // A program folder without the help file (the build's holds one).
  QString exeDir = QString::fromStdString(testsupport::tempDir()) + "/bin";
  app::openHelpFile(*m.w, exeDir);
  ASSERT_EQ(m.modal.messages().size(), 1u);
  EXPECT_TRUE(m.modal.messages()[0].text.contains(exeDir + "/glimmer-help.html"));
  EXPECT_EQ(m.modal.messages()[0].title, "Brackwell Glimmer");
}

TEST(Menus, AboutIsOneModelessBoxWithTitleVersionAndOk) {
  MenuWindow m;
  m.item("mnuAbout")->trigger();
  app::FrmAbout* a = app::aboutBox();
  ASSERT_NE(a, nullptr);
  m.item("mnuAbout")->trigger();
  EXPECT_EQ(app::aboutBox(), a);
  EXPECT_FALSE(a->isModal());
  EXPECT_EQ(a->parentWidget(), nullptr);
  EXPECT_EQ(a->windowTitle(), "About " + app::program().strAppTitle);
  QString version = QString("%1.%2.%3").arg(app::versionMajor()).arg(app::versionMinor()).arg(app::versionRevision());
  EXPECT_EQ(a->lblVersion->text(), "Version " + version);
  EXPECT_TRUE(app::program().strAppTitle.endsWith(version));
  EXPECT_EQ(a->lblTitle[0]->text(), "Brackwell Glimmer");
  EXPECT_TRUE(a->cmdOK->isDefault());
  for (auto* b : a->findChildren<QPushButton*>()) EXPECT_FALSE(b->accessibleName().isEmpty());
  a->cmdOK->click();
  apptest::pump(20);
  EXPECT_EQ(app::aboutBox(), nullptr);
}
