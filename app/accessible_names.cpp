#include "app/accessible_names.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTimer>
#include <QScrollBar>
#include <QTabBar>
#include <QWidget>

namespace app {

namespace {

bool isControl(const QWidget* w) {
  return w->focusPolicy() != Qt::NoFocus || qobject_cast<const QAbstractButton*>(w) ||
         qobject_cast<const QLineEdit*>(w) || qobject_cast<const QComboBox*>(w) ||
         qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
         qobject_cast<const QAbstractSlider*>(w) || qobject_cast<const QTabBar*>(w) ||
         qobject_cast<const QMenu*>(w) || qobject_cast<const QMenuBar*>(w);
}

QString nameOf(QWidget* w) {
  if (!w->accessibleName().isEmpty()) return w->accessibleName();
  if (QAccessibleInterface* i = QAccessible::queryAccessibleInterface(w)) return i->text(QAccessible::Name);
  return {};
}

QString plain(QString s) {
  s.remove(QLatin1Char('&'));
  return s.trimmed();
}

// The parts of Qt's file and print dialogs by their object names.
QString knownPart(const QString& objectName) {
  static const QHash<QString, QString> names = {
      {QStringLiteral("lookInCombo"), QStringLiteral("Look in")},
      {QStringLiteral("backButton"), QStringLiteral("Back")},
      {QStringLiteral("forwardButton"), QStringLiteral("Forward")},
      {QStringLiteral("toParentButton"), QStringLiteral("Parent folder")},
      {QStringLiteral("newFolderButton"), QStringLiteral("Create new folder")},
      {QStringLiteral("listModeButton"), QStringLiteral("List view")},
      {QStringLiteral("detailModeButton"), QStringLiteral("Detail view")},
      {QStringLiteral("sidebar"), QStringLiteral("Places")},
      {QStringLiteral("listView"), QStringLiteral("Files")},
      {QStringLiteral("treeView"), QStringLiteral("Files in detail")},
      {QStringLiteral("fileNameEdit"), QStringLiteral("File name")},
      {QStringLiteral("fileTypeCombo"), QStringLiteral("Files of type")},
      {QStringLiteral("splitter"), QStringLiteral("Places and files")},
  };
  return names.value(objectName);
}

QString labelFor(QWidget* root, QWidget* w) {
  for (QLabel* l : root->findChildren<QLabel*>())
    if (l->buddy() == w && !plain(l->text()).isEmpty()) return plain(l->text());
  return {};
}

// The name of the nearest named parent.
QString parentName(QWidget* w) {
  for (QWidget* p = w->parentWidget(); p; p = p->parentWidget())
    if (!p->accessibleName().isEmpty()) return p->accessibleName();
  return {};
}

QString fallbackName(QWidget* root, QWidget* w) {
  QString n = knownPart(w->objectName());
  const QString owner = parentName(w);
  if (n.isEmpty() && qobject_cast<QHeaderView*>(w))
    n = owner.isEmpty() ? QStringLiteral("Headings") : owner + QStringLiteral(" headings");
  if (n.isEmpty())
    if (auto* b = qobject_cast<QAbstractButton*>(w)) n = plain(b->text());
  if (n.isEmpty()) n = plain(w->toolTip());
  if (n.isEmpty()) n = labelFor(root, w);
  if (n.isEmpty())
    if (auto* e = qobject_cast<QLineEdit*>(w)) n = e->placeholderText();
  if (n.isEmpty())
    if (auto* s = qobject_cast<QScrollBar*>(w))
      n = (owner.isEmpty() ? QString() : owner + QStringLiteral(", ")) +
          (s->orientation() == Qt::Vertical ? QStringLiteral("scroll up and down") : QStringLiteral("scroll sideways"));
  if (n.isEmpty() && w->isWindow()) n = plain(w->windowTitle());
  if (n.isEmpty()) n = owner;  // its place in the window
  return n.isEmpty() ? QStringLiteral("Control") : n;
}

}  // namespace

namespace {

void nameNow(QWidget* root) {
  QList<QWidget*> all = root->findChildren<QWidget*>();
  all.prepend(root);
  for (QWidget* w : all) {
    if (!isControl(w) && w != root) continue;
    if (nameOf(w).isEmpty()) w->setAccessibleName(fallbackName(root, w));
  }
}

}  // namespace

void nameUnnamedControls(QWidget* root) {
  if (!root) return;
  nameNow(root);
  // Some dialogs build parts of themselves only when shown.
  QPointer<QWidget> later(root);
  QTimer::singleShot(0, root, [later] {
    if (later) nameNow(later);
  });
}

}  // namespace app
