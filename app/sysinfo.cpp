#include "app/sysinfo.h"

#include <sys/utsname.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSysInfo>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/datavane.h"
#include "app/program.h"

namespace app {
namespace {

QPointer<FrmSysInfo> instance;

// One os-release value: quotes removed, backslash escapes resolved.
QString releaseValue(QString v) {
  v = v.trimmed();
  if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
      v.back() == v.front())
    v = v.mid(1, v.size() - 2);
  QString out;
  for (qsizetype i = 0; i < v.size(); ++i) {
    if (v[i] == QLatin1Char('\\') && i + 1 < v.size()) ++i;
    out += v[i];
  }
  return out;
}

QString bytesText(qint64 n) {
  QLocale c = QLocale::c();
  QString s = c.toString(n) + QStringLiteral(" bytes");
  if (n >= 1024) s += QStringLiteral(" (") + c.formattedDataSize(n, 1, QLocale::DataSizeTraditionalFormat) + QLatin1Char(')');
  return s;
}

QString formatText(dao::Database& db, const QString& path) {
  QString s = QString::fromStdString(db.formatDescription());
  const QString suffix = QFileInfo(path).suffix();
  if (!suffix.isEmpty()) s += QStringLiteral(", .") + suffix.toLower() + QStringLiteral(" file");
  return s;
}

}  // namespace

QString osNameFromRelease(const QString& text) {
  QString pretty, name, version, versionId;
  for (const QString& raw : text.split(QLatin1Char('\n'))) {
    const QString l = raw.trimmed();
    if (l.isEmpty() || l.startsWith(QLatin1Char('#'))) continue;
    const qsizetype eq = l.indexOf(QLatin1Char('='));
    if (eq <= 0) continue;
    const QString key = l.left(eq);
    const QString value = releaseValue(l.mid(eq + 1));
    if (key == QLatin1String("PRETTY_NAME")) pretty = value;
    else if (key == QLatin1String("NAME")) name = value;
    else if (key == QLatin1String("VERSION")) version = value;
    else if (key == QLatin1String("VERSION_ID")) versionId = value;
  }
  if (!pretty.isEmpty()) return pretty;
  if (version.isEmpty()) version = versionId;
  if (name.isEmpty()) return QString();
  return version.isEmpty() ? name : name + QLatin1Char(' ') + version;
}

QString findSystemInfoProgram(const QString& searchPath, const QString& desktop) {
  // Dedicated system information programs first; the desktop's own ones
  // move to the front when that desktop is running.
  struct Known {
    const char* program;
    const char* desktop;
  };
  static const Known known[] = {{"hardinfo2", ""},      {"hardinfo", ""},
                                {"kinfocenter", "KDE"}, {"gnome-system-monitor", "GNOME"},
                                {"mate-system-monitor", "MATE"}, {"xfce4-taskmanager", "XFCE"},
                                {"lshw-gtk", ""}};
  QStringList order, rest;
  const QStringList desktops = desktop.toUpper().split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const Known& k : known) {
    const QString p = QString::fromLatin1(k.program);
    if (*k.desktop && desktops.contains(QString::fromLatin1(k.desktop))) order << p;
    else rest << p;
  }
  order += rest;
  const QStringList dirs = searchPath.split(QLatin1Char(':'), Qt::SkipEmptyParts);
  for (const QString& p : order) {
    for (const QString& d : dirs) {
      QFileInfo f(QDir(d).filePath(p));
      if (f.isFile() && f.isExecutable()) return f.absoluteFilePath();
    }
  }
  return QString();
}

std::vector<InfoLine> systemInformation(const FrmDatavane* main, const QString& osRelease) {
  std::vector<InfoLine> out;
  QString os;
  QFile rel(osRelease);
  if (rel.open(QIODevice::ReadOnly)) os = osNameFromRelease(QString::fromUtf8(rel.readAll()));
  if (os.isEmpty()) os = QSysInfo::prettyProductName();
  out.push_back({QStringLiteral("Operating system"), os});
  utsname u{};
  if (uname(&u) == 0) {
    out.push_back({QStringLiteral("Kernel"), QString::fromLocal8Bit(u.sysname) + QLatin1Char(' ') +
                                                 QString::fromLocal8Bit(u.release) + QLatin1Char(' ') +
                                                 QString::fromLocal8Bit(u.version)});
    out.push_back({QStringLiteral("Machine"), QString::fromLocal8Bit(u.machine)});
  } else {
    out.push_back({QStringLiteral("Kernel"), QSysInfo::kernelType() + QLatin1Char(' ') + QSysInfo::kernelVersion()});
  }
  out.push_back({QStringLiteral("Qt version"),
                 QString::fromLatin1(qVersion()) + QStringLiteral(" (built with ") +
                     QStringLiteral(QT_VERSION_STR) + QLatin1Char(')')});
  out.push_back({QStringLiteral("Program"), program().strAppTitle});
  const QList<QScreen*> screens = QGuiApplication::screens();
  for (qsizetype i = 0; i < screens.size(); ++i) {
    const QScreen* s = screens[i];
    const QSize px = s->size() * s->devicePixelRatio();
    QString v = QStringLiteral("%1 x %2 pixels, %3 dpi")
                    .arg(px.width())
                    .arg(px.height())
                    .arg(qRound(s->logicalDotsPerInch()));
    const QSizeF mm = s->physicalSize();
    if (mm.width() > 0 && mm.height() > 0)
      v += QStringLiteral(", %1 x %2 mm").arg(qRound(mm.width())).arg(qRound(mm.height()));
    if (s->devicePixelRatio() != 1.0) v += QStringLiteral(", scale %1").arg(s->devicePixelRatio());
    if (!s->name().isEmpty()) v += QStringLiteral(" (") + s->name() + QLatin1Char(')');
    out.push_back({QStringLiteral("Screen %1").arg(i + 1), v});
  }
  if (screens.isEmpty()) out.push_back({QStringLiteral("Screen"), QStringLiteral("none")});
  out.push_back({QStringLiteral("Settings file"), QString::fromStdString(program().strIniFile)});
  dao::Database* db = main ? main->dta1.database() : nullptr;
  if (db && db->isOpen()) {
    const QString path = QString::fromStdString(db->Name());
    out.push_back({QStringLiteral("Database"), path});
    out.push_back({QStringLiteral("Database format"), formatText(*db, path)});
    QFileInfo f(path);
    out.push_back({QStringLiteral("Database size"), f.exists() ? bytesText(f.size()) : QStringLiteral("unknown")});
  } else {
    out.push_back({QStringLiteral("Database"), QStringLiteral("none open")});
  }
  return out;
}

FrmSysInfo::FrmSysInfo(FrmDatavane* main) : QDialog(nullptr), main_(main) {
  setObjectName(QStringLiteral("frmSysInfo"));
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  setWindowTitle(QStringLiteral("System Information"));
  setAccessibleName(windowTitle());
  auto* lay = new QVBoxLayout(this);
  lstInfo = new QTreeWidget(this);
  lstInfo->setObjectName(QStringLiteral("lstInfo"));
  lstInfo->setAccessibleName(QStringLiteral("System information"));
  lstInfo->setColumnCount(2);
  lstInfo->setHeaderLabels({QStringLiteral("Item"), QStringLiteral("Value")});
  lstInfo->header()->setAccessibleName(QStringLiteral("System information headings"));
  lstInfo->header()->verticalScrollBar()->setAccessibleName(QStringLiteral("Scroll the headings up and down"));
  lstInfo->header()->horizontalScrollBar()->setAccessibleName(QStringLiteral("Scroll the headings sideways"));
  lstInfo->setRootIsDecorated(false);
  lstInfo->verticalScrollBar()->setAccessibleName(QStringLiteral("Scroll the system information up and down"));
  lstInfo->horizontalScrollBar()->setAccessibleName(QStringLiteral("Scroll the system information sideways"));
  lstInfo->setSelectionMode(QAbstractItemView::ExtendedSelection);
  lay->addWidget(lstInfo);
  auto* buttons = new QHBoxLayout();
  cmdOK = new QPushButton(QStringLiteral("OK"), this);
  cmdOK->setObjectName(QStringLiteral("cmdOK"));
  cmdOK->setAccessibleName(QStringLiteral("OK"));
  cmdOK->setDefault(true);
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  lay->addLayout(buttons);
  connect(cmdOK, &QPushButton::clicked, this, &QDialog::close);
  connect(this, &QDialog::rejected, this, &QDialog::close);
  refresh();
  resize(640, 360);
}

void FrmSysInfo::setMainWindow(FrmDatavane* main) { main_ = main; }

void FrmSysInfo::refresh() {
  lstInfo->clear();
  for (const InfoLine& l : systemInformation(main_)) {
    auto* it = new QTreeWidgetItem(lstInfo, {l.item, l.value});
    it->setToolTip(1, l.value);
  }
  lstInfo->resizeColumnToContents(0);
}

FrmSysInfo* showSysInfo(FrmDatavane* main) {
  if (!instance) {
    instance = new FrmSysInfo(main);
  } else {
    instance->setMainWindow(main);
    instance->refresh();
  }
  instance->show();
  instance->raise();
  instance->activateWindow();
  return instance;
}

FrmSysInfo* sysInfoBox() { return instance; }

}  // namespace app
