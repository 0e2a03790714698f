// frmDatavane: the buttons of the record and filter pages. The moves and the
// filter go through views::Navigation; this file builds the buttons, places
// them and hands the filter panel's inputs over.
#include <QComboBox>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include "app/datavane.h"
#include "app/grid/grid.h"
#include "catalogue/recordset.h"

namespace app {

namespace {
struct ButtonSpec {
  int page;  // 2 record page, 3 filter page
  Twips at;
  const char* tip;
  QStyle::StandardPixmap icon;
};
const ButtonSpec kRecordButtons[6] = {
    {2, {2160, 0, 300, 255}, "First Record", QStyle::SP_MediaSkipBackward},
    {2, {2640, 0, 300, 255}, "Previous Record", QStyle::SP_MediaSeekBackward},
    {2, {3120, 0, 300, 255}, "Next Record", QStyle::SP_MediaSeekForward},
    {2, {3600, 0, 300, 255}, "Last Record", QStyle::SP_MediaSkipForward},
    {3, {3240, 0, 375, 255}, "Clear Filter", QStyle::SP_DialogResetButton},
    {3, {2760, 0, 375, 255}, "Apply Filter & Order By", QStyle::SP_DialogApplyButton},
};
}  // namespace

void FrmDatavane::buildRecordButtons() {
  for (int i = 0; i < 6; ++i) {
    const ButtonSpec& b = kRecordButtons[i];
    auto* btn = new QToolButton(pic1[b.page]);
    btn->setObjectName(QStringLiteral("cmdRecord_%1").arg(i));
    btn->setIcon(style()->standardIcon(b.icon));
    btn->setToolTip(QString::fromLatin1(b.tip));
    btn->setAccessibleName(QString::fromLatin1(b.tip));
    btn->setAutoRaise(false);
    connect(btn, &QToolButton::clicked, this, [this, i] { cmdRecord_Click(i); });
    cmdRecord[i] = btn;
  }
  txtValueToSearch = new QLineEdit(QStringLiteral("Value To Search"), pic1[2]);
  txtValueToSearch->setObjectName(QStringLiteral("txtValueToSearch"));
  txtValueToSearch->setAccessibleName(QStringLiteral("Applied statement"));
  txtValueToSearch->setReadOnly(true);
  txtValueToSearch->setEnabled(false);
  txtValueToSearch->hide();
  buildEditButtons();
}

void FrmDatavane::placeRecordButtons() {
  for (int i = 0; i < 6; ++i) {
    place(cmdRecord[i], kRecordButtons[i].at);
    // At least the icon's size, so the picture is never cut.
    cmdRecord[i]->resize(std::max(cmdRecord[i]->width(), 22), std::max(cmdRecord[i]->height(), 20));
    cmdRecord[i]->raise();
  }
  place(txtValueToSearch, {5880, 0, 5175, 285});
  txtValueToSearch->raise();
  placeEditButtons();
}

void FrmDatavane::cmdRecord_Click(int index) {
  if (index >= 0 && index <= 3) {
    navigation_.move(index);
    return;
  }
  if (index == 4) {
    subFillData();
    return;
  }
  if (index != 5) return;
  dao::Recordset* rs = dta1.recordset();
  QString sort[3];
  panels_.sortFields(sort);
  const QString applied =
      navigation_.applyFilter(currentObjectName(), panels_.conditions(rs ? rs->fieldCount() : 0), sort);
  gridView_->fitColumns();
  if (applied.isEmpty()) return;
  txtValueToSearch->setText(applied);
  txtValueToSearch->show();
}

void FrmDatavane::grdData_HeadingClick(int column) {
  QString field;
  bool descending = false;
  if (!gridView_->headingSort(column, &field, &descending)) return;
  const QString applied = navigation_.sortBy(currentObjectName(), field, descending);
  if (applied.isEmpty()) return;
  txtValueToSearch->setText(applied);
  txtValueToSearch->show();
}

}  // namespace app
