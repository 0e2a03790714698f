// The About box frmAbout: modeless, without an owner, one instance. Caption
// "About " + the program title, the application title, "Version M.m.r", the
// description and the backup warning; "OK" is both the default and the
// cancel button; "&System Info..." starts the desktop's system information
// program or reports that none is available.
#pragma once

#include <QDialog>

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
  void cmdSysInfo_Click();
};

// Shows the About box (loading it on first use) and brings it forward.
FrmAbout* showAbout(FrmDatavane& main);
// The open About box, nullptr when none.
FrmAbout* aboutBox();

}  // namespace app
