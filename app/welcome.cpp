#include "app/welcome.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include "app/layout.h"
#include "app/program.h"

namespace app {

FrmWelcome::FrmWelcome(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName(QStringLiteral("frmWelcome"));
  setAttribute(Qt::WA_DeleteOnClose);
  const double d = logicalDpiY() > 0 ? logicalDpiY() : 96;
  auto px = [d](int twips) { return twipsToPixels(twips, d); };
  setFixedSize(px(9435), px(4350));

  Picture1 = new QLabel(this);
  Picture1->setPixmap(style()->standardIcon(QStyle::SP_DriveHDIcon).pixmap(px(900), px(900)));
  Picture1->setGeometry(px(240), px(240), px(1100), px(1100));

  Label2[1] = new QLabel(this);
  QFont title = font();
  title.setPointSizeF(18);
  title.setBold(true);
  Label2[1]->setFont(title);
  Label2[1]->setAlignment(Qt::AlignCenter);
  Label2[1]->setWordWrap(true);
  Label2[1]->setGeometry(px(1440), px(240), px(7755), px(1000));

  Label1[0] = new QLabel(QStringLiteral("A Utility for Microsoft Access Files"), this);
  QFont sub = font();
  sub.setPointSizeF(12);
  sub.setBold(true);
  Label1[0]->setFont(sub);
  Label1[0]->setAlignment(Qt::AlignCenter);
  Label1[0]->setGeometry(px(1440), px(1320), px(7755), px(420));

  Label1[1] = new QLabel(QStringLiteral("Open table or query within the Access Datafile"), this);
  Label1[1]->setAlignment(Qt::AlignCenter);
  Label1[1]->setGeometry(px(1440), px(1800), px(7755), px(300));

  Text1 = new QPlainTextEdit(this);
  Text1->setReadOnly(true);
  Text1->setPlainText(QStringLiteral(
      "Brackwell Glimmer looks into Access database files: tables with their record counts, "
      "saved queries, columns and indexes, the rows themselves, one record at a time, "
      "filtered and sorted."));
  Text1->setGeometry(px(240), px(2280), px(8955), px(1320));

  Label2[0] = new QLabel(QStringLiteral("Loading...."), this);
  Label2[0]->setGeometry(px(240), px(3840), px(3000), px(300));

  // Load: the title into the big label, then into the caption.
  Label2[1]->setText(program().strAppTitle);
  setWindowTitle(program().strAppTitle);
  QCoreApplication::processEvents();

  Timer1 = new QTimer(this);
  Timer1->setInterval(2000);
  connect(Timer1, &QTimer::timeout, this, &FrmWelcome::Timer1_Timer);
  Timer1->start();
}

void FrmWelcome::centreOnScreen() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return;
  QRect r = s->geometry();
  float left = (static_cast<float>(r.width()) - static_cast<float>(width())) / 2.0f;
  float top = (static_cast<float>(r.height()) - static_cast<float>(height())) / 2.0f;
  move(r.left() + static_cast<int>(left), r.top() + static_cast<int>(top));
}

void FrmWelcome::Timer1_Timer() {
  Timer1->stop();
  close();
}

}  // namespace app
