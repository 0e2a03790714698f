// The settings file: private-profile reading and writing, the start-up reads
// of "Default File" and the font size, and the program title.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <QLineEdit>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/program.h"
#include "app/settings.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

using app::ProfileFile;

TEST(ProfileFile, MissingFileSectionOrKeyGivesTheDefault) {
  std::string dir = testsupport::tempDir();
  ProfileFile ini(dir + "/MDBGlimmer.ini");
  EXPECT_EQ(ini.read("Program Settings", "Default File", "NOT FOUND"), "NOT FOUND");
  testsupport::writeFile(ini.path(), "[Other]\nDefault File=x\n");
  EXPECT_EQ(ini.read("Program Settings", "Default File", "NOT FOUND"), "NOT FOUND");
  testsupport::writeFile(ini.path(), "[Program Settings]\nFontsize=10\n");
  EXPECT_EQ(ini.read("Program Settings", "Default File", "NOT FOUND"), "NOT FOUND");
}

TEST(ProfileFile, NamesMatchWithoutRegardToCaseAndEntriesKeepFirstWrittenOrder) {
  std::string dir = testsupport::tempDir();
  ProfileFile ini(dir + "/MDBGlimmer.ini");
  ASSERT_TRUE(ini.write("Program Settings", "Fontsize", "10"));
  ASSERT_TRUE(ini.write("Program Settings", "Default File", "/data/a.mdb"));
  EXPECT_EQ(testsupport::readFile(ini.path()),
            "[Program Settings]\nFontsize=10\nDefault File=/data/a.mdb\n");
  // "FontSize" and "Fontsize" are one entry; the section name is matched likewise.
  EXPECT_EQ(ini.read("program settings", "FONTSIZE", "NOT FOUND"), "10");
  ASSERT_TRUE(ini.write("PROGRAM SETTINGS", "FontSize", "12"));
  ASSERT_TRUE(ini.write("Program Settings", "Default File", "/data/b.mdb"));
  EXPECT_EQ(testsupport::readFile(ini.path()),
            "[Program Settings]\nFontsize=12\nDefault File=/data/b.mdb\n");
}

TEST(ProfileFile, KeepsOtherSectionsAndAppendsToTheRightOne) {
  std::string dir = testsupport::tempDir();
  ProfileFile ini(dir + "/MDBGlimmer.ini");
  testsupport::writeFile(ini.path(),
                         "; written by hand\r\n[Program Settings]\r\nFontSize = 8\r\n\r\n[Window]\r\nLeft=3\r\n");
  EXPECT_EQ(ini.read("Program Settings", "fontsize", ""), "8");
  ASSERT_TRUE(ini.write("Program Settings", "Default File", "C:\\x.mdb"));
  ASSERT_TRUE(ini.write("Extra", "K", "V"));
  EXPECT_EQ(testsupport::readFile(ini.path()),
            "; written by hand\n[Program Settings]\nFontSize = 8\nDefault File=C:\\x.mdb\n\n"
            "[Window]\nLeft=3\n[Extra]\nK=V\n");
  EXPECT_EQ(ini.read("Window", "left", ""), "3");
}

TEST(ProfileFile, LongValuesAreReadWhole) {
  std::string dir = testsupport::tempDir();
  ProfileFile ini(dir + "/MDBGlimmer.ini");
  std::string path = "/very/long/" + std::string(300, 'x') + "/file.mdb";
  ASSERT_TRUE(ini.write("Program Settings", "Default File", path));
  EXPECT_EQ(ini.read("Program Settings", "Default File", "NOT FOUND"), path);
}

TEST(FontSizeValue, LeadingNumberRoundedHalfToEven) {
  EXPECT_EQ(app::parseFontSize("12"), 12);
  EXPECT_EQ(app::parseFontSize("12pt"), 12);
  EXPECT_EQ(app::parseFontSize("  8"), 8);
  EXPECT_EQ(app::parseFontSize("10.5"), 10);
  EXPECT_EQ(app::parseFontSize("11.5"), 12);
  EXPECT_EQ(app::parseFontSize("9.6"), 10);
  EXPECT_EQ(app::parseFontSize("large"), 0);
  EXPECT_EQ(app::parseFontSize("0"), 0);
  EXPECT_EQ(app::parseFontSize("0.4"), 0);
  EXPECT_EQ(app::parseFontSize(""), 0);
  EXPECT_EQ(app::parseFontSize("-4"), 0);
  EXPECT_EQ(app::parseFontSize("99999"), 0);
}

TEST(ProgramTitle, BuiltFromTheVersion) {
  EXPECT_EQ(app::appTitleFor(1, 0, 5), "Brackwell Glimmer For Access Ver 1.0.5");
  EXPECT_EQ(app::appTitleFor(2, 10, 0), "Brackwell Glimmer For Access Ver 2.10.0");
  app::initProgram(apptest::tempIni());
  EXPECT_TRUE(app::program().strAppTitle.startsWith("Brackwell Glimmer For Access Ver "));
}

TEST(SettingsPath, BesideTheProgramWhenWritableElseInTheConfigFolder) {
  std::string dir = testsupport::tempDir();
  EXPECT_EQ(app::defaultSettingsPath(dir), dir + "/MDBGlimmer.ini");
  // A folder that cannot be written (here: one that does not exist).
  std::string elsewhere = app::defaultSettingsPath(dir + "/missing/bin");
  EXPECT_EQ(elsewhere.find(dir + "/missing"), std::string::npos);
  EXPECT_NE(elsewhere.find("MDBGlimmer.ini"), std::string::npos);
}

// An installed program (a bin folder with share/brackwell-glimmer beside it)
// keeps its settings in the user's configuration folder even when its own
// folder is writable, as /usr/bin is for root; a build folder does not.
TEST(SettingsPath, InstalledProgramUsesTheConfigFolderEvenWhenItsFolderIsWritable) {
  namespace fs = std::filesystem;
  std::string root = testsupport::tempDir();
  std::string bin = root + "/usr/bin";
  fs::create_directories(bin);
  EXPECT_FALSE(app::isInstalledProgramDir(bin));
  EXPECT_EQ(app::defaultSettingsPath(bin), bin + "/MDBGlimmer.ini");
  fs::create_directories(root + "/usr/share/brackwell-glimmer");
  EXPECT_TRUE(app::isInstalledProgramDir(bin));

  std::string oldXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
  std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", (root + "/home").c_str(), 1);
  std::string viaHome = app::defaultSettingsPath(bin);
  ::setenv("XDG_CONFIG_HOME", (root + "/xdg").c_str(), 1);
  std::string viaXdg = app::defaultSettingsPath(bin);
  if (oldXdg.empty()) ::unsetenv("XDG_CONFIG_HOME"); else ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
  ::setenv("HOME", oldHome.c_str(), 1);

  EXPECT_EQ(viaHome, root + "/home/.config/brackwell-glimmer/MDBGlimmer.ini");
  EXPECT_TRUE(fs::is_directory(root + "/home/.config/brackwell-glimmer"));
  EXPECT_EQ(viaXdg, root + "/xdg/brackwell-glimmer/MDBGlimmer.ini");
  // The file is written there, and nothing lands beside the program.
  EXPECT_TRUE(app::ProfileFile(viaHome).write("Program Settings", "FontSize", "10"));
  EXPECT_EQ(app::ProfileFile(viaHome).read("Program Settings", "FontSize", ""), "10");
  EXPECT_FALSE(fs::exists(bin + "/MDBGlimmer.ini"));
}

// ---------------------------------------------------------------- start-up reads

namespace {
struct Loaded {
  apptest::ScriptedModal modal;
  std::unique_ptr<app::FrmDatavane> w;
  explicit Loaded(const std::string& ini) {
    apptest::ensureApp();
    app::initProgram(ini);
    w = std::make_unique<app::FrmDatavane>();
    w->formLoad();
  }
};
}  // namespace

TEST(StartUpSettings, FirstRunShowsNotFoundAndWritesTheFontSize) {
  std::string ini = apptest::tempIni();
  Loaded l(ini);
  EXPECT_EQ(l.w->txtMDBFile->text(), "NOT FOUND");
  EXPECT_EQ(l.w->grdFiles->rows(), 1);
  EXPECT_TRUE(l.modal.asked.empty());
  EXPECT_EQ(app::program().intFontSize, 10);
  for (app::Grid* g : {l.w->grdData, l.w->grdFields, l.w->grdFiles, l.w->grdIndexes, l.w->grdQueries})
    EXPECT_DOUBLE_EQ(g->fontSize(), 10.0);
  EXPECT_EQ(testsupport::readFile(ini), "[Program Settings]\nFontsize=10\n");
}

TEST(StartUpSettings, FontSizeEntryUnderAnyCaseIsUsedAndNothingIsWritten) {
  for (const char* key : {"FontSize", "fontsize", "FONTSIZE"}) {
    std::string ini = apptest::tempIni();
    std::string text = std::string("[program settings]\n") + key + "=12\n";
    testsupport::writeFile(ini, text);
    Loaded l(ini);
    EXPECT_EQ(app::program().intFontSize, 12) << key;
    EXPECT_DOUBLE_EQ(l.w->grdFields->fontSize(), 12.0);
    EXPECT_EQ(testsupport::readFile(ini), text);
  }
}

TEST(StartUpSettings, UnusableFontSizeIsRewrittenAsTen) {
  for (const char* value : {"big", "0"}) {
    std::string ini = apptest::tempIni();
    testsupport::writeFile(ini, std::string("[Program Settings]\nFontSize=") + value + "\n");
    Loaded l(ini);
    EXPECT_EQ(app::program().intFontSize, 10);
    EXPECT_DOUBLE_EQ(l.w->grdData->fontSize(), 10.0);
    EXPECT_EQ(testsupport::readFile(ini), "[Program Settings]\nFontSize=10\n");
  }
}

TEST(StartUpSettings, EmptyOrNotFoundDefaultFileOpensNothing) {
  for (const char* value : {"", "NOT FOUND"}) {
    std::string ini = apptest::tempIni();
    testsupport::writeFile(ini, std::string("[Program Settings]\nFontsize=8\nDefault File=") + value + "\n");
    Loaded l(ini);
    EXPECT_EQ(l.w->txtMDBFile->text(), QString::fromLatin1(value));
    EXPECT_TRUE(l.modal.asked.empty());
    EXPECT_EQ(l.w->dta1.database(), nullptr);
  }
}
