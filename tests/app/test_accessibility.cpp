// Every control of every window and dialog the program shows has an
// accessible name (its own or the one its accessible interface reports):
// message boxes, the password prompt, the file dialogs, the print dialog,
// the progress window, the print preview, the About box, the system
// information window and the menus. The real dialogs are opened and walked
// while they are up.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPrinter>
#include <QProgressDialog>
#include <QTabBar>
#include <QTimer>
#include <functional>

#include "app/about.h"
#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/modal.h"
#include "app/print_preview.h"
#include "app/sysinfo.h"
#include "jet/sample.h"
#include "support/test_support.h"
#include "tests/app/app_support.h"

namespace {

QString nameOf(QWidget* w) {
  if (!w->accessibleName().isEmpty()) return w->accessibleName();
  QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w);
  return i ? i->text(QAccessible::Name) : QString();
}

bool isControl(QWidget* w) {
  return w->focusPolicy() != Qt::NoFocus || qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
         qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractSpinBox*>(w) ||
         qobject_cast<QAbstractItemView*>(w) || qobject_cast<QAbstractSlider*>(w) || qobject_cast<QTabBar*>(w) ||
         qobject_cast<QMenu*>(w) || qobject_cast<QMenuBar*>(w);
}

// The shown controls of root (root included) that have no name, as
// "class objectName" for the failure message.
QStringList unnamed(QWidget* root) {
  QStringList out;
  QList<QWidget*> all = root->findChildren<QWidget*>();
  all.prepend(root);
  for (QWidget* w : all) {
    if (!w->isVisible() || (!isControl(w) && w != root)) continue;
    if (nameOf(w).trimmed().isEmpty())
      out << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') + w->objectName();
  }
  // Menu items are named by their text.
  for (QMenu* m : root->findChildren<QMenu*>()) {
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(m);
    for (int k = 0; i && k < i->childCount(); ++k) {
      QAccessibleInterface* item = i->child(k);
      if (item && item->role() != QAccessible::Separator && item->text(QAccessible::Name).trimmed().isEmpty())
        out << QStringLiteral("menu item %1 of %2").arg(k).arg(m->title());
    }
  }
  return out;
}

// Runs open(), which shows a modal dialog and waits for it; walks the
// dialog once it is up, then closes it. The unnamed controls found.
std::string walkModal(const std::function<void()>& open, QString* title = nullptr) {
  QStringList found;
  bool seen = false;
  QTimer t;
  t.setInterval(30);
  QObject::connect(&t, &QTimer::timeout, [&] {
    QWidget* d = QApplication::activeModalWidget();
    if (!d || seen) return;
    seen = true;
    found = unnamed(d);
    if (title) *title = d->windowTitle();
    if (auto* dlg = qobject_cast<QDialog*>(d))
      dlg->reject();
    else
      d->close();
  });
  t.start();
  open();
  t.stop();
  EXPECT_TRUE(seen) << "no dialog came up";
  return found.join(", ").toStdString();
}

struct Win {
  apptest::ScriptedModal modal;
  std::unique_ptr<app::FrmDatavane> w;
  Win() {
    apptest::ensureApp();
    std::string path = testsupport::tempDir() + "/access_sample.mdb";
    jet::createSampleDatabase(path);
    w = apptest::openWindowOn(path, modal);
    w->resize(1280, 800);
    apptest::pump();
  }
};

}  // namespace

TEST(AccessibleNames, EveryControlOfTheRealDialogsHasAName) {
  Win win;
  app::QtModal real;
  QWidget* parent = win.w.get();
  EXPECT_EQ(walkModal([&] { real.message(parent, "Save Complete", "Complete", app::Buttons::Ok, app::Icon::None); }), "");
  EXPECT_EQ(walkModal([&] {
              real.message(parent, "Delete?", "", app::Buttons::OkCancel, app::Icon::Warning);
            }), "");
  EXPECT_EQ(walkModal([&] { real.input(parent, "Enter the password", "Password Required", "", true); }), "");
  QString title;
  EXPECT_EQ(walkModal([&] {
              real.openFile(parent, "Open a database", {"Microsoft Access (*.mdb)", "All files (*)"},
                            QString::fromStdString(testsupport::tempDir()));
            }, &title), "");
  EXPECT_EQ(title, "Open a database");
  EXPECT_EQ(walkModal([&] {
              real.saveFile(parent, "Save As", {"CSV (*.csv)"}, QString::fromStdString(testsupport::tempDir()));
            }), "");
  QPrinter printer;
  EXPECT_EQ(walkModal([&] { real.printDialog(parent, printer); }), "");

  // The progress window (shown at once here).
  auto progress = real.progress(parent, "Exporting...", "Cancel", 10, 0);
  progress->setValue(1);
  apptest::pump(20);
  QProgressDialog* shown = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets())
    if (auto* p = qobject_cast<QProgressDialog*>(top); p && p->isVisible()) shown = p;
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(unnamed(shown).join(", ").toStdString(), "");
  progress.reset();
}

TEST(AccessibleNames, EveryControlOfThePreviewTheAboutBoxSystemInformationAndMenusHasAName) {
  Win win;
  app::FrmDatavane& w = *win.w;
  EXPECT_EQ(unnamed(&w).join(", ").toStdString(), "");
  // Every menu, opened.
  for (QAction* top : w.menuBar()->actions()) {
    if (!top->menu() || !top->isVisible()) continue;
    top->menu()->popup(QPoint(10, 10));
    apptest::pump();
    EXPECT_EQ(unnamed(top->menu()).join(", ").toStdString(), "") << top->text().toStdString();
    top->menu()->close();
  }
  app::FrmAbout* about = app::showAbout(w);
  apptest::pump();
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(unnamed(about).join(", ").toStdString(), "");
  app::FrmSysInfo* info = app::showSysInfo(&w);
  apptest::pump();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(unnamed(info).join(", ").toStdString(), "");
  info->close();
  about->close();

  apptest::click(w.grdFiles, 1);
  apptest::pump();
  app::setPrinterCheck([] { return true; });
  app::subPrintStructure(w);
  apptest::pump();
  app::FrmPrint* preview = app::printWindow();
  ASSERT_NE(preview, nullptr);
  EXPECT_EQ(unnamed(preview).join(", ").toStdString(), "");
  preview->close();
  app::setPrinterCheck(nullptr);
}
