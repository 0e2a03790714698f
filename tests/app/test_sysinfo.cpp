// "System Info..." of the About box: the desktop's system information
// program found on PATH and started, else the program's own window with the
// operating system, kernel, Qt, screens, settings file and open database.
#include <gtest/gtest.h>

#include <sys/utsname.h>

#include <QFile>
#include <QPushButton>
#include <QToolButton>
#include <QTreeWidget>
#include <filesystem>
#include <memory>

#include "app/about.h"
#include "app/datavane.h"
#include "app/program.h"
#include "app/sysinfo.h"
#include "jet/sample.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

namespace {

// PATH (and the desktop's name) set for one test and put back afterwards.
struct ScopedPath {
  QByteArray oldPath = qgetenv("PATH");
  QByteArray oldDesktop = qgetenv("XDG_CURRENT_DESKTOP");
  explicit ScopedPath(const std::string& path) {
    qputenv("PATH", QByteArray::fromStdString(path));
    qunsetenv("XDG_CURRENT_DESKTOP");
  }
  ~ScopedPath() {
    qputenv("PATH", oldPath);
    if (oldDesktop.isEmpty()) qunsetenv("XDG_CURRENT_DESKTOP");
    else qputenv("XDG_CURRENT_DESKTOP", oldDesktop);
  }
};

void makeProgram(const std::string& path, const std::string& script) {
  testsupport::writeFile(path, "#!/bin/sh\n" + script + "\n");
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

QString valueOf(const std::vector<app::InfoLine>& lines, const QString& item) {
  for (const auto& l : lines)
    if (l.item == item) return l.value;
  return QStringLiteral("<missing>");
}

struct AboutWindow {
  apptest::ScriptedModal modal;
  std::string dir = testsupport::tempDir();
  std::string db = dir + "/sample.mdb";
  std::unique_ptr<app::FrmDatavane> w;
  AboutWindow() {
    apptest::ensureApp();
    jet::createSampleDatabase(db);
    w = apptest::openWindowOn(db, modal);
  }
  ~AboutWindow() {
    if (app::sysInfoBox()) app::sysInfoBox()->close();
    if (app::aboutBox()) app::aboutBox()->close();
    apptest::pump(20);
  }
};

}  // namespace

TEST(SysInfo, OperatingSystemNameFromOsRelease) {
  EXPECT_EQ(app::osNameFromRelease("# comment\nNAME=\"Debian GNU/Linux\"\nVERSION_ID=\"12\"\n"
                                   "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(app::osNameFromRelease("NAME=Fedora\nVERSION=\"39 (Workstation \\\"Edition\\\")\"\n"),
            "Fedora 39 (Workstation \"Edition\")");
  EXPECT_EQ(app::osNameFromRelease("NAME='Alpine Linux'\nVERSION_ID=3.19\n"), "Alpine Linux 3.19");
  EXPECT_EQ(app::osNameFromRelease("NAME=Plain\n"), "Plain");
  EXPECT_EQ(app::osNameFromRelease(""), "");
  EXPECT_EQ(app::osNameFromRelease("garbage without equals\n=x\n"), "");
}

TEST(SysInfo, KnownProgramsOnThePathTheDesktopsOwnFirst) {
  std::string a = testsupport::tempDir(), b = testsupport::tempDir();
  const QString path = QString::fromStdString(a + ":" + b);
  EXPECT_EQ(app::findSystemInfoProgram(path, "GNOME"), "");
  // Not executable: not a program.
  testsupport::writeFile(a + "/hardinfo", "data");
  EXPECT_EQ(app::findSystemInfoProgram(path, ""), "");
  makeProgram(b + "/gnome-system-monitor", "true");
  EXPECT_EQ(app::findSystemInfoProgram(path, ""), QString::fromStdString(b + "/gnome-system-monitor"));
  makeProgram(b + "/hardinfo", "true");
  EXPECT_EQ(app::findSystemInfoProgram(path, ""), QString::fromStdString(b + "/hardinfo"));
  EXPECT_EQ(app::findSystemInfoProgram(path, "ubuntu:GNOME"),
            QString::fromStdString(b + "/gnome-system-monitor"));
  EXPECT_EQ(app::findSystemInfoProgram("", "GNOME"), "");
}

TEST(SysInfo, WithoutADesktopProgramTheProgramsOwnWindowDescribesTheSystem) {
  AboutWindow x;
  ScopedPath path(testsupport::tempDir());
  app::FrmAbout* about = app::showAbout(*x.w);
  about->cmdSysInfo->click();
  apptest::pump();
  EXPECT_TRUE(x.modal.messages().empty());
  app::FrmSysInfo* s = app::sysInfoBox();
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(s->isVisible());
  EXPECT_FALSE(s->isModal());
  about->cmdSysInfo->click();  // one window
  EXPECT_EQ(app::sysInfoBox(), s);

  auto lines = app::systemInformation(x.w.get());
  ASSERT_EQ(s->lstInfo->topLevelItemCount(), static_cast<int>(lines.size()));
  for (int i = 0; i < s->lstInfo->topLevelItemCount(); ++i) {
    EXPECT_EQ(s->lstInfo->topLevelItem(i)->text(0), lines[i].item);
    EXPECT_FALSE(lines[i].value.isEmpty()) << lines[i].item.toStdString();
  }
  utsname u{};
  ASSERT_EQ(uname(&u), 0);
  EXPECT_TRUE(valueOf(lines, "Kernel").contains(QString::fromLocal8Bit(u.release)));
  EXPECT_TRUE(valueOf(lines, "Qt version").startsWith(QString::fromLatin1(qVersion())));
  EXPECT_TRUE(valueOf(lines, "Screen 1").contains(" pixels, ")) << valueOf(lines, "Screen 1").toStdString();
  EXPECT_TRUE(valueOf(lines, "Screen 1").contains(" dpi"));
  EXPECT_EQ(valueOf(lines, "Settings file"), QString::fromStdString(app::program().strIniFile));
  EXPECT_EQ(valueOf(lines, "Database"), QString::fromStdString(x.db));
  EXPECT_TRUE(valueOf(lines, "Database format").startsWith("Jet 4")) << valueOf(lines, "Database format").toStdString();
  EXPECT_TRUE(valueOf(lines, "Database size")
                  .startsWith(QString::number(std::filesystem::file_size(x.db)) + " bytes"));
  // The operating system from an os-release file given, and with none open.
  std::string rel = x.dir + "/os-release";
  testsupport::writeFile(rel, "PRETTY_NAME=\"Test OS 7\"\n");
  EXPECT_EQ(valueOf(app::systemInformation(nullptr, QString::fromStdString(rel)), "Operating system"), "Test OS 7");
  EXPECT_EQ(valueOf(app::systemInformation(nullptr), "Database"), "none open");
  EXPECT_FALSE(valueOf(app::systemInformation(nullptr, "/no/such"), "Operating system").isEmpty());

  s->cmdOK->click();
  apptest::pump(20);
  EXPECT_EQ(app::sysInfoBox(), nullptr);
}

TEST(SysInfo, ADesktopProgramOnThePathIsStartedInstead) {
  AboutWindow x;
  std::string bin = testsupport::tempDir();
  std::string marker = x.dir + "/started";
  makeProgram(bin + "/hardinfo", "echo started > '" + marker + "'");
  ScopedPath path(bin);
  app::FrmAbout* about = app::showAbout(*x.w);
  about->cmdSysInfo->click();
  for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i) apptest::pump(10);
  EXPECT_TRUE(std::filesystem::exists(marker));
  EXPECT_EQ(app::sysInfoBox(), nullptr);
  EXPECT_TRUE(x.modal.messages().empty());
}

TEST(SysInfo, EveryControlOfTheAboutBoxAndTheSystemWindowHasAnAccessibleName) {
  AboutWindow x;
  ScopedPath path(testsupport::tempDir());
  app::FrmAbout* about = app::showAbout(*x.w);
  about->cmdSysInfo->click();
  apptest::pump();
  ASSERT_NE(app::sysInfoBox(), nullptr);
  for (QWidget* top : {static_cast<QWidget*>(about), static_cast<QWidget*>(app::sysInfoBox())}) {
    // Qt's own frames inside scroll areas (named qt_...) are no controls.
    for (QWidget* c : top->findChildren<QWidget*>()) {
      if (c->objectName().startsWith("qt_")) continue;
      EXPECT_FALSE(c->accessibleName().isEmpty())
          << top->objectName().toStdString() << ": " << c->metaObject()->className() << " "
          << c->objectName().toStdString();
    }
  }
}

TEST(SysInfo, TheRealProgressWindowNamesItsControls) {
  apptest::ensureApp();
  app::QtModal real;
  auto p = real.progress(nullptr, "Exporting to CSV...", "Cancel", 10, 0);
  p->setValue(1);
  QWidget* dlg = nullptr;
  for (QWidget* t : QApplication::topLevelWidgets())
    if (t->inherits("QProgressDialog")) dlg = t;
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(dlg->accessibleName(), "Exporting to CSV...");
  for (QWidget* c : dlg->findChildren<QWidget*>())
    EXPECT_FALSE(c->accessibleName().isEmpty()) << c->metaObject()->className();
  EXPECT_FALSE(p->wasCanceled());
}
