// glimmer [FILE]: the desktop program. FILE, when given, is opened at start
// as if it had been chosen in the file dialog.
// glimmer --screenshots DIR [FILE]: renders the windows to PNG files in DIR.
// glimmer --version, glimmer --help: print and exit, without a display.
#include <QApplication>
#include <QString>
#include <cstdio>
#include <cstring>

#include "app/program.h"
#include "app/screenshots.h"

namespace {

void printHelp() {
  std::printf(
      "usage: glimmer [FILE]\n"
      "       glimmer --screenshots DIR [FILE]\n"
      "       glimmer --version | --help\n"
      "\n"
      "Brackwell Glimmer For Access: look into, filter, edit and export Microsoft\n"
      "Access database files (.mdb, .accdb).\n"
      "\n"
      "  FILE                 open this database at start (with no FILE the program\n"
      "                       offers the file it had open last)\n"
      "  --screenshots DIR    render the windows to PNG files in DIR and exit\n"
      "  --version            print the program version and exit\n"
      "  -h, --help           print this help and exit\n"
      "\n"
      "Settings are kept in MDBGlimmer.ini: beside the program in a build folder,\n"
      "in ~/.config/brackwell-glimmer/ for an installed program.\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("glimmer (Brackwell Glimmer For Access) %d.%d.%d\n", app::versionMajor(),
                app::versionMinor(), app::versionRevision());
    return 0;
  }
  if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    printHelp();
    return 0;
  }
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
