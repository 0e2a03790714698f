// The splash window frmWelcome: the program title, what the program is for,
// and "Loading....". It unloads itself at the first tick of its 2000 ms timer.
#pragma once

#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QTimer;

namespace app {

class FrmWelcome : public QWidget {
  Q_OBJECT

 public:
  explicit FrmWelcome(QWidget* parent = nullptr);

  QLabel* Picture1 = nullptr;
  QPlainTextEdit* Text1 = nullptr;
  QLabel* Label2[2] = {};  // 0 "Loading....", 1 the title
  QLabel* Label1[2] = {};
  QTimer* Timer1 = nullptr;

  // Centres the window on the screen (twips, single precision).
  void centreOnScreen();
  void Timer1_Timer();
};

}  // namespace app
