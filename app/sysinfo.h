// "System Info..." of the About box. The desktop's own system information
// program is started when one is installed; otherwise the program shows its
// own window frmSysInfo: the operating system's name and version, the
// kernel, the Qt version, every screen with its size and resolution, the
// settings file, and the open database's path, format and size.
#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <vector>

class QPushButton;
class QTreeWidget;

namespace app {

class FrmDatavane;

struct InfoLine {
  QString item;
  QString value;
};

// The lines frmSysInfo shows, in order; main may be nullptr (no database).
// osRelease names the file that describes the operating system.
std::vector<InfoLine> systemInformation(const FrmDatavane* main,
                                        const QString& osRelease = QStringLiteral("/etc/os-release"));

// The operating system's name and version from the text of an os-release
// file: PRETTY_NAME, else NAME and VERSION (or VERSION_ID); empty when none.
QString osNameFromRelease(const QString& text);

// The desktop's system information program: the first known one found in
// the folders of searchPath (a PATH-style list), those of the running
// desktop (an XDG_CURRENT_DESKTOP-style list) looked for first. Empty when
// none is installed.
QString findSystemInfoProgram(const QString& searchPath, const QString& desktop);

class FrmSysInfo : public QDialog {
  Q_OBJECT

 public:
  explicit FrmSysInfo(FrmDatavane* main);
  QTreeWidget* lstInfo = nullptr;
  QPushButton* cmdOK = nullptr;
  // Reads the information again.
  void refresh();
  // The window whose database is described (nullptr: none).
  void setMainWindow(FrmDatavane* main);

 private:
  QPointer<FrmDatavane> main_;
};

// Shows the program's own window (one instance, modeless) and brings it forward.
FrmSysInfo* showSysInfo(FrmDatavane* main);
// The open window, nullptr when none.
FrmSysInfo* sysInfoBox();

}  // namespace app
