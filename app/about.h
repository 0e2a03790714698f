// The About box frmAbout: modeless, without an owner, one instance. Caption
// "About " + the program title, the application title, "Version M.m.r", the
// description and the backup warning; "OK" is both the default and the
// cancel button; "&System Info..." starts the desktop's system information
// program or reports that none is available.
#pragma once

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;

namespace app {

class FrmDatavane;

class FrmAbout : public QDialog {
  Q_OBJECT

 public:
  FrmAbout();
  QLabel* lblTitle[5] = {};
  QLabel* lblVersion = nullptr;
  QLabel* lblDescription = nullptr;
  QLabel* lblDisclaimer = nullptr;
  QPushButton* cmdOK = nullptr;
  QPushButton* cmdSysInfo = nullptr;

  void formLoad();
  // The desktop's system information program when one is installed (found
  // on PATH), else the program's own window; "System Information Is
  // Unavailable At This Time" only when neither can be shown.
  void cmdSysInfo_Click();
  // The main window whose database the system information describes.
  QPointer<FrmDatavane> mainWindow;
};

// Shows the About box (loading it on first use) and brings it forward.
FrmAbout* showAbout(FrmDatavane& main);
// The open About box, nullptr when none.
FrmAbout* aboutBox();

}  // namespace app
