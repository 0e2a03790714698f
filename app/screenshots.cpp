#include "app/screenshots.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QPixmap>
#include <QTabBar>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "app/modal.h"
#include "app/program.h"
#include "app/welcome.h"

namespace app {
namespace {

// Answers every box without showing it and reports it on stderr.
class SilentModal : public Modal {
 public:
  Answer message(QWidget*, const QString& text, const QString& title, Buttons, Icon) override {
    std::fprintf(stderr, "message [%s]: %s\n", qPrintable(title), qPrintable(text));
    return Answer::Ok;
  }
  QString input(QWidget*, const QString& prompt, const QString&, const QString&, bool) override {
    std::fprintf(stderr, "prompt: %s\n", qPrintable(prompt));
    return {};
  }
  QString openFile(QWidget*, const QString&, const QStringList&, const QString&) override { return {}; }
  QString saveFile(QWidget*, const QString&, const QStringList&, const QString&) override { return {}; }
};

void settle() {
  for (int i = 0; i < 5; ++i) {
    QApplication::processEvents();
    QThread::msleep(10);
  }
}

bool save(QWidget* w, const QString& path) {
  settle();
  bool ok = w->grab().save(path);
  std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
  return ok;
}

}  // namespace

int runScreenshots(const QString& dir, const QString& file) {
  QDir().mkpath(dir);
  QTemporaryDir settingsDir;
  const QString ini = QDir(settingsDir.path()).filePath(QStringLiteral("MDBGlimmer.ini"));
  // GLIMMER_FONT_SIZE=8, 10 or 12 renders the grids at that size.
  const QByteArray points = qgetenv("GLIMMER_FONT_SIZE");
  if (!points.isEmpty()) {
    QFile f(ini);
    if (f.open(QIODevice::WriteOnly)) f.write("[Program Settings]\nFontsize=" + points + "\n");
  }
  initProgram(ini.toStdString());
  SilentModal silent;
  installModal(&silent);
  int failures = 0;
  const QSize sizes[2] = {{1280, 800}, {1920, 1080}};
  for (const QSize& size : sizes) {
    const QString tag = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
    auto main = std::make_unique<FrmDatavane>();
    main->formLoad(file);
    main->resize(size);
    main->show();
    settle();
    // Choose the first user table.
    for (int r = 1; r < main->grdFiles->rows(); ++r) {
      if (!main->grdFiles->textMatrix(r, 0).startsWith(QLatin1String("MSys"))) {
        main->grdFiles->clickCell(r, 0);
        break;
      }
    }
    const char* names[4] = {"files", "grid", "record", "filter"};
    for (int t = 0; t < 4; ++t) {
      main->tab1->setCurrentIndex(t);
      if (!save(main.get(), QDir(dir).filePath(QStringLiteral("main-%1-%2.png").arg(names[t], tag))))
        ++failures;
    }
    if (size == sizes[0]) {
      std::unique_ptr<QInputDialog> prompt(createInputDialog(
          main.get(),
          QStringLiteral("This file (") + main->txtMDBFile->text() +
              QStringLiteral(") requires a password.  Please enter it now:"),
          QStringLiteral("Password Required"), QString(), true));
      prompt->setTextValue(QStringLiteral("secret"));
      prompt->show();
      if (!save(prompt.get(), QDir(dir).filePath(QStringLiteral("password-prompt.png")))) ++failures;
      auto* splash = new FrmWelcome();
      splash->Timer1->stop();
      splash->show();
      if (!save(splash, QDir(dir).filePath(QStringLiteral("splash.png")))) ++failures;
      delete splash;
    }
  }
  installModal(nullptr);
  return failures == 0 ? 0 : 1;
}

}  // namespace app
