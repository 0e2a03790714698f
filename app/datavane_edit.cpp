// frmDatavane: the four editing buttons of the record page (Add New, Save
// New, Update Changes, Delete Record), built and placed here; what they do
// and their browse and add states are views::RecordEditing's.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "app/datavane.h"
#include "app/grid/grid.h"

namespace app {

namespace {
QPushButton* editButton(QWidget* parent, const char* name, const char* tip, QStyle::StandardPixmap icon) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setIcon(parent->style()->standardIcon(icon));
  b->setToolTip(QString::fromLatin1(tip));
  b->setAccessibleName(QString::fromLatin1(tip));
  b->setFlat(false);
  return b;
}
}  // namespace

void FrmDatavane::buildEditButtons() {
  QWidget* page = pic1[2];
  cmdAddNew = editButton(page, "cmdAddNew", "Add New Record", QStyle::SP_FileIcon);
  cmdSaveNew = editButton(page, "cmdSaveNew", "Save New", QStyle::SP_DialogSaveButton);
  cmdUpdate = editButton(page, "cmdUpdate", "Update Changes", QStyle::SP_DialogApplyButton);
  cmdDelete = editButton(page, "cmdDelete", "Delete Record", QStyle::SP_TrashIcon);
  cmdSaveNew->hide();
  connect(cmdAddNew, &QPushButton::clicked, this, &FrmDatavane::cmdAddNew_Click);
  connect(cmdSaveNew, &QPushButton::clicked, this, &FrmDatavane::cmdSaveNew_Click);
  connect(cmdUpdate, &QPushButton::clicked, this, &FrmDatavane::cmdUpdate_Click);
  connect(cmdDelete, &QPushButton::clicked, this, &FrmDatavane::cmdDelete_Click);
}

void FrmDatavane::placeEditButtons() {
  const int lefts[4] = {4200, 4200, 4560, 4920};
  QPushButton* buttons[4] = {cmdAddNew, cmdSaveNew, cmdUpdate, cmdDelete};
  for (int i = 0; i < 4; ++i) {
    place(buttons[i], {lefts[i], 0, 255, 255});
    buttons[i]->resize(std::max(buttons[i]->width(), 22), std::max(buttons[i]->height(), 20));
    buttons[i]->raise();
  }
}

bool FrmDatavane::addState() const { return editing_ && editing_->addState(); }

void FrmDatavane::cmdAddNew_Click() { editing_->addNew(); }
void FrmDatavane::cmdSaveNew_Click() { editing_->saveNew(); }
void FrmDatavane::cmdUpdate_Click() { editing_->update(); }
void FrmDatavane::cmdDelete_Click() { editing_->remove(); }

}  // namespace app
