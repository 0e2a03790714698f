// glimmer [FILE]: the desktop program. FILE, when given, is opened at start
// as if it had been chosen in the file dialog.
// glimmer --screenshots DIR [FILE]: renders the windows to PNG files in DIR.
#include <QApplication>
#include <QString>
#include <cstdio>

#include "app/program.h"
#include "app/screenshots.h"

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("brackwell-glimmer"));
  QStringList args = QApplication::arguments();
  args.removeFirst();
  if (!args.isEmpty() && args.first() == QLatin1String("--screenshots")) {
    if (args.size() < 2) {
      std::fprintf(stderr, "usage: glimmer --screenshots DIR [FILE]\n");
      return 2;
    }
    return app::runScreenshots(args.at(1), args.size() > 2 ? args.at(2) : QString());
  }
  app::StartOptions opts;
  if (!args.isEmpty()) opts.openFile = args.first().toStdString();
  app::startProgram(opts);
  return QApplication::exec();
}
