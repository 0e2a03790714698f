#include "app/about.h"

#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QLabel>
#include <QVBoxLayout>

#include "app/datavane.h"
#include "app/modal.h"
#include "app/program.h"
#include "app/sysinfo.h"

namespace app {
namespace {
QPointer<FrmAbout> instance;
}

FrmAbout::FrmAbout() : QDialog(nullptr) {
  setObjectName(QStringLiteral("frmAbout"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  auto* lay = new QVBoxLayout(this);
  for (int i = 0; i < 5; ++i) {
    lblTitle[i] = new QLabel(this);
    lblTitle[i]->setObjectName(QStringLiteral("lblTitle_%1").arg(i));
    lay->addWidget(lblTitle[i]);
  }
  QFont big = lblTitle[0]->font();
  big.setPointSize(14);
  big.setBold(true);
  lblTitle[0]->setFont(big);
  lblTitle[1]->setText(QStringLiteral("Brackwell Software"));
  lblTitle[1]->setAccessibleName(lblTitle[1]->text());
  for (int i = 2; i < 5; ++i) {
    lblTitle[i]->setAccessibleName(QStringLiteral("Publisher line %1").arg(i));
    lblTitle[i]->hide();
  }
  lblVersion = new QLabel(this);
  lblVersion->setObjectName(QStringLiteral("lblVersion"));
  lay->addWidget(lblVersion);
  lblDescription = new QLabel(
      QStringLiteral("A utility to Search, Edit, Export, Import, Print table schemas for your Access Databases"),
      this);
  lblDescription->setObjectName(QStringLiteral("lblDescription"));
  lblDescription->setWordWrap(true);
  lblDescription->setAccessibleName(lblDescription->text());
  lay->addWidget(lblDescription);
  lblDisclaimer = new QLabel(QStringLiteral("Warning: You should always have current backups of your data"), this);
  lblDisclaimer->setObjectName(QStringLiteral("lblDisclaimer"));
  lblDisclaimer->setAccessibleName(lblDisclaimer->text());
  lay->addWidget(lblDisclaimer);
  auto* buttons = new QHBoxLayout();
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setAccessibleName(QStringLiteral("OK"));
  cmdOK->setDefault(true);
  cmdOK->setAutoDefault(true);
  cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
  cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
  cmdSysInfo->setAccessibleName(QStringLiteral("System Info..."));
  cmdSysInfo->setAutoDefault(false);
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdSysInfo);
  lay->addLayout(buttons);
  // Enter and Escape both end the box through OK.
  connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);
  connect(this, &QDialog::rejected, this, &QDialog::close);
  connect(cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::cmdSysInfo_Click);
  formLoad();
}

void FrmAbout::formLoad() {
  setWindowTitle(QStringLiteral("About ") + program().strAppTitle);
  lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(versionMajor()).arg(versionMinor()).arg(versionRevision()));
  lblTitle[0]->setText(applicationTitle());
  lblTitle[0]->setAccessibleName(lblTitle[0]->text());
  lblVersion->setAccessibleName(lblVersion->text());
}

void FrmAbout::cmdSysInfo_Click() {
  const QString tool = findSystemInfoProgram(qEnvironmentVariable("PATH"),
                                             qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
  if (!tool.isEmpty() && QProcess::startDetached(tool, {})) return;
  try {
    if (showSysInfo(mainWindow)) return;
  } catch (const std::exception&) {
    // Reported below.
  }
  modal().message(this, QStringLiteral("System Information Is Unavailable At This Time"), QString(), Buttons::Ok);
}

FrmAbout* showAbout(FrmDatavane& main) {
  if (!instance) instance = new FrmAbout();
  instance->mainWindow = &main;
  instance->show();
  instance->raise();
  instance->activateWindow();
  return instance;
}

FrmAbout* aboutBox() { return instance; }

}  // namespace app
